// Window and screen capture through the real DLL, checked against what a
// BitBlt of the same screen rectangle shows.
//
// Reading the screen under Wine: drawing through a window's DC shows at once
// in that DC, but in the screen DC (which capture copies from) only after
// the drawing thread's messages have been pumped; GdiFlush() alone is not
// enough. The tests therefore paint in WM_PAINT, pump, and check with
// ScreenShowsPicture() before comparing, so a capture is never judged
// against a screen that did not show the window yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "api/viewer_record.h"
#include "decoder_test_util.h"
#include "viewer_dll.h"

namespace {

// The known picture: a colour ramp above (smooth horizontally, so 4:2:2
// chroma loses little) and a grey 8 × 8 checkerboard below (sharp luma
// edges, no chroma), as blue, green, red.
void KnownPixel(int x, int y, int height, uint8_t bgr[3]) {
  if (y < height / 2) {
    bgr[0] = static_cast<uint8_t>(x & 255);
    bgr[1] = static_cast<uint8_t>((4 * y + 16) & 255);
    bgr[2] = static_cast<uint8_t>(255 - (x & 255));
  } else {
    bgr[0] = bgr[1] = bgr[2] = (((x + 3) / 8 + (y + 3) / 8) & 1) != 0 ? 255 : 0;
  }
}

// Pixels of a screen rectangle as blue, green, red, x; top row first.
struct ScreenPixels {
  int width = 0, height = 0;
  std::vector<uint8_t> bgrx;
  const uint8_t* at(int x, int y) const { return &bgrx[(static_cast<size_t>(y) * width + x) * 4]; }
};

ScreenPixels ReadScreen(const RECT& rect) {
  ScreenPixels out;
  out.width = rect.right - rect.left;
  out.height = rect.bottom - rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = out.width;
  info.bmiHeader.biHeight = -out.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, out.width, out.height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  const uint8_t* begin = static_cast<uint8_t*>(bits);
  out.bgrx.assign(begin, begin + static_cast<size_t>(out.width) * out.height * 4);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return out;
}

// Pixels where the viewer's capture bitmap (24-bit, its own row stride)
// differs from a screen read of the same size, and their bounding box.
struct ChangedArea {
  int count = 0;
  int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;  // right, bottom inclusive
};

ChangedArea CompareWithScreen(const ViewerRecord* viewer, const ScreenPixels& screen) {
  ChangedArea area;
  for (int y = 0; y < screen.height; ++y) {
    const uint8_t* row = viewer->captureBits + static_cast<size_t>(y) * viewer->captureStride;
    for (int x = 0; x < screen.width; ++x) {
      if (std::memcmp(row + x * 3, screen.at(x, y), 3) == 0) continue;
      ++area.count;
      area.left = std::min(area.left, x);
      area.top = std::min(area.top, y);
      area.right = std::max(area.right, x);
      area.bottom = std::max(area.bottom, y);
    }
  }
  return area;
}

// A captured JPEG decoded with the project's decoder into blue, green, red
// with the full-range JFIF formulas the encoder uses (the viewer's own
// 32-bit output is studio range, which would stretch every level). Width 0
// when it does not decode.
ScreenPixels Decode(const uint8_t* data, uint32_t size) {
  ScreenPixels out;
  vv::test::OutputRequest bgr;
  bgr.dstColor = 3;
  const vv::test::DecodedPicture picture =
      vv::test::DecodeJpeg(std::vector<uint8_t>(data, data + size), bgr);
  if (picture.headerStatus != 0 || picture.status != 0) return out;
  out.width = picture.width;
  out.height = picture.height;
  out.bgrx.resize(static_cast<size_t>(picture.width) * picture.height * 4);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      std::memcpy(&out.bgrx[(static_cast<size_t>(y) * picture.width + x) * 4],
                  &picture.pixels[static_cast<size_t>(y) * picture.step + x * 3], 3);
    }
  }
  return out;
}

