// Window and screen capture checked against a BitBlt of the same screen rectangle.
#include <gtest/gtest.h>

#include <cstdlib>

#include "decoder_test_util.h"
#include "viewer_dll.h"

namespace {

// A colour ramp above (little lost to 4:2:2) and a grey 8 × 8 checkerboard below.
TestPicture KnownPicture(int width, int height) {
  TestPicture p{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* bgr = p.At(x, y);
      if (y < height / 2) {
        bgr[0] = uint8_t(x), bgr[1] = uint8_t(4 * y + 16), bgr[2] = uint8_t(255 - x);
      } else {
        bgr[0] = bgr[1] = bgr[2] = (((x + 3) / 8 + (y + 3) / 8) & 1) != 0 ? 255 : 0;
      }
    }
  }
  return p;
}

TestPicture ReadScreen(int left, int top, int width, int height) {
  return {width, height, ReadClient(nullptr, width, height, left, top)};
}

// Waits (bounded) until the screen shows the on-screen part of the top-left width x
// height of `picture` placed at (x, y).
bool ScreenShows(const TestPicture& picture, int x, int y, int width = INT32_MAX, int height = INT32_MAX) {
  const int left = std::max(x, 0), top = std::max(y, 0);
  const int right = std::min(x + std::min(width, picture.width), GetSystemMetrics(SM_CXVIRTUALSCREEN));
  const int bottom = std::min(y + std::min(height, picture.height), GetSystemMetrics(SM_CYVIRTUALSCREEN));
  TestPicture visible{right - left, bottom - top, {}};
  for (int row = top; row < bottom; ++row) {
    const uint8_t* from = picture.At(left - x, row - y);
    visible.bgrx.insert(visible.bgrx.end(), from, from + visible.width * 4);
  }
  for (int attempt = 0; attempt < 20; ++attempt, Sleep(20)) {
    PumpMessages();
    const TestPicture screen = ReadScreen(left, top, visible.width, visible.height);
    if (CountDifferentPixels(visible, screen, nullptr) == 0) return true;
  }
  return false;
}

// A captured JPEG decoded to full-range BGR; width 0 when it does not decode.
TestPicture Decode(const uint8_t* data, uint32_t size) {
  vv::test::OutputRequest bgr;
  bgr.dstColor = 3;
  const vv::test::DecodedPicture d = vv::test::DecodeJpeg(std::vector<uint8_t>(data, data + size), bgr);
  TestPicture out;
  if (d.headerStatus != 0 || d.status != 0) return out;
  out = {d.width, d.height, std::vector<uint8_t>(size_t(d.width) * d.height * 4)};
  for (int y = 0; y < d.height; ++y) {
    for (int x = 0; x < d.width; ++x) std::memcpy(out.At(x, y), &d.pixels[size_t(y) * d.step + x * 3], 3);
  }
  return out;
}

// Pixels where the 24-bit capture bitmap differs from the screen at (left, top), and their box.
struct ChangedArea {
  int count = 0, left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
};

ChangedArea CompareWithScreen(const ViewerRecord* viewer, int left, int top) {
  const TestPicture screen = ReadScreen(left, top, viewer->captureWidth, viewer->captureHeight);
  ChangedArea a;
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      const uint8_t* captured = viewer->captureBits + size_t(y) * viewer->captureStride + x * 3;
      if (std::memcmp(captured, screen.At(x, y), 3) == 0) continue;
      ++a.count;
      a.left = std::min(a.left, x), a.top = std::min(a.top, y);
      a.right = std::max(a.right, x), a.bottom = std::max(a.bottom, y);
    }
  }
  return a;
}

class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer = Dll().CreateViewer();
    SetCursorPos(0, 1000);  // the pointer away from the pictures
  }
  void TearDown() override {
    Dll().ViewerCloseCapture(viewer);
    Dll().DisposeViewer(viewer);
  }
  int32_t Grab(uint32_t quality = 90) {
    width = height = bytes = 5;
    data = nullptr;
    return Dll().ViewerCapture2(viewer, quality, &width, &height, &data, &bytes);
  }
  ViewerRecord* viewer = nullptr;
  uint32_t width = 0, height = 0, bytes = 0;
  uint8_t* data = nullptr;
};

