#include "api/render_pipeline.h"

#include <cstring>

#include "api/privacy_masks.h"
#include "jpeg/frame_decode.h"

namespace vv {

bool DecodeFrame(ViewerRecord* viewer, const RenderRequest& request) {
  // A viewer that is not open has no decoder: no picture, never a crash.
  if (viewer->decoder == nullptr) return false;
  FrameBuffers frame;
  frame.frameWidth = viewer->frameWidth;
  frame.frameHeight = viewer->frameHeight;
  frame.frameHeader = reinterpret_cast<FrameHeader*>(viewer->frameHeader);
  frame.frameBits = viewer->frameBits;
  frame.rowScratch = viewer->rowScratch;
  frame.frameSize = viewer->frameSize;
  bool sizeChanged = false;
  const bool decoded =
      DecodeViewerFrame(viewer->decoder, request.data, request.size, &frame, &sizeChanged);
  viewer->frameWidth = frame.frameWidth;
  viewer->frameHeight = frame.frameHeight;
  viewer->frameHeader = reinterpret_cast<BITMAPINFOHEADER*>(frame.frameHeader);
  viewer->frameBits = frame.frameBits;
  viewer->rowScratch = frame.rowScratch;
  viewer->frameSize = frame.frameSize;
  if (sizeChanged) {
    // A crop chosen for the old size never applies to the new one.
    viewer->sourceX = viewer->sourceY = viewer->sourceWidth = viewer->sourceHeight = 0;
  }
  if (!decoded) return false;
  // Masks go into the still top-down picture, so their coordinates count
  // from the top and every later use (drawing, loans, snapshots) has them.
  if (request.masks != nullptr) PaintMasks(viewer, request.masks, request.maskSize);
  if (request.flip) FlipFrameRows(&frame);
  return true;
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