// Payloads of the comment segments before the first scan; marker walking
// written from T.81's segment layout.
std::vector<std::vector<uint8_t>> Comments(const uint8_t* data, uint32_t size) {
  std::vector<std::vector<uint8_t>> comments;
  uint32_t at = 2;
  while (at + 4 <= size && data[at] == 0xFF && data[at + 1] != 0xDA) {
    const uint32_t length = data[at + 2] << 8 | data[at + 3];
    if (data[at + 1] == 0xFE && at + 2 + length <= size) {
      comments.emplace_back(data + at + 4, data + at + 2 + length);
    }
    at += 2 + length;
  }
  return comments;
}

// A borderless window showing the known picture, with a cursor of our choice.
class PictureWindow {
 public:
  PictureWindow(int x, int y, int width, int height) : width_(width), height_(height) {
    static const ATOM windowClass = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"VideoViewerCaptureTestWindow";
      return RegisterClassW(&wc);
    }();
    (void)windowClass;
    cursor_ = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    window_ = CreateWindowExW(WS_EX_TOPMOST, L"VideoViewerCaptureTestWindow", L"capture",
                              WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetForegroundWindow(window_);
    Refresh();
  }
  ~PictureWindow() {
    DestroyWindow(window_);
    PumpMessages();
  }
  PictureWindow(const PictureWindow&) = delete;
  PictureWindow& operator=(const PictureWindow&) = delete;

  HWND handle() const { return window_; }
  void Move(int x, int y, int width, int height) {
    width_ = width;
    height_ = height;
    SetWindowPos(window_, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
    Refresh();
  }
  void SetCursorShape(HCURSOR cursor) { cursor_ = cursor; }
  void Refresh() {
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
    PumpMessages();
  }
  // True when the screen shows the whole visible part of the picture.
  bool ScreenShowsPicture() const {
    RECT rect;
    GetWindowRect(window_, &rect);
    const RECT visible{std::max(rect.left, 0L), std::max(rect.top, 0L),
                       std::min<LONG>(rect.right, GetSystemMetrics(SM_CXVIRTUALSCREEN)),
                       std::min<LONG>(rect.bottom, GetSystemMetrics(SM_CYVIRTUALSCREEN))};
    const ScreenPixels screen = ReadScreen(visible);
    for (int y = 0; y < screen.height; ++y) {
      for (int x = 0; x < screen.width; ++x) {
        uint8_t bgr[3];
        KnownPixel(x + visible.left - rect.left, y + visible.top - rect.top, height_, bgr);
        if (std::memcmp(bgr, screen.at(x, y), 3) != 0) return false;
      }
    }
    return true;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PictureWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_PAINT) {
      self->Paint();
      return 0;
    }
    if (self != nullptr && message == WM_SETCURSOR) {
      SetCursor(self->cursor_);
      return TRUE;
    }
    if (message == WM_ERASEBKGND) return 1;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  void Paint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * 4);
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) KnownPixel(x, y, height_, &pixels[(y * width_ + x) * 4]);
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    SetDIBitsToDevice(dc, 0, 0, width_, height_, 0, 0, 0, height_, pixels.data(), &info,
                      DIB_RGB_COLORS);
    EndPaint(window_, &paint);
  }

  HWND window_ = nullptr;
  HCURSOR cursor_ = nullptr;
  int width_, height_;
};

class Capture : public ::testing::Test {
 protected:
  void SetUp() override { viewer = Dll().CreateViewer(); }
  void TearDown() override {
    Dll().ViewerCloseCapture(viewer);
    Dll().DisposeViewer(viewer);
  }
  ViewerRecord* viewer = nullptr;
  const int screenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int screenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
};

TEST_F(Capture, CallsOutsideOpenAndCloseFailWithoutOutputs) {
  for (int closedOnce = 0; closedOnce < 2; ++closedOnce) {
    if (closedOnce != 0) {
      uint32_t width = 0, height = 0;
      Dll().ViewerOpenCapture(viewer, &width, &height);
      Dll().ViewerCloseCapture(viewer);
      EXPECT_EQ(viewer->captureBitmap, nullptr);
      EXPECT_EQ(viewer->jpegBuffer, nullptr);
    }
    uint32_t width = 7, height = 7, bytes = 7;
    uint8_t* data = reinterpret_cast<uint8_t*>(7);
    EXPECT_EQ(Dll().ViewerCapture(viewer, 75, &data, &bytes), -1);
    EXPECT_EQ(Dll().ViewerCapture2(viewer, 75, &width, &height, &data, &bytes), -1);
    EXPECT_EQ(width + height + bytes, 21u);
    EXPECT_EQ(data, reinterpret_cast<uint8_t*>(7));
  }
}