// Largest and mean channel error per half (ramp, checkerboard): quality 100
// is within rounding (+1 for 4:2:2 chroma); 75 rings on the 0/255 edges.
TEST_F(Capture, WindowCaptureDecodesToWhatTheScreenShows) {
  const struct {
    uint32_t quality;
    int max[2];
    double mean[2];
  } qualities[] = {{100, {4, 2}, {1.0, 0.25}}, {75, {8, 48}, {2.0, 8.0}}};
  const TestPicture picture = KnownPicture(203, 96);
  TestWindow window(100, 80, &picture);
  ASSERT_TRUE(ScreenShows(picture, 100, 80));
  Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 1);
  uint32_t previousBytes = UINT32_MAX;
  for (const auto& q : qualities) {
    SCOPED_TRACE(q.quality);
    ASSERT_EQ(Grab(q.quality), 0);
    const TestPicture decoded = Decode(data, bytes);
    ASSERT_TRUE(decoded.width == 203 && decoded.height == 96);
    int worst[2] = {0, 0};
    long sums[2] = {0, 0};
    for (size_t i = 0; i < picture.bgrx.size(); ++i) {  // both leave the fourth bytes 0
      const int d = std::abs(decoded.bgrx[i] - picture.bgrx[i]), half = int(i / (203 * 48 * 4));
      worst[half] = std::max(worst[half], d), sums[half] += d;
    }
    for (int half = 0; half < 2; ++half) {
      EXPECT_LE(worst[half], q.max[half]) << half;
      EXPECT_LE(sums[half] / (203.0 * 48 * 3), q.mean[half]) << half;
    }
    EXPECT_LT(bytes, previousBytes) << "a lower quality gives a smaller image";
    previousBytes = bytes;
  }
}

// The whole virtual screen, top-down.
TEST_F(Capture, ScreenCaptureCopiesTheVirtualScreen) {
  const TestPicture picture = KnownPicture(203, 96);
  TestWindow window(0, 0, &picture);
  ASSERT_TRUE(ScreenShows(picture, 0, 0));
  Dll().ViewerOpenCapture(viewer, &width, &height);
  EXPECT_EQ(width, uint32_t(GetSystemMetrics(SM_CXVIRTUALSCREEN)));
  EXPECT_EQ(height, uint32_t(GetSystemMetrics(SM_CYVIRTUALSCREEN)));
  ASSERT_EQ(Dll().ViewerCapture(viewer, 50, &data, &bytes), 0);
  const TestPicture decoded = Decode(data, bytes);
  EXPECT_TRUE(decoded.width == int(width) && decoded.height == int(height));
  EXPECT_EQ(CompareWithScreen(viewer, 0, 0).count, 0);
}

