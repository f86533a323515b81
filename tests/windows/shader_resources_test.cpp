// The four dewarp shaders as the renderer finds them: resources of type
// "SHADERS" in the real DLL, constant tables that D3DX reads by name with the
// documented registers and types, and code that a real device accepts.
#include <gtest/gtest.h>

#include <vector>

#include "shader_test_device.h"

namespace {

struct ConstantSpec {
  const char* name;
  D3DXREGISTER_SET set;
  UINT index;
  D3DXPARAMETER_CLASS typeClass;
  D3DXPARAMETER_TYPE type;
  UINT columns;
};

struct ShaderSpec {
  int id;
  std::vector<ConstantSpec> constants;
};

const ConstantSpec kInput{"input", D3DXRS_SAMPLER, 0, D3DXPC_OBJECT, D3DXPT_SAMPLER2D, 1};

const ShaderSpec kPanorama(int id) {
  return {id,
          {{"size", D3DXRS_FLOAT4, 0, D3DXPC_VECTOR, D3DXPT_FLOAT, 2},
           {"imageCenter", D3DXRS_FLOAT4, 1, D3DXPC_VECTOR, D3DXPT_FLOAT, 2},
           {"LensProfile", D3DXRS_FLOAT4, 2, D3DXPC_VECTOR, D3DXPT_FLOAT, 3},
           kInput}};
}

const std::vector<ShaderSpec>& Shaders() {
  static const std::vector<ShaderSpec> shaders = {
      {101,
       {{"size", D3DXRS_FLOAT4, 0, D3DXPC_VECTOR, D3DXPT_FLOAT, 2},
        {"tangentOfFieldOfView", D3DXRS_FLOAT4, 1, D3DXPC_SCALAR, D3DXPT_FLOAT, 1},
        {"lambdaOffset", D3DXRS_FLOAT4, 2, D3DXPC_SCALAR, D3DXPT_FLOAT, 1},
        {"imageCenter", D3DXRS_FLOAT4, 3, D3DXPC_VECTOR, D3DXPT_FLOAT, 2},
        {"rotateData", D3DXRS_FLOAT4, 4, D3DXPC_VECTOR, D3DXPT_FLOAT, 3},
        {"LensProfile", D3DXRS_FLOAT4, 5, D3DXPC_VECTOR, D3DXPT_FLOAT, 3},
        kInput}},
      kPanorama(102), kPanorama(103), kPanorama(104)};
  return shaders;
}

TEST(ShaderResources, PresentWithConstantTablesAndAcceptedByTheDevice) {
  const ShaderTestDevice& d3d = ShaderDevice();
  ASSERT_NE(d3d.getConstantTable, nullptr) << "d3dx9_39.dll";
  ASSERT_NE(d3d.device, nullptr) << "no Direct3D 9 device";
  for (const ShaderSpec& shader : Shaders()) {
    SCOPED_TRACE(shader.id);
    DWORD bytes = 0;
    const DWORD* code = ShaderResource(shader.id, &bytes);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(bytes % 4, 0u);
    EXPECT_EQ(code[0], 0xFFFF0201u);
    EXPECT_EQ(code[bytes / 4 - 1], 0x0000FFFFu);

    ID3DXConstantTable* table = nullptr;
    ASSERT_EQ(d3d.getConstantTable(code, &table), S_OK);
    D3DXCONSTANTTABLE_DESC tableDesc{};
    ASSERT_EQ(table->GetDesc(&tableDesc), S_OK);
    EXPECT_EQ(tableDesc.Constants, shader.constants.size());
    EXPECT_EQ(tableDesc.Version, 0xFFFF0201u);
    for (const ConstantSpec& expected : shader.constants) {
      SCOPED_TRACE(expected.name);
      D3DXHANDLE handle = table->GetConstantByName(nullptr, expected.name);
      ASSERT_NE(handle, nullptr);
      D3DXCONSTANT_DESC desc{};
      UINT count = 1;
      ASSERT_EQ(table->GetConstantDesc(handle, &desc, &count), S_OK);
      EXPECT_EQ(desc.RegisterSet, expected.set);
      EXPECT_EQ(desc.RegisterIndex, expected.index);
      EXPECT_EQ(desc.RegisterCount, 1u);
      EXPECT_EQ(desc.Class, expected.typeClass);
      EXPECT_EQ(desc.Type, expected.type);
      EXPECT_EQ(desc.Columns, expected.columns);
      if (expected.set == D3DXRS_FLOAT4) {
        const float value[4] = {1, 2, 3, 4};
        EXPECT_EQ(table->SetValue(d3d.device, expected.name, value, 4 * expected.columns), S_OK);
        float read[4] = {};
        ASSERT_EQ(d3d.device->GetPixelShaderConstantF(expected.index, read, 1), S_OK);
        for (UINT i = 0; i < expected.columns; ++i) EXPECT_EQ(read[i], value[i]);
      }
    }
    EXPECT_EQ(table->GetConstantByName(nullptr, "absent"), nullptr);
    table->Release();

    IDirect3DPixelShader9* pixelShader = nullptr;
    EXPECT_EQ(d3d.device->CreatePixelShader(code, &pixelShader), S_OK);
    if (pixelShader != nullptr) pixelShader->Release();
  }
}

TEST(ShaderResources, OtherIdsAbsent) {
  for (int id : {100, 105}) {
    DWORD bytes = 0;
    EXPECT_EQ(ShaderResource(id, &bytes), nullptr) << id;
  }
}

}  // namespace
