// Window and screen capture through the real DLL, checked against what a
// BitBlt of the same screen rectangle shows.
//
// Reading the screen under Wine: a window's GDI drawing reaches the screen
// device context only once Wine has flushed the window's surface to X.
// Painting inside WM_PAINT (BeginPaint/EndPaint) and then pumping messages
// was enough here; ScreenShowsPicture() checks that before every comparison,
// so a capture is never judged against a screen that did not show the
// window yet.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "api/viewer_record.h"
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
    bgr[0] = bgr[1] = bgr[2] = ((x / 8 + y / 8) & 1) != 0 ? 255 : 0;
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

// Largest channel difference between the viewer's capture bitmap (24-bit,
// its own row stride) and a screen read of the same size.
int MaxDifferenceFromBitmap(const ViewerRecord* viewer, const ScreenPixels& screen) {
  int worst = 0;
  for (int y = 0; y < screen.height; ++y) {
    const uint8_t* row = viewer->captureBits + static_cast<size_t>(y) * viewer->captureStride;
    for (int x = 0; x < screen.width; ++x) {
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(row[x * 3 + c] - screen.at(x, y)[c]));
    }
  }
  return worst;
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
    ASSERT_EQ(width, static_cast<uint32_t>(p.width));
    ASSERT_EQ(height, static_cast<uint32_t>(p.height));
    const int left = p.fromRight ? screenWidth + p.originX : p.originX;
    const int top = p.fromBottom ? screenHeight + p.originY : p.originY;
    const ScreenPixels screen = ReadScreen(RECT{left, top, left + p.width, top + p.height});
    ASSERT_NE(viewer->captureBits, nullptr);
    EXPECT_EQ(MaxDifferenceFromBitmap(viewer, screen), 0);
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
    Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes);
    EXPECT_EQ(width, static_cast<uint32_t>(size.width));
    EXPECT_EQ(height, static_cast<uint32_t>(size.height));
    EXPECT_EQ(viewer->captureStride, size.stride);
    EXPECT_EQ(viewer->captureImageSize, size.stride * size.height);
    EXPECT_EQ(MaxDifferenceFromBitmap(viewer, ReadScreen(RECT{40, 40, 40 + size.width,
                                                              40 + size.height})),
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
  Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes);
  EXPECT_EQ(MaxDifferenceFromBitmap(viewer, ReadScreen(RECT{40, 40, 104, 72})), 0);
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
    uint8_t index;
  } cursors[] = {
      {"text beam", SystemCursor(IDC_IBEAM), 2},
      {"wait", SystemCursor(IDC_WAIT), 14},
      {"application cursor", BlackSquareCursor(), 1},
  };
  PictureWindow window(100, 80, 203, 96);
  for (const auto& c : cursors) {
    SCOPED_TRACE(c.name);
    window.SetCursorShape(c.cursor);
    PointAt(window, 20, 20);
    Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 1);
    std::memset(viewer->cursorMark, 0xEE, 8);
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes);
    const uint8_t expected[8] = {0x0B, 0x0A, 0x0A, 0x0A, 0x00, 0x02, 0x00, c.index};
    EXPECT_EQ(std::memcmp(viewer->cursorMark, expected, 8), 0);
    EXPECT_EQ(MaxDifferenceFromBitmap(viewer, ReadScreen(RECT{100, 80, 303, 176})), 0)
        << "marking alone draws nothing";
  }
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