// Catches a stale bitmap size, a copy from a negative origin, a missing clamp, a 10-pixel minimum off by one.
TEST_F(Capture, WindowIsClampedToTheScreenAtEachCapture) {
  const int sw = GetSystemMetrics(SM_CXVIRTUALSCREEN), sh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const struct {
    const char* name;
    int x, y, windowWidth, windowHeight;
    int width, height;  // expected capture size; 0: fails, sizes untouched; -1: fails
  } placements[] = {
      {"inside", 100, 80, 203, 64, 203, 64},
      {"resized", 100, 80, 101, 32, 101, 32},
      {"resized in height only", 100, 80, 101, 12, 101, 12},
      {"off the left edge", -50, 80, 203, 64, 153, 64},
      {"off the top left corner", -50, -30, 203, 64, 153, 34},
      {"off the right edge", sw - 120, 80, 203, 64, 120, 64},
      {"10 pixels visible at the left", -193, 80, 203, 64, 10, 64},
      {"10 pixels visible at the bottom", 100, sh - 10, 203, 64, 203, 10},
      {"9 pixels visible at the bottom", 100, sh - 9, 203, 64, 0, 0},
      {"9 pixels visible at the right", sw - 9, 80, 203, 64, 0, 0},
      {"9 pixels high", 100, 80, 203, 9, 0, 0},
      {"10 x 10: a JPEG larger than the 320 raw bytes", 100, 80, 10, 10, -1, -1},
      {"back inside", 100, 80, 37, 64, 37, 64},
  };
  const TestPicture picture = KnownPicture(203, 64);
  TestWindow window(100, 80, &picture);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  for (const auto& p : placements) {
    SCOPED_TRACE(p.name);
    SetWindowPos(window.handle(), HWND_TOPMOST, p.x, p.y, p.windowWidth, p.windowHeight, SWP_SHOWWINDOW);
    InvalidateRect(window.handle(), nullptr, FALSE);
    ASSERT_TRUE(ScreenShows(picture, p.x, p.y, p.windowWidth, p.windowHeight));
    const int32_t result = Grab();
    if (p.width <= 0) {
      EXPECT_EQ(result, -1);
      EXPECT_TRUE(bytes == 5 && data == nullptr && (p.width < 0 || width + height == 10))
          << "out-parameters untouched";
      continue;
    }
    ASSERT_EQ(result, 0);
    const TestPicture decoded = Decode(data, bytes);
    EXPECT_TRUE(width == uint32_t(p.width) && height == uint32_t(p.height)) << width << " x " << height;
    EXPECT_TRUE(decoded.width == p.width && decoded.height == p.height);
    EXPECT_EQ(CompareWithScreen(viewer, std::max(p.x, 0), std::max(p.y, 0)).count, 0);
  }
}

// A failed screen copy fails that capture and re-creates the bitmap, so the next one works.
TEST_F(Capture, FailingScreenCopyRecreatesTheBitmap) {
  const TestPicture picture = KnownPicture(64, 32);
  TestWindow window(40, 40, &picture);
  ASSERT_TRUE(ScreenShows(picture, 40, 40));
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  ASSERT_EQ(Grab(), 0);
  ReleaseDC(nullptr, viewer->screenDc);
  viewer->screenDc = CreateCompatibleDC(nullptr);
  DeleteDC(viewer->screenDc);
  EXPECT_EQ(Grab(), -1);
  EXPECT_EQ(Grab(), 0);
  EXPECT_EQ(CompareWithScreen(viewer, 40, 40).count, 0);
}

HCURSOR windowCursor = nullptr;
WNDPROC pictureProc = nullptr;
LRESULT CALLBACK CursorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETCURSOR) return SetCursor(windowCursor), TRUE;
  return CallWindowProcW(pictureProc, window, message, wParam, lParam);
}

