// Renderer record lifetime and the frame entry. The Direct3D device and the
// views arrive with the Direct3D presenter; until then set-up fails, which
// leaves an attached renderer inert (frames are neither drawn nor repainted).
#include "render/dewarp_renderer.h"

#include <cstdlib>

#include "api/viewer_record.h"

namespace vv {

void ReleaseAll(DewarpRenderer* renderer) {
  if (renderer == nullptr) return;
  renderer->presented = 0;
}

void FreeDewarpRenderer(DewarpRenderer* renderer) { std::free(renderer); }

void RendererFrameEntry(ViewerRecord* viewer, DewarpRenderer* renderer, const uint8_t* bits,
                        uint32_t byteSize, uint32_t width, uint32_t height) {
  if (renderer->state == 0) {
    renderer->imageWidth = width;
    renderer->imageHeight = height;
    renderer->imageFormat = 21;  // D3DFMT_A8R8G8B8
    renderer->state = -1;        // no device yet: set-up fails
    if (viewer->initialPositionPending) viewer->initialPositionPending = 0;
  }
}

int32_t Repaint(DewarpRenderer* renderer) { return renderer->presented ? 0 : -1; }

int32_t ReadBack(DewarpRenderer* renderer, BITMAPINFOHEADER* header, uint8_t** bits,
                 uint32_t* byteCount) {
  return -1;  // nothing presented
}

}  // namespace vv