// Largest and mean channel difference of the decoded capture from the
// screen, separately for the colour ramp (top half) and the grey
// checkerboard (bottom half) whose edges fall inside the JPEG blocks.
struct Error {
  int maxRamp = 0, maxChecker = 0;
  double meanRamp = 0, meanChecker = 0;
};

Error CompareDecoded(const ScreenPixels& decoded, const ScreenPixels& screen) {
  Error error;
  long sums[2] = {0, 0}, counts[2] = {0, 0};
  for (int y = 0; y < screen.height; ++y) {
    const int half = y < screen.height / 2 ? 0 : 1;
    for (int x = 0; x < screen.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs(decoded.at(x, y)[c] - screen.at(x, y)[c]);
        int& worst = half == 0 ? error.maxRamp : error.maxChecker;
        worst = std::max(worst, d);
        sums[half] += d;
        ++counts[half];
      }
    }
  }
  error.meanRamp = static_cast<double>(sums[0]) / counts[0];
  error.meanChecker = static_cast<double>(sums[1]) / counts[1];
  return error;
}

// Tolerances. Quality 100 quantises by 1, so each coefficient is off by at
// most 1/2 and, with the rounding of the colour conversions both ways, a
// sample by about 2; the ramp's chroma changes by under 1 level a pixel,
// so averaging horizontal pairs (4:2:2) and interpolating them back adds
// about 1 more in red and blue. The grey checkerboard has no chroma, so
// only luma rounding remains. Quality 75 halves the Annex K steps (up to
// about 50 for the highest chroma frequencies): the smooth ramp keeps small
// errors, the checkerboard's 0/255 edges ring by tens of levels nearby.
TEST_F(Capture, WindowCaptureDecodesToWhatTheScreenShows) {
  const struct {
    uint32_t quality;
    int maxRamp, maxChecker;
    double meanRamp, meanChecker;
  } qualities[] = {
      {100, 4, 2, 1.0, 0.25},
      {75, 8, 48, 2.0, 8.0},
  };
  uint32_t previousBytes = UINT32_MAX;
  PictureWindow window(100, 80, 203, 96);
  SetCursorPos(0, 1000);
  ASSERT_TRUE(window.ScreenShowsPicture());
  const ScreenPixels screen = ReadScreen(RECT{100, 80, 303, 176});
  Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 1);
  for (const auto& q : qualities) {
    SCOPED_TRACE(q.quality);
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    ASSERT_EQ(Dll().ViewerCapture2(viewer, q.quality, &width, &height, &data, &bytes), 0);
    EXPECT_EQ(data, viewer->jpegBuffer);
    EXPECT_LE(bytes, viewer->captureImageSize);
    EXPECT_TRUE(Comments(data, bytes).empty()) << "the pointer is outside the window";
    const ScreenPixels decoded = Decode(data, bytes);
    ASSERT_EQ(decoded.width, 203);
    ASSERT_EQ(decoded.height, 96);
    const Error error = CompareDecoded(decoded, screen);
    EXPECT_LE(error.maxRamp, q.maxRamp);
    EXPECT_LE(error.maxChecker, q.maxChecker);
    EXPECT_LE(error.meanRamp, q.meanRamp);
    EXPECT_LE(error.meanChecker, q.meanChecker);
    EXPECT_LT(bytes, previousBytes) << "a lower quality gives a smaller image";
    previousBytes = bytes;
  }
}

