// The Direct3D 9 presenter's per-frame work: upload, draw through the views,
// present the band; and the repaint and snapshot read-back that reuse the
// back buffer kept by the copy swap effect.
#include <cstdlib>
#include <cstring>

#include "render/dewarp_renderer.h"

namespace vv {
namespace {

constexpr DWORD kQuadFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
constexpr UINT kQuadStride = 24;
constexpr D3DCOLOR kOpaqueBlack = 0xFF000000;

// The presented part of the back buffer: a band when an aspect mode is set,
// else everything (null).
const RECT* PresentedBand(const DewarpRenderer& r, RECT* band) {
  if (r.aspectMode == 0) return nullptr;
  band->left = 0;
  band->top = r.outputTop;
  band->right = r.outputWidth;
  band->bottom = r.outputTop + r.outputHeight;
  return band;
}

HRESULT PresentBand(DewarpRenderer* r) {
  RECT band;
  return r->device->Present(PresentedBand(*r, &band), nullptr, nullptr, nullptr);
}

// Bottom-up frame rows into the top-down surface. The row length comes from
// the byte count, so a frame of another size than the surface is garbled but
// never overruns either buffer.
void CopyRowsFlipped(DewarpRenderer* r, const uint8_t* bits, uint32_t byteSize) {
  D3DLOCKED_RECT locked;
  if (FAILED(r->uploadSurface->LockRect(&locked, nullptr, 0))) return;
  const uint32_t rows = r->imageHeight;
  const uint32_t rowBytes = byteSize / rows;
  const uint32_t pitch = static_cast<uint32_t>(locked.Pitch);
  const uint32_t n = rowBytes < pitch ? rowBytes : pitch;
  uint8_t* out = static_cast<uint8_t*>(locked.pBits);
  for (uint32_t i = 0; i < rows; ++i) {
    std::memcpy(out + size_t{i} * pitch, bits + size_t{rows - 1 - i} * rowBytes, n);
  }
  r->uploadSurface->UnlockRect();
}

// The uploaded frame into the render-target texture (format conversion on
// the device), then the views.
HRESULT DrawUploadedFrame(DewarpRenderer* r) {
  r->device->ColorFill(r->frameSurface, nullptr, kOpaqueBlack);
  const HRESULT hr =
      r->device->StretchRect(r->uploadSurface, nullptr, r->frameSurface, nullptr, D3DTEXF_LINEAR);
  if (FAILED(hr)) return hr;
  return DrawViews(r);
}

HRESULT DrawView(DewarpRenderer* r, DewarpView* view, UINT startVertex) {
  if (view != nullptr) UploadConstants(view);
  HRESULT hr = r->device->SetPixelShader(view != nullptr ? view->pixelShader : nullptr);
  if (SUCCEEDED(hr)) hr = r->device->DrawPrimitive(D3DPT_TRIANGLEFAN, startVertex, 2);
  return hr;
}

// Whether the read-back can copy what its header will describe. A single
// view's band taller than its back buffer (a wide frame with an aspect mode)
// reaches below the surface: Present is given it unchanged and the platform
// clips it, but its read-back is refused, since the platform's lock does not
// always refuse it and the copy would overrun. So is a back buffer that is
// not outputWidth wide (requested width 0: the device took the window's).
bool Readable(const DewarpRenderer& r, const RECT* band, const D3DSURFACE_DESC& desc) {
  if (LONG(desc.Width) != r.outputWidth) return false;
  return band == nullptr || (band->top >= 0 && band->bottom > band->top &&
                             band->bottom <= LONG(desc.Height) && band->right <= LONG(desc.Width));
}

}  // namespace

HRESULT RenderFrame(DewarpRenderer* r, const uint8_t* bits, uint32_t byteSize) {
  if (r->state < 1 || r->imageHeight == 0) return S_OK;
  if (FAILED(r->device->TestCooperativeLevel())) return S_OK;  // lost: frame dropped
  CopyRowsFlipped(r, bits, byteSize);
  if (FAILED(DrawUploadedFrame(r))) return S_OK;
  if (r->presentWindow == nullptr) return S_OK;
  PresentBand(r);
  r->presented = 1;
  return S_OK;
}

HRESULT DrawViews(DewarpRenderer* r) {
  IDirect3DDevice9* device = r->device;
  device->Clear(0, nullptr, D3DCLEAR_TARGET, kOpaqueBlack, 1.0f, 0);
  device->BeginScene();
  HRESULT hr = device->SetFVF(kQuadFvf);
  if (SUCCEEDED(hr)) hr = device->SetStreamSource(0, r->quadVertices, 0, kQuadStride);
  if (SUCCEEDED(hr)) hr = device->SetTexture(0, r->frameTexture);
  // The outcome is that of the last device call made (a failed stream set-up
  // is reported only when nothing is drawn after it), else EndScene's.
  HRESULT last = hr;
  switch (r->composition) {
    case 1:
    case 2:
      last = DrawView(r, r->composition == 1 ? r->singleView : r->activePanorama, 0);
      break;
    case 4:
      last = S_OK;
      for (UINT k = 0; k < 4 && SUCCEEDED(last); ++k) {
        last = DrawView(r, r->quadViews[k], 4 + 4 * k);
      }
      break;
    default:
      break;
  }
  const HRESULT endResult = device->EndScene();
  return FAILED(last) ? last : endResult;
}

void Redraw(DewarpRenderer* r) {
  if (r->presented == 0) return;
  if (FAILED(DrawUploadedFrame(r))) return;
  if (r->presentWindow != nullptr) PresentBand(r);
}

int32_t Repaint(DewarpRenderer* r) {
  if (r->presented == 0) return -1;
  return SUCCEEDED(PresentBand(r)) ? 0 : -1;
}

HRESULT ReadBack(DewarpRenderer* r, BITMAPINFOHEADER* header, uint8_t** bits,
                 uint32_t* byteSize) {
  if (r->presented == 0) return E_FAIL;
  IDirect3DSurface9* backBuffer = nullptr;
  IDirect3DSurface9* copy = nullptr;
  HRESULT result = E_FAIL;
  D3DSURFACE_DESC desc;
  D3DLOCKED_RECT locked;
  RECT band;
  const RECT* lockRect = r->aspectMode > 0 ? PresentedBand(*r, &band) : nullptr;
  if (SUCCEEDED(r->device->GetRenderTarget(0, &backBuffer)) &&
      SUCCEEDED(backBuffer->GetDesc(&desc)) && Readable(*r, lockRect, desc) &&
      SUCCEEDED(r->device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                       D3DPOOL_SYSTEMMEM, &copy, nullptr)) &&
      SUCCEEDED(r->device->GetRenderTargetData(backBuffer, copy)) &&
      SUCCEEDED(copy->LockRect(&locked, lockRect,
                               D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK | D3DLOCK_NO_DIRTY_UPDATE))) {
    // Rows go out tightly packed, 4 bytes a pixel, as the header says: a
    // driver pitch wider than the row is dropped from each row. Back-buffer
    // formats of other than 32 bits a pixel are refused rather than
    // mislabelled (every format this presenter meets is X8R8G8B8).
    const bool fourBytes = desc.Format == D3DFMT_X8R8G8B8 || desc.Format == D3DFMT_A8R8G8B8;
    const uint32_t rows = lockRect != nullptr ? uint32_t(band.bottom - band.top) : desc.Height;
    const uint32_t rowBytes = desc.Width * 4;
    const uint32_t pitch = static_cast<uint32_t>(locked.Pitch);
    uint8_t* out = fourBytes && pitch >= rowBytes
                       ? static_cast<uint8_t*>(std::malloc(size_t{rows} * rowBytes))
                       : nullptr;
    if (out != nullptr) {
      const uint8_t* in = static_cast<const uint8_t*>(locked.pBits);
      for (uint32_t y = 0; y < rows; ++y) {
        std::memcpy(out + size_t{y} * rowBytes, in + size_t{y} * pitch, rowBytes);
      }
      std::memset(header, 0, sizeof(*header));
      header->biSize = sizeof(BITMAPINFOHEADER);
      header->biWidth = r->outputWidth;
      header->biHeight = -r->outputHeight;  // top-down
      header->biPlanes = 1;
      header->biBitCount = 32;
      *bits = out;
      *byteSize = rows * rowBytes;
      result = S_OK;
    }
    copy->UnlockRect();
  }
  if (copy != nullptr) copy->Release();
  if (backBuffer != nullptr) backBuffer->Release();
  return result;
}

}  // namespace vv
