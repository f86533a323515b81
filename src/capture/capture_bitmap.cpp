#include "capture/capture_bitmap.h"

#include <cstdlib>
#include <cstring>

namespace vv {

uint32_t CaptureStride(int32_t width) {
  if (width < 1) return 0;
  const uint64_t stride = ((static_cast<uint64_t>(width) + 1) * 3) & ~uint64_t{3};
  return stride > UINT32_MAX ? 0 : static_cast<uint32_t>(stride);
}

bool CreateCaptureBitmap(ViewerRecord* viewer) {
  const int32_t width = viewer->captureWidth;
  const int32_t height = viewer->captureHeight;
  viewer->captureStride = CaptureStride(width);
  const uint64_t imageSize =
      height > 0 ? static_cast<uint64_t>(viewer->captureStride) * static_cast<uint64_t>(height) : 0;
  // The JPEG goes through a memory stream with a signed 32-bit capacity.
  viewer->captureImageSize = imageSize <= INT32_MAX ? static_cast<uint32_t>(imageSize) : 0;

  std::memset(&viewer->captureHeader, 0, sizeof viewer->captureHeader);
  BITMAPINFOHEADER& header = viewer->captureHeader.bmiHeader;
  header.biSize = sizeof(BITMAPINFOHEADER);
  header.biWidth = width;
  header.biHeight = -height;  // top-down rows
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  if (viewer->captureImageSize == 0) return false;

  viewer->screenDc = GetDC(nullptr);
  if (viewer->screenDc != nullptr) viewer->captureDc = CreateCompatibleDC(viewer->screenDc);
  if (viewer->captureDc != nullptr) {
    void* bits = nullptr;
    viewer->captureBitmap =
        CreateDIBSection(viewer->captureDc, &viewer->captureHeader, DIB_RGB_COLORS, &bits, nullptr, 0);
    viewer->captureBits = viewer->captureBitmap != nullptr ? static_cast<uint8_t*>(bits) : nullptr;
  }
  if (viewer->captureBits != nullptr) {
    viewer->jpegBuffer = static_cast<uint8_t*>(std::malloc(viewer->captureImageSize));
  }
  if (viewer->jpegBuffer != nullptr) {
    viewer->previousBitmap = SelectObject(viewer->captureDc, viewer->captureBitmap);
  }
  if (viewer->previousBitmap == nullptr || viewer->previousBitmap == HGDI_ERROR) {
    if (viewer->previousBitmap == HGDI_ERROR) viewer->previousBitmap = nullptr;
    DestroyCaptureBitmap(viewer);
    return false;
  }
  return true;
}

void DestroyCaptureBitmap(ViewerRecord* viewer) {
  if (viewer->previousBitmap != nullptr) SelectObject(viewer->captureDc, viewer->previousBitmap);
  if (viewer->captureBitmap != nullptr) DeleteObject(viewer->captureBitmap);
  if (viewer->captureDc != nullptr) DeleteDC(viewer->captureDc);
  if (viewer->screenDc != nullptr) ReleaseDC(nullptr, viewer->screenDc);
  std::free(viewer->jpegBuffer);
  viewer->previousBitmap = nullptr;
  viewer->captureBitmap = nullptr;
  viewer->captureDc = nullptr;
  viewer->screenDc = nullptr;
  viewer->jpegBuffer = nullptr;
  viewer->captureBits = nullptr;
}

bool HasCaptureBitmap(const ViewerRecord* viewer) {
  return viewer->captureBits != nullptr && viewer->previousBitmap != nullptr &&
         viewer->jpegBuffer != nullptr && viewer->screenDc != nullptr;
}

}  // namespace vv