TEST_F(Capture, ScreenBitmapHasTheVirtualScreenSizeAndRowRule) {
  uint32_t width = 0, height = 0;
  Dll().ViewerOpenCapture(viewer, &width, &height);
  EXPECT_EQ(width, static_cast<uint32_t>(screenWidth));
  EXPECT_EQ(height, static_cast<uint32_t>(screenHeight));
  ASSERT_NE(viewer->captureBits, nullptr);
  const uint32_t stride = (3 * width + 3) / 4 * 4;
  EXPECT_EQ(viewer->captureStride, stride);
  EXPECT_EQ(viewer->captureImageSize, stride * height);
  EXPECT_EQ(viewer->captureHeader.bmiHeader.biHeight, -static_cast<LONG>(height));
  EXPECT_EQ(viewer->captureHeader.bmiHeader.biBitCount, 24);
  uint8_t* data = nullptr;
  uint32_t bytes = 0;
  ASSERT_EQ(Dll().ViewerCapture(viewer, 50, &data, &bytes), 0);
  const ScreenPixels decoded = Decode(data, bytes);
  EXPECT_EQ(decoded.width, screenWidth);
  EXPECT_EQ(decoded.height, screenHeight);
}

// Placements of a 203 × 64 window relative to the screen edges, and the
// rectangle that is captured (left, top, width, height), or none.
struct Placement {
  const char* name;
  int x, y;  // negative: from the right or bottom edge
  bool fromRight, fromBottom;
  int width, height;  // expected capture size; 0: the capture fails
  int originX, originY;
};

TEST_F(Capture, WindowIsClampedToTheScreen) {
  const Placement placements[] = {
      {"inside", 100, 80, false, false, 203, 64, 100, 80},
      {"off the left edge", -50, 80, false, false, 153, 64, 0, 80},
      {"off the top edge", 100, -30, false, false, 203, 34, 100, 0},
      {"off the right edge", -120, 80, true, false, 120, 64, -120, 80},
      {"10 pixels visible at the bottom", 100, -10, false, true, 203, 10, 100, -10},
      {"9 pixels visible at the bottom", 100, -9, false, true, 0, 0, 0, 0},
      {"9 pixels visible at the right", -9, 80, true, false, 0, 0, 0, 0},
  };
  PictureWindow window(100, 80, 203, 64);
  for (const Placement& p : placements) {
    SCOPED_TRACE(p.name);
    const int x = p.fromRight ? screenWidth + p.x : p.x;
    const int y = p.fromBottom ? screenHeight + p.y : p.y;
    window.Move(x, y, 203, 64);
    ASSERT_TRUE(window.ScreenShowsPicture());
    Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
    uint32_t width = 5, height = 5, bytes = 5;
    uint8_t* data = nullptr;
    const int32_t result = Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes);
    if (p.width == 0) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(width + height + bytes, 15u) << "out-parameters untouched";
      EXPECT_EQ(data, nullptr);
      continue;
    }
    ASSERT_EQ(result, 0);
    ASSERT_EQ(width, static_cast<uint32_t>(p.width));
    ASSERT_EQ(height, static_cast<uint32_t>(p.height));
    const ScreenPixels decoded = Decode(data, bytes);
    EXPECT_EQ(decoded.width, p.width);
    EXPECT_EQ(decoded.height, p.height);
    const int left = p.fromRight ? screenWidth + p.originX : p.originX;
    const int top = p.fromBottom ? screenHeight + p.originY : p.originY;
    const ScreenPixels screen = ReadScreen(RECT{left, top, left + p.width, top + p.height});
    ASSERT_NE(viewer->captureBits, nullptr);
    EXPECT_EQ(CompareWithScreen(viewer, screen).count, 0);
  }
}

TEST_F(Capture, ResizeBetweenCapturesRecreatesTheBitmap) {
  PictureWindow window(40, 40, 101, 32);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  const struct { int width, height; uint32_t stride; } sizes[] = {
      {101, 32, 304}, {160, 48, 480}, {160, 48, 480}, {37, 12, 112}};
  for (const auto& size : sizes) {
    window.Move(40, 40, size.width, size.height);
    ASSERT_TRUE(window.ScreenShowsPicture());
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    ASSERT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), 0);
    EXPECT_EQ(Decode(data, bytes).width, size.width);
    EXPECT_EQ(width, static_cast<uint32_t>(size.width));
    EXPECT_EQ(height, static_cast<uint32_t>(size.height));
    EXPECT_EQ(viewer->captureStride, size.stride);
    EXPECT_EQ(viewer->captureImageSize, size.stride * size.height);
    EXPECT_EQ(CompareWithScreen(viewer, ReadScreen(RECT{40, 40, 40 + size.width,
                                                        40 + size.height})).count,
              0);
  }
}

