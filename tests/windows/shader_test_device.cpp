#include "shader_test_device.h"

#include "viewer_dll.h"

namespace {

ShaderTestDevice CreateShaderTestDevice() {
  ShaderTestDevice result;
  HMODULE d3d9 = LoadLibraryW(L"d3d9.dll");
  HMODULE d3dx = LoadLibraryW(L"d3dx9_39.dll");
  if (d3d9 == nullptr || d3dx == nullptr) return result;
  auto create = reinterpret_cast<IDirect3D9*(WINAPI*)(UINT)>(
      reinterpret_cast<void*>(GetProcAddress(d3d9, "Direct3DCreate9")));
  result.getConstantTable = reinterpret_cast<decltype(result.getConstantTable)>(
      reinterpret_cast<void*>(GetProcAddress(d3dx, "D3DXGetShaderConstantTable")));
  if (create == nullptr) return result;
  IDirect3D9* direct3d = create(D3D_SDK_VERSION);
  if (direct3d == nullptr) return result;
  // Lives as long as the device: to the end of the program.
  static TestWindow window(64, 64, L"shader tests");
  D3DPRESENT_PARAMETERS parameters{};
  parameters.Windowed = TRUE;
  parameters.SwapEffect = D3DSWAPEFFECT_COPY;
  parameters.BackBufferFormat = D3DFMT_UNKNOWN;
  parameters.hDeviceWindow = window.handle();
  if (FAILED(direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window.handle(),
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED,
                                    &parameters, &result.device))) {
    result.device = nullptr;
  }
  return result;
}

}  // namespace

const ShaderTestDevice& ShaderDevice() {
  static const ShaderTestDevice device = CreateShaderTestDevice();
  return device;
}

const DWORD* ShaderResource(int id, DWORD* bytes) {
  *bytes = 0;
  HRSRC found = FindResourceW(Dll().module, MAKEINTRESOURCEW(id), L"SHADERS");
  if (found == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(Dll().module, found);
  const void* code = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (code == nullptr) return nullptr;
  *bytes = SizeofResource(Dll().module, found);
  return *bytes != 0 ? static_cast<const DWORD*>(code) : nullptr;
}
