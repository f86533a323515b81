// The Direct3D 9 presenter's objects: creating them all on the first frame
// and releasing them in reverse order.
#include <cstring>

#include "render/dewarp_geometry.h"
#include "render/dewarp_renderer.h"
#include "render/direct3d_library.h"

namespace vv {
namespace {

constexpr UINT kSdkVersion = 32;
constexpr DWORD kQuadFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x142
constexpr UINT kQuadBytes = kQuadVertexCount * sizeof(QuadVertex);     // 480
constexpr D3DCOLOR kOpaqueBlack = 0xFF000000;

template <typename Interface>
void ReleaseAndClear(Interface** object) {
  if (*object != nullptr) {
    (*object)->Release();
    *object = nullptr;
  }
}

D3DPRESENT_PARAMETERS PresentationParameters(const DewarpRenderer& r, const OutputGeometry& g) {
  D3DPRESENT_PARAMETERS p;
  std::memset(&p, 0, sizeof(p));
  p.BackBufferWidth = static_cast<UINT>(g.backBufferWidth);
  p.BackBufferHeight = static_cast<UINT>(g.backBufferHeight);
  p.BackBufferFormat = r.displayMode.Format;
  p.BackBufferCount = 1;
  p.MultiSampleType = D3DMULTISAMPLE_NONE;
  // Copy keeps the presented picture in the back buffer for repaints and
  // snapshot read-backs.
  p.SwapEffect = D3DSWAPEFFECT_COPY;
  p.hDeviceWindow = r.presentWindow;
  p.Windowed = TRUE;
  p.EnableAutoDepthStencil = FALSE;
  p.Flags = D3DPRESENTFLAG_VIDEO;
  p.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
  return p;
}

HRESULT CreateFrameObjects(DewarpRenderer* r, const Direct3DLibrary& d3d) {
  IDirect3DDevice9* device = r->device;
  const UINT w = r->imageWidth;
  const UINT h = r->imageHeight;
  if (FAILED(device->CreateTexture(w, h, 1, D3DUSAGE_RENDERTARGET, r->displayMode.Format,
                                   D3DPOOL_DEFAULT, &r->frameTexture, nullptr)) ||
      FAILED(r->frameTexture->GetSurfaceLevel(0, &r->frameSurface))) {
    return E_FAIL;
  }
  if (FAILED(device->CreateVertexBuffer(kQuadBytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                        kQuadFvf, D3DPOOL_DEFAULT, &r->quadVertices, nullptr))) {
    return E_FAIL;
  }
  void* vertices = nullptr;
  if (FAILED(r->quadVertices->Lock(0, 0, &vertices, D3DLOCK_DISCARD))) return E_FAIL;
  WriteQuadVertices(static_cast<float>(w), static_cast<float>(h),
                    static_cast<QuadVertex*>(vertices));
  r->quadVertices->Unlock();

  // Image pixels to the whole back buffer, whatever its size: (0, 0) top
  // left, (W, H) bottom right.
  D3DMATRIX projection;
  d3d.orthoOffCenterLH(&projection, 0.0f, static_cast<float>(w), static_cast<float>(h), 0.0f,
                       0.0f, 1.0f);
  D3DMATRIX identity;
  std::memset(&identity, 0, sizeof(identity));
  for (int i = 0; i < 4; ++i) identity.m[i][i] = 1.0f;
  device->SetTransform(D3DTS_PROJECTION, &projection);
  device->SetTransform(D3DTS_WORLD, &identity);
  device->SetTransform(D3DTS_VIEW, &identity);

  const D3DFORMAT uploadFormat = static_cast<D3DFORMAT>(r->imageFormat);
  if (FAILED(r->direct3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                            r->displayMode.Format, 0, D3DRTYPE_SURFACE,
                                            uploadFormat)) ||
      FAILED(r->direct3d->CheckDeviceFormatConversion(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                      uploadFormat, r->displayMode.Format))) {
    return E_FAIL;
  }
  if (FAILED(device->CreateOffscreenPlainSurface(w, h, uploadFormat, D3DPOOL_DEFAULT,
                                                 &r->uploadSurface, nullptr))) {
    return E_FAIL;
  }
  device->ColorFill(r->uploadSurface, nullptr, kOpaqueBlack);
  return S_OK;
}

HRESULT LoadCompositionShaders(DewarpRenderer* r) {
  const float viewAspect = static_cast<float>(r->outputWidth) / static_cast<float>(r->outputHeight);
  DewarpView* views[4] = {};
  int count = 0;
  switch (r->composition) {
    case 1:
      views[count++] = r->singleView;
      break;
    case 2:
      views[count++] = r->activePanorama;
      break;
    case 4:
      for (DewarpView* view : r->quadViews) views[count++] = view;
      break;
    default:
      return E_FAIL;
  }
  for (int i = 0; i < count; ++i) {
    if (views[i] != nullptr && FAILED(LoadShader(views[i], r->device, viewAspect))) return E_FAIL;
  }
  return S_OK;
}

}  // namespace

HRESULT StartDevice(DewarpRenderer* r) {
  const Direct3DLibrary* d3d = LoadDirect3DLibrary();
  if (d3d == nullptr) return E_FAIL;
  r->direct3d = d3d->create(kSdkVersion);
  if (r->direct3d == nullptr) return E_FAIL;
  if (FAILED(r->direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &r->displayMode))) {
    return E_FAIL;
  }
  D3DCAPS9 caps;
  if (FAILED(r->direct3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps))) return E_FAIL;
  const DWORD behaviour = D3DCREATE_MULTITHREADED | (caps.VertexProcessingCaps != 0
                                                         ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                         : D3DCREATE_SOFTWARE_VERTEXPROCESSING);

  const OutputGeometry g = ComputeOutputGeometry(r->composition, r->effect, r->aspectMode,
                                                 r->outputWidth, r->imageWidth, r->imageHeight);
  r->outputWidth = g.backBufferWidth;
  r->outputHeight = g.outputHeight;
  r->outputTop = g.outputTop;

  D3DPRESENT_PARAMETERS parameters = PresentationParameters(*r, g);
  if (FAILED(r->direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, r->presentWindow,
                                       behaviour, &parameters, &r->device))) {
    return E_FAIL;
  }
  r->device->SetRenderState(D3DRS_LIGHTING, FALSE);
  r->device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
  r->device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_ANISOTROPIC);

  if (FAILED(CreateFrameObjects(r, *d3d))) return E_FAIL;
  return LoadCompositionShaders(r);
}

void ReleaseAll(DewarpRenderer* r) {
  if (r == nullptr) return;
  DewarpView** owned[] = {&r->singleView,   &r->wallPanorama, &r->ceilingPanorama,
                          &r->floorPanorama, &r->quadViews[0], &r->quadViews[1],
                          &r->quadViews[2], &r->quadViews[3]};
  for (DewarpView** view : owned) {
    DestroyView(*view);
    *view = nullptr;
  }
  r->activePanorama = nullptr;
  ReleaseAndClear(&r->uploadSurface);
  ReleaseAndClear(&r->quadVertices);
  ReleaseAndClear(&r->frameSurface);
  ReleaseAndClear(&r->frameTexture);
  ReleaseAndClear(&r->device);
  ReleaseAndClear(&r->direct3d);
  r->presented = 0;  // nothing left to present or read back
}

}  // namespace vv