TEST_F(Capture, FailingScreenCopyRecreatesTheBitmap) {
  PictureWindow window(40, 40, 64, 32);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  uint32_t width = 0, height = 0, bytes = 0;
  uint8_t* data = nullptr;
  Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes);
  ASSERT_NE(viewer->captureDc, nullptr);
  // A screen DC that is no longer valid makes the next copy fail.
  ReleaseDC(nullptr, viewer->screenDc);
  viewer->screenDc = CreateCompatibleDC(nullptr);
  DeleteDC(viewer->screenDc);
  EXPECT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), -1);
  EXPECT_EQ(viewer->captureFailures, 1u);
  ASSERT_NE(viewer->captureBits, nullptr) << "bitmap recreated after the failure";
  EXPECT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), 0);
  EXPECT_EQ(viewer->captureFailures, 0u);
  EXPECT_EQ(CompareWithScreen(viewer, ReadScreen(RECT{40, 40, 104, 72})).count, 0);
}

// A black 32 × 32 cursor whose hot spot is its centre: drawn without a
// hot-spot shift it covers exactly the 32 × 32 pixels right and below the
// pointer.
HCURSOR BlackSquareCursor() {
  static const HCURSOR cursor = [] {
    static const uint8_t andMask[32 * 4] = {};
    static const uint8_t xorMask[32 * 4] = {};
    return CreateCursor(GetModuleHandleW(nullptr), 16, 16, 32, 32, andMask, xorMask);
  }();
  return cursor;
}

HCURSOR SystemCursor(const wchar_t* id) { return LoadCursorW(nullptr, id); }

// Puts the pointer on a window point and lets the window set its cursor.
void PointAt(const PictureWindow& window, int x, int y) {
  RECT rect;
  GetWindowRect(window.handle(), &rect);
  SetForegroundWindow(window.handle());
  SetCursorPos(rect.left + x, rect.top + y);
  PumpMessages();
}

TEST_F(Capture, DrawnCursorChangesPixelsOnlyRightAndBelowThePointer) {
  const struct {
    const char* name;
    HCURSOR cursor;
    bool fillsItsSquare;
  } cursors[] = {
      {"black square, hot spot in the centre", BlackSquareCursor(), true},
      {"arrow", SystemCursor(IDC_ARROW), false},
      {"text beam", SystemCursor(IDC_IBEAM), false},
  };
  const int cursorSide = GetSystemMetrics(SM_CXCURSOR);
  PictureWindow window(100, 80, 203, 96);
  for (const auto& c : cursors) {
    SCOPED_TRACE(c.name);
    window.SetCursorShape(c.cursor);
    PointAt(window, 60, 8);
    ASSERT_TRUE(window.ScreenShowsPicture());
    Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 0);
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes);
    ASSERT_EQ(viewer->cursorInfo.hCursor, c.cursor);
    const ChangedArea area = CompareWithScreen(viewer, ReadScreen(RECT{100, 80, 303, 176}));
    ASSERT_GT(area.count, 0);
    EXPECT_GE(area.left, 60);
    EXPECT_GE(area.top, 8);
    EXPECT_LT(area.right, 60 + cursorSide);
    EXPECT_LT(area.bottom, 8 + cursorSide);
    if (c.fillsItsSquare) {
      EXPECT_EQ(area.count, 32 * 32);
      EXPECT_EQ(area.left, 60);
      EXPECT_EQ(area.top, 8);
    }
  }
}

