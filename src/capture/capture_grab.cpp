#include "capture/capture_grab.h"

#include "capture/capture_bitmap.h"
#include "capture/capture_cursor.h"
#include "capture/capture_encode.h"

namespace vv {

int32_t GrabFrame(ViewerRecord* viewer, uint32_t quality, const POINT* origin, uint8_t** outData,
                  uint32_t* outByteCount) {
  if (viewer->encoder == nullptr || !HasCaptureBitmap(viewer)) return -1;
  ResetCaptureEncoder(viewer);
  const int sourceX = origin != nullptr ? origin->x : 0;
  const int sourceY = origin != nullptr ? origin->y : 0;
  // The screen DC, not the window's: the capture is of what the screen shows
  // over the rectangle, overlapping windows included.
  if (!BitBlt(viewer->captureDc, 0, 0, viewer->captureWidth, viewer->captureHeight,
              viewer->screenDc, sourceX, sourceY, SRCCOPY)) {
    return kScreenCopyFailed;
  }
  const bool marked = ApplyCursor(viewer, origin);
  // GDI may batch the copy and the cursor drawing; the encoder reads the
  // DIB section's memory directly.
  GdiFlush();
  uint32_t byteCount = 0;
  if (EncodeCaptureBitmap(viewer, quality, marked, &byteCount) != 0) return -1;
  if (outData != nullptr) *outData = viewer->jpegBuffer;
  if (outByteCount != nullptr) *outByteCount = byteCount;
  return 0;
}

}  // namespace vv
