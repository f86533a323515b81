// The five capture exports. Capture has its own open and close, uses only
// the capture fields of the record and takes no lock.
//
// Choices of this build:
// - A capture call with capture closed (no encoder) returns -1 and writes no
//   out-parameter.
// - Opening again without ViewerCloseCapture first releases the earlier
//   encoder and bitmap.
// - A capture bitmap that could not be created is never copied into or
//   encoded from: the capture fails with -1, and the next capture call tries
//   to create it again.
// - The screen is copied from the primary monitor's origin (0, 0) with the
//   virtual screen's size, so window rectangles clamp against the same
//   (0, 0)-based area that is copied; monitors left of or above the primary
//   one are not covered.
#include <new>

#include "api/viewer_record.h"
#include "capture/capture_bitmap.h"
#include "capture/capture_cursor.h"
#include "capture/capture_grab.h"
#include "jpeg/encoder.h"
#include "videoviewer.h"

namespace {

// A run of failing screen copies recreates the bitmap and its device
// contexts on its 1st, 121st, 241st ... failure.
constexpr uint32_t kFailuresPerRecovery = 120;
// Narrower or lower visible window parts are not captured.
constexpr int32_t kMinimumCaptureSide = 10;

void ReleaseCapture(ViewerRecord* viewer) {
  vv::DestroyCaptureBitmap(viewer);
  delete viewer->encoder;
  viewer->encoder = nullptr;
}

// Opening replaces whatever an earlier open left: without this the earlier
// encoder, DCs and bitmap would leak.
bool StartCapture(ViewerRecord* viewer) {
  ReleaseCapture(viewer);
  viewer->encoder = new (std::nothrow) vv::CJPEGEncoder();
  return viewer->encoder != nullptr;
}

void ReadScreenSize(ViewerRecord* viewer) {
  viewer->screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  viewer->screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
}

// A bitmap whose creation failed earlier is tried again, so a passing
// shortage does not end capture for good.
bool EnsureCaptureBitmap(ViewerRecord* viewer) {
  return vv::HasCaptureBitmap(viewer) || vv::CreateCaptureBitmap(viewer);
}

}  // namespace

extern "C" {

void ViewerOpenCapture(ViewerRecord* viewer, uint32_t* outWidth, uint32_t* outHeight) {
  if (viewer == nullptr) return;
  StartCapture(viewer);
  viewer->captureWindow = nullptr;
  ReadScreenSize(viewer);
  viewer->captureWidth = viewer->screenWidth;
  viewer->captureHeight = viewer->screenHeight;
  vv::CreateCaptureBitmap(viewer);
  if (outWidth != nullptr) *outWidth = static_cast<uint32_t>(viewer->captureWidth);
  if (outHeight != nullptr) *outHeight = static_cast<uint32_t>(viewer->captureHeight);
}

void ViewerOpenCapture2(ViewerRecord* viewer, HWND window, uint32_t drawCursor,
                        uint32_t markCursor) {
  if (viewer == nullptr) return;
  StartCapture(viewer);
  viewer->captureWindow = nullptr;
  viewer->captureWidth = viewer->captureHeight = 0;
  RECT rect;
  if (window != nullptr && GetWindowRect(window, &rect)) viewer->captureWindow = window;
  viewer->drawCursor = drawCursor;
  viewer->markCursor = markCursor;
  ReadScreenSize(viewer);
  if (viewer->captureWindow == nullptr) {
    viewer->captureWidth = viewer->screenWidth;
    viewer->captureHeight = viewer->screenHeight;
    vv::CreateCaptureBitmap(viewer);
  }
  viewer->captureFailures = 0;
  if (markCursor != 0) vv::LoadCursorShapes(viewer);
}

int32_t ViewerCapture(ViewerRecord* viewer, uint32_t quality, uint8_t** outData,
                      uint32_t* outByteCount) {
  if (viewer == nullptr || viewer->encoder == nullptr) return -1;
  if (!EnsureCaptureBitmap(viewer)) return -1;
  return vv::GrabFrame(viewer, quality, nullptr, outData, outByteCount);
}

int32_t ViewerCapture2(ViewerRecord* viewer, uint32_t quality, uint32_t* outWidth,
                       uint32_t* outHeight, uint8_t** outData, uint32_t* outByteCount) {
  if (viewer == nullptr || viewer->encoder == nullptr) return -1;
  POINT origin{0, 0};
  const POINT* originUsed = nullptr;
  if (viewer->captureWindow != nullptr) {
    RECT rect;
    if (!GetWindowRect(viewer->captureWindow, &rect)) return -1;
    const LONG left = rect.left > 0 ? rect.left : 0;
    const LONG top = rect.top > 0 ? rect.top : 0;
    const LONG right = rect.right < viewer->screenWidth ? rect.right : viewer->screenWidth;
    const LONG bottom = rect.bottom < viewer->screenHeight ? rect.bottom : viewer->screenHeight;
    const LONG width = right - left;
    const LONG height = bottom - top;
    if (width < kMinimumCaptureSide || height < kMinimumCaptureSide) return -1;
    if (width != viewer->captureWidth || height != viewer->captureHeight) {
      vv::DestroyCaptureBitmap(viewer);
      viewer->captureWidth = width;
      viewer->captureHeight = height;
      vv::CreateCaptureBitmap(viewer);
    }
    origin = POINT{left, top};
    originUsed = &origin;
  }
  int32_t result = -1;
  if (EnsureCaptureBitmap(viewer)) {
    result = vv::GrabFrame(viewer, quality, originUsed, outData, outByteCount);
  }
  if (result == 0) {
    viewer->captureFailures = 0;
  } else if (result == vv::kScreenCopyFailed) {
    if (viewer->captureFailures == 0) {
      vv::DestroyCaptureBitmap(viewer);
      vv::CreateCaptureBitmap(viewer);
    }
    viewer->captureFailures += 1;
    if (viewer->captureFailures == kFailuresPerRecovery) viewer->captureFailures = 0;
  }
  if (outWidth != nullptr) *outWidth = static_cast<uint32_t>(viewer->captureWidth);
  if (outHeight != nullptr) *outHeight = static_cast<uint32_t>(viewer->captureHeight);
  return result < 0 ? -1 : result;
}

void ViewerCloseCapture(ViewerRecord* viewer) {
  if (viewer == nullptr) return;
  ReleaseCapture(viewer);
}

}  // extern "C"