TEST_F(Capture, CursorMarkNamesTheShowingCursor) {
  const struct {
    const char* name;
    HCURSOR cursor;
    int x, y;       // pointer position relative to the window
    uint8_t index;  // 0: no mark expected
  } cases[] = {
      {"text beam", SystemCursor(IDC_IBEAM), 20, 20, 2},
      {"wait", SystemCursor(IDC_WAIT), 20, 20, 14},
      {"application cursor", BlackSquareCursor(), 20, 20, 1},
      {"pointer left of the window", SystemCursor(IDC_IBEAM), -30, 20, 0},
      {"pointer right of the window", SystemCursor(IDC_IBEAM), 250, 20, 0},
  };
  PictureWindow window(100, 80, 203, 96);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    window.SetCursorShape(c.cursor);
    PointAt(window, c.x, c.y);
    Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 1);
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    ASSERT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), 0);
    const auto comments = Comments(data, bytes);
    if (c.index == 0) {
      EXPECT_TRUE(comments.empty());
      continue;
    }
    const std::vector<uint8_t> expected = {0x0B, 0x0A, 0x0A, 0x0A, 0x00, 0x02, 0x00, c.index};
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_EQ(comments[0], expected);
    // Right after SOI and the 18-byte APP0, as 0xFF 0xFE and length 10.
    const uint8_t segmentStart[4] = {0xFF, 0xFE, 0x00, 0x0A};
    EXPECT_EQ(std::memcmp(data + 20, segmentStart, 4), 0);
    EXPECT_EQ(CompareWithScreen(viewer, ReadScreen(RECT{100, 80, 303, 176})).count, 0)
        << "marking alone draws nothing";
  }
}

TEST_F(Capture, JpegLargerThanTheRawPictureFailsTheCapture) {
  // 10 × 10 pixels are 320 raw bytes; the tables alone take more.
  PictureWindow window(40, 40, 10, 10);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  uint32_t width = 0, height = 0, bytes = 5;
  uint8_t* data = nullptr;
  EXPECT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), -1);
  EXPECT_EQ(width, 10u);
  EXPECT_EQ(height, 10u);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(bytes, 5u);
}

// Live GDI objects of this process, found by probing handle values: Wine
// reports 0 from GetGuiResources, but it accepts a handle given by its table
// index alone.
int CountGdiObjects() {
  int count = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
  }
  return count;
}

// Committed private memory of the process (heap blocks and DIB sections,
// touched or not); Wine's GetProcessMemoryInfo reports no private usage.
size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const uint8_t* address = nullptr;
       VirtualQuery(address, &info, sizeof info) == sizeof info;
       address = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
  }
  return total;
}

TEST_F(Capture, RepeatedCyclesLeakNeitherGdiObjectsNorMemory) {
  const int baseline = CountGdiObjects();
  HBRUSH brushes[10];
  for (HBRUSH& brush : brushes) brush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_EQ(CountGdiObjects(), baseline + 10) << "the probe must see new objects";
  for (HBRUSH brush : brushes) DeleteObject(brush);

  PictureWindow window(100, 80, 64, 48);
  PointAt(window, 10, 10);
  auto cycles = [&](int count) {
    for (int i = 0; i < count; ++i) {
      uint32_t width = 0, height = 0, bytes = 0;
      uint8_t* data = nullptr;
      Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 1);
      Dll().ViewerCapture2(viewer, 75, &width, &height, &data, &bytes);
      Dll().ViewerCapture2(viewer, 75, &width, &height, &data, &bytes);
      Dll().ViewerOpenCapture(viewer, &width, &height);  // replaces the open capture
      if (i % 10 == 0) Dll().ViewerCapture(viewer, 75, &data, &bytes);
      Dll().ViewerCloseCapture(viewer);
    }
  };
  cycles(20);  // lets the heap and Wine's caches reach their working size
  const int gdiBefore = CountGdiObjects();
  const size_t memoryBefore = CommittedPrivateBytes();
  cycles(300);
  EXPECT_EQ(CountGdiObjects(), gdiBefore);
  // One leaked screen bitmap or JPEG buffer alone would be megabytes.
  EXPECT_LT(CommittedPrivateBytes(), memoryBefore + (2u << 20));
}

}  // namespace
