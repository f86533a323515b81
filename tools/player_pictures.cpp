#include "player_pictures.h"

#include <cstring>
#include <vector>

#include "image_files.h"

namespace vv {
namespace {

// Top-down rows of width blue-green-red-x pixels, without padding.
bool WriteBgrxBmp(const char* path, const uint8_t* pixels, int32_t width, int32_t height) {
  ImageView view;
  view.pixels = pixels;
  view.step = width * 4;
  view.width = width;
  view.height = height;
  view.layout = PixelLayout::kBgrx;
  return WriteBmp(path, view);
}

}  // namespace

bool SaveSnapshot(const ViewerLibrary& library, ViewerRecord* viewer, const char* path,
                  SavedPicture* saved) {
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* pixels = nullptr;
  uint32_t bytes = 0;
  uint64_t tag = 0;
  library.ViewerLockSnapshot(viewer, &header, &pixels, &bytes, &tag);
  if (header == nullptr) return false;
  // Copy under the lock and write the file after returning the snapshot:
  // the decoding thread waits for the lock as long as the picture is lent.
  const int32_t width = header->biWidth;
  const int32_t height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  const bool bottomUp = header->biHeight > 0;
  std::vector<uint8_t> topDown;
  const bool usable = header->biBitCount == 32 && width > 0 && height > 0 &&
                      uint64_t{uint32_t(width)} * uint32_t(height) * 4 <= bytes;
  if (usable) {
    const size_t rowBytes = size_t(width) * 4;
    topDown.resize(rowBytes * size_t(height));
    for (int32_t y = 0; y < height; ++y) {
      const int32_t from = bottomUp ? height - 1 - y : y;
      std::memcpy(topDown.data() + rowBytes * size_t(y), pixels + rowBytes * size_t(from),
                  rowBytes);
    }
  }
  library.ViewerUnlockSnapshot(viewer);
  if (!usable) return false;
  if (!WriteBgrxBmp(path, topDown.data(), width, height)) return false;
  saved->width = width;
  saved->height = height;
  saved->tag = tag;
  return true;
}

bool SaveWindowPixels(HWND window, bool fromScreen, const char* path, SavedPicture* saved) {
  RECT client;
  if (!GetClientRect(window, &client)) return false;
  POINT origin{0, 0};
  if (fromScreen && !ClientToScreen(window, &origin)) return false;
  HWND source = fromScreen ? nullptr : window;
  const int32_t width = client.right - client.left;
  const int32_t height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return false;
  HDC windowDc = GetDC(source);
  if (windowDc == nullptr) return false;
  HDC memoryDc = CreateCompatibleDC(windowDc);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down, as the picture writer wants
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = memoryDc ? CreateDIBSection(memoryDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                            : nullptr;
  bool ok = false;
  if (bitmap != nullptr && bits != nullptr) {
    HGDIOBJ previous = SelectObject(memoryDc, bitmap);
    ok = BitBlt(memoryDc, 0, 0, width, height, windowDc, origin.x, origin.y, SRCCOPY) != 0;
    GdiFlush();
    SelectObject(memoryDc, previous);
    if (ok) ok = WriteBgrxBmp(path, static_cast<const uint8_t*>(bits), width, height);
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  if (memoryDc != nullptr) DeleteDC(memoryDc);
  ReleaseDC(source, windowDc);
  if (ok) {
    saved->width = width;
    saved->height = height;
  }
  return ok;
}

int32_t CaptureWindowToFile(const ViewerLibrary& library, ViewerRecord* viewer, HWND window,
                            uint32_t quality, const char* path, SavedPicture* saved) {
  library.ViewerOpenCapture2(viewer, window, 0, 0);
  uint32_t width = 0, height = 0, bytes = 0;
  uint8_t* data = nullptr;
  const int32_t status = library.ViewerCapture2(viewer, quality, &width, &height, &data, &bytes);
  int32_t result = status;
  if (status == 0) {
    std::FILE* file = data != nullptr ? std::fopen(path, "wb") : nullptr;
    const bool written = file != nullptr && std::fwrite(data, 1, bytes, file) == bytes;
    if (file != nullptr && std::fclose(file) != 0) result = 1;
    if (!written) result = 1;
    saved->width = int32_t(width);
    saved->height = int32_t(height);
    saved->bytes = bytes;
  }
  library.ViewerCloseCapture(viewer);
  return result;
}

}  // namespace vv
