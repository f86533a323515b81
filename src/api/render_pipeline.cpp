#include "api/render_pipeline.h"

#include <cstring>

namespace vv {

bool DecodeFrame(ViewerRecord* viewer, const RenderRequest& request) {
  // A viewer that is not open has no decoder: no picture, never a crash.
  if (viewer->decoder == nullptr) return false;
  // The decoder's stages are not in place yet: every sample reports no picture.
  return false;
}

int32_t RenderCore(ViewerRecord* viewer, const RenderRequest& request,
                   uint32_t* outWidth, uint32_t* outHeight, RenderLoan* loan, bool* lent) {
  if (viewer == nullptr) return 0;
  AcquireViewerLock(viewer);
  if (DecodeFrame(viewer, request)) {
    viewer->sampleTag = request.tag;
    viewer->hasPicture = 1;
    std::memcpy(&viewer->drawInfo.bmiHeader, viewer->frameHeader, sizeof(BITMAPINFOHEADER));
    if (viewer->window != nullptr) {
      PresentFrame(viewer, &viewer->drawInfo, viewer->frameBits, viewer->frameSize,
                   viewer->frameWidth, viewer->frameHeight);
    }
    if (loan != nullptr) {
      loan->header = viewer->frameHeader;
      loan->pixels = viewer->frameBits;
      loan->byteCount = viewer->frameSize;
    }
    if (lent != nullptr) *lent = true;
  } else {
    viewer->hasPicture = 0;
  }
  if (outWidth != nullptr) *outWidth = viewer->frameWidth;
  if (outHeight != nullptr) *outHeight = viewer->frameHeight;
  return ReleaseViewerLock(viewer);
}

}  // namespace vv
