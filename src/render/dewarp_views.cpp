// The device side of the dewarp views: shader creation and constant uploads.
// The position model itself is portable (dewarp_position.cpp).
#include <d3dx9shader.h>

#include <cstdlib>

#include "render/dewarp_position.h"
#include "render/dewarp_renderer.h"
#include "render/direct3d_library.h"

namespace vv {

HRESULT LoadShader(DewarpView* view, IDirect3DDevice9* device, float viewAspect) {
  view->viewAspect = viewAspect;
  view->device = device;
  const Direct3DLibrary* d3d = LoadDirect3DLibrary();
  if (view->shaderCode == nullptr || d3d == nullptr || device == nullptr) return E_FAIL;
  const DWORD* code = static_cast<const DWORD*>(view->shaderCode);
  if (FAILED(d3d->getShaderConstantTable(code, &view->constantTable))) return E_FAIL;
  if (FAILED(device->CreatePixelShader(code, &view->pixelShader))) return E_FAIL;
  const float size[2] = {view->imageWidth, view->imageHeight};
  const float centre[2] = {view->imageWidth / 2.0f, view->imageHeight / 2.0f};
  ID3DXConstantTable* table = view->constantTable;
  table->SetValue(device, "size", size, sizeof(size));
  table->SetValue(device, "imageCenter", centre, sizeof(centre));
  if (FAILED(table->SetValue(device, "LensProfile", view->lensProfile,
                             sizeof(view->lensProfile)))) {
    return E_FAIL;
  }
  UploadConstants(view);
  return S_OK;
}

void UploadConstants(DewarpView* view) {
  if (view->device == nullptr || view->constantTable == nullptr) return;
  const ViewConstants k = ComputeConstants(*view);
  // The panorama shaders lack the last three constants; those uploads then
  // fail harmlessly, so no result is examined.
  ID3DXConstantTable* table = view->constantTable;
  table->SetValue(view->device, "LensProfile", k.lensProfile, sizeof(k.lensProfile));
  table->SetValue(view->device, "lambdaOffset", &k.lambdaOffset, sizeof(k.lambdaOffset));
  table->SetValue(view->device, "rotateData", k.rotateData, sizeof(k.rotateData));
  table->SetValue(view->device, "tangentOfFieldOfView", &k.tangentOfFieldOfView,
                  sizeof(k.tangentOfFieldOfView));
}

void DestroyView(DewarpView* view) {
  if (view == nullptr) return;
  if (view->pixelShader != nullptr) view->pixelShader->Release();
  if (view->constantTable != nullptr) view->constantTable->Release();
  std::free(view);
}

}  // namespace vv
