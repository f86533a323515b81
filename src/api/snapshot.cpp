// ViewerLockSnapshot and ViewerUnlockSnapshot: lending the current picture
// with the viewer lock held until it is returned.
#include <cstdlib>

#include "api/viewer_record.h"
#include "render/dewarp_renderer.h"
#include "videoviewer.h"

extern "C" {

void ViewerLockSnapshot(ViewerRecord* viewer, BITMAPINFOHEADER** outHeader,
                        uint8_t** outPixels, uint32_t* outByteCount, uint64_t* outTag) {
  if (viewer == nullptr) return;
  vv::AcquireViewerLock(viewer);
  if (viewer->hasPicture == 0) {
    vv::ReleaseViewerLock(viewer);
    return;
  }
  BITMAPINFOHEADER* header;
  uint8_t* pixels;
  uint32_t byteCount;
  if (viewer->dewarpRenderer == nullptr) {
    header = viewer->frameHeader;
    pixels = viewer->frameBits;
    byteCount = viewer->frameSize;
  } else {
    if (vv::ReadBack(viewer->dewarpRenderer, &viewer->snapshotHeader, &viewer->snapshotBits,
                     &viewer->snapshotSize) < 0) {
      vv::ReleaseViewerLock(viewer);
      return;
    }
    header = &viewer->snapshotHeader;
    pixels = viewer->snapshotBits;
    byteCount = viewer->snapshotSize;
  }
  if (outHeader != nullptr) *outHeader = header;
  if (outPixels != nullptr) *outPixels = pixels;
  if (outByteCount != nullptr) *outByteCount = byteCount;
  if (outTag != nullptr) *outTag = viewer->sampleTag;
  // Returns with the lock held: ViewerUnlockSnapshot releases it.
}

int32_t ViewerUnlockSnapshot(ViewerRecord* viewer) {
  if (viewer == nullptr) return 0;
  if (viewer->dewarpRenderer != nullptr) {
    std::free(viewer->snapshotBits);
    viewer->snapshotBits = nullptr;
  }
  return vv::ReleaseViewerLock(viewer);
}

}  // extern "C"