// Cursor drawn with its top-left at the pointer; mark after SOI+APP0 ends in its number
// (1 outside the system set). Catches a hot-spot shift, a wrong number, a mark that
// draws, drawing or marking a pointer outside the window.
TEST_F(Capture, CursorIsDrawnAtThePointerAndMarked) {
  static const uint8_t noBits[32 * 4] = {};
  const HCURSOR square = CreateCursor(GetModuleHandleW(nullptr), 16, 16, 32, 32, noBits, noBits);
  const HCURSOR beam = LoadCursorW(nullptr, IDC_IBEAM);
  const struct {
    const char* name;
    HCURSOR cursor;
    int x, y;  // pointer relative to the window
    bool draw;
    uint8_t index;  // the mark's last byte; 0: no mark
  } cases[] = {
      {"black square", square, 60, 8, true, 1},
      {"arrow", LoadCursorW(nullptr, IDC_ARROW), 60, 8, true, 1},
      {"text beam", beam, 60, 8, true, 2},
      {"text beam, marked only", beam, 20, 20, false, 2},
      {"wait, marked only", LoadCursorW(nullptr, IDC_WAIT), 20, 20, false, 14},
      {"pointer left of the window", square, -20, 20, true, 0},
      {"pointer below the window", square, 20, 100, true, 0},
  };
  const int side = GetSystemMetrics(SM_CXCURSOR);
  const TestPicture picture = KnownPicture(203, 96);
  TestWindow window(100, 80, &picture);
  pictureProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CursorProc)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    windowCursor = c.cursor;
    SetCursorPos(100 + c.x, 80 + c.y);
    PumpMessages();
    ASSERT_TRUE(ScreenShows(picture, 100, 80));
    Dll().ViewerOpenCapture2(viewer, window.handle(), c.draw, 1);
    ASSERT_EQ(Grab(), 0);
    const ChangedArea area = CompareWithScreen(viewer, 100, 80);
    const uint8_t mark[12] = {0xFF, 0xFE, 0x00, 0x0A, 0x0B, 0x0A, 0x0A, 0x0A, 0x00, 0x02, 0x00, c.index};
    // Scan data stuffs every 0xFF, so FF FE can only start a comment.
    uint8_t* after = data + (c.index != 0 ? 21 : 0);
    EXPECT_EQ(std::search(after, data + bytes, mark, mark + 2), data + bytes) << "at most one mark";
    EXPECT_TRUE(c.index == 0 || std::memcmp(data + 20, mark, 12) == 0) << "mark after SOI and APP0";
    if (c.index == 0 || !c.draw) {
      EXPECT_EQ(area.count, 0) << "nothing drawn";
      continue;
    }
    EXPECT_TRUE(area.left >= c.x && area.top >= c.y && area.right < c.x + side && area.bottom < c.y + side)
        << area.left << "," << area.top << " to " << area.right << "," << area.bottom;
    EXPECT_TRUE(c.cursor != square || (area.count == 32 * 32 && area.left == c.x && area.top == c.y));
  }
  DestroyCursor(square);
}

// Live GDI objects by table index, and committed private memory (Wine's counters say 0).
int CountGdiObjects() {
  int count = 0;
  for (uintptr_t i = 1; i < 0x10000; ++i) count += GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0;
  return count;
}

size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const uint8_t* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
  }
  return total;
}

// Catches a bitmap, DC, JPEG buffer, decoder or DrawDib leaked by close, re-open or resize.
TEST_F(Capture, RepeatedCyclesLeakNeitherGdiObjectsNorMemory) {
  const int baseline = CountGdiObjects();
  const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_EQ(CountGdiObjects(), baseline + 1) << "the probe must see a new object";
  DeleteObject(brush);
  const TestPicture picture = KnownPicture(64, 48);
  TestWindow window(100, 80, &picture);
  SetCursorPos(110, 90);  // drawn and marked too
  const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(picture);
  auto cycles = [&](int count) {
    for (int i = 0; i < count; ++i) {
      Dll().ViewerOpen(viewer, window.handle());
      Dll().ViewerRenderMJPEGSample(viewer, jpeg.data(), uint32_t(jpeg.size()), 0, i, &width, &height);
      Dll().ViewerClose(viewer);
      Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 1);
      Grab(75);
      SetWindowPos(window.handle(), nullptr, 0, 0, 64 - i % 2, 48, SWP_NOMOVE | SWP_NOZORDER);
      Grab(75);
      Dll().ViewerOpenCapture(viewer, &width, &height);  // replaces the open capture
      if (i % 10 == 0) Dll().ViewerCapture(viewer, 75, &data, &bytes);
      Dll().ViewerCloseCapture(viewer);
    }
  };
  cycles(20);  // the heap and Wine's caches reach their working size
  const int gdiBefore = CountGdiObjects();
  const size_t memoryBefore = CommittedPrivateBytes();
  cycles(300);
  EXPECT_EQ(CountGdiObjects(), gdiBefore);
  EXPECT_LT(CommittedPrivateBytes(), memoryBefore + (2u << 20)) << "one leaked bitmap is megabytes";
}

}  // namespace
