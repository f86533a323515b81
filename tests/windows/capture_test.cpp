// Window and screen capture through the real DLL, checked against a BitBlt of
// the same screen rectangle once the screen shows the window's picture.
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

// Waits (bounded) until the screen shows `picture` at (x, y).
bool ScreenShows(const TestPicture& picture, int x, int y) {
  for (int attempt = 0; attempt < 20; ++attempt, Sleep(20)) {
    PumpMessages();
    if (CountDifferentPixels(picture, ReadScreen(x, y, picture.width, picture.height), nullptr) == 0) {
      return true;
    }
  }
  return false;
}

// A captured JPEG decoded by the project's decoder to full-range BGR (the
// encoder's JFIF formulas); width 0 when it does not decode.
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

// Moves and sizes the window and waits until the screen shows its on-screen part.
bool MoveAndShow(HWND window, const TestPicture& picture, int x, int y, int width, int height) {
  SetWindowPos(window, HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW);
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
  const int left = std::max(x, 0), top = std::max(y, 0);
  const int right = std::min(x + width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  const int bottom = std::min(y + height, GetSystemMetrics(SM_CYVIRTUALSCREEN));
  TestPicture visible{right - left, bottom - top, {}};
  visible.bgrx.resize(size_t(visible.width) * visible.height * 4);
  for (int row = 0; row < visible.height; ++row) {
    std::memcpy(visible.At(0, row), picture.At(left - x, top - y + row), visible.width * 4);
  }
  return ScreenShows(visible, left, top);
}

// Pixels where the 24-bit capture bitmap differs from the screen at (left,
// top), and their bounding box (inclusive).
struct ChangedArea {
  int count = 0, left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
};

ChangedArea CompareWithScreen(const ViewerRecord* viewer, int left, int top) {
  const TestPicture screen = ReadScreen(left, top, viewer->captureWidth, viewer->captureHeight);
  ChangedArea a;
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      if (std::memcmp(viewer->captureBits + size_t(y) * viewer->captureStride + x * 3, screen.At(x, y), 3) == 0) {
        continue;
      }
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
  const TestPicture screen = ReadScreen(100, 80, 203, 96);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 1);
  uint32_t previousBytes = UINT32_MAX;
  for (const auto& q : qualities) {
    SCOPED_TRACE(q.quality);
    ASSERT_EQ(Grab(q.quality), 0);
    EXPECT_EQ(data, viewer->jpegBuffer);
    const TestPicture decoded = Decode(data, bytes);
    ASSERT_EQ(decoded.width, 203);
    ASSERT_EQ(decoded.height, 96);
    int worst[2] = {0, 0};
    long sums[2] = {0, 0};
    for (int y = 0; y < 96; ++y) {
      for (int x = 0; x < 203 * 3; ++x) {
        const int d = std::abs(decoded.At(x / 3, y)[x % 3] - screen.At(x / 3, y)[x % 3]);
        worst[y / 48] = std::max(worst[y / 48], d);
        sums[y / 48] += d;
      }
    }
    for (int half = 0; half < 2; ++half) {
      EXPECT_LE(worst[half], q.max[half]) << half;
      EXPECT_LE(sums[half] / (203.0 * 48 * 3), q.mean[half]) << half;
    }
    EXPECT_LT(bytes, previousBytes) << "a lower quality gives a smaller image";
    previousBytes = bytes;
  }
}

// The whole virtual screen in 24-bit top-down rows padded to 4 bytes.
TEST_F(Capture, ScreenCaptureCopiesTheVirtualScreen) {
  const TestPicture picture = KnownPicture(203, 96);
  TestWindow window(0, 0, &picture);
  ASSERT_TRUE(ScreenShows(picture, 0, 0));
  Dll().ViewerOpenCapture(viewer, &width, &height);
  EXPECT_EQ(width, uint32_t(GetSystemMetrics(SM_CXVIRTUALSCREEN)));
  EXPECT_EQ(height, uint32_t(GetSystemMetrics(SM_CYVIRTUALSCREEN)));
  ASSERT_NE(viewer->captureBits, nullptr);
  EXPECT_EQ(viewer->captureStride, (3 * width + 3) / 4 * 4);
  EXPECT_EQ(viewer->captureHeader.bmiHeader.biHeight, -static_cast<LONG>(height));
  EXPECT_EQ(viewer->captureHeader.bmiHeader.biBitCount, 24);
  ASSERT_EQ(Dll().ViewerCapture(viewer, 50, &data, &bytes), 0);
  const TestPicture decoded = Decode(data, bytes);
  EXPECT_EQ(decoded.width, int(width));
  EXPECT_EQ(decoded.height, int(height));
  EXPECT_EQ(CompareWithScreen(viewer, 0, 0).count, 0);
}

// One open capture of a moved and resized window: each capture is the
// window's on-screen part, copied from 0 past the left or top edge; under 10
// pixels wide or high fails and leaves the out-parameters alone. Catches a
// stale bitmap size, a copy from a negative origin, a missing clamp, and a
// minimum off by one.
TEST_F(Capture, WindowIsClampedToTheScreenAtEachCapture) {
  const int sw = GetSystemMetrics(SM_CXVIRTUALSCREEN), sh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const struct {
    const char* name;
    int x, y, windowWidth, windowHeight;
    int width, height;  // expected capture size; 0: the capture fails
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
      {"back inside", 100, 80, 37, 64, 37, 64},
  };
  const TestPicture picture = KnownPicture(203, 64);
  TestWindow window(100, 80, &picture);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  for (const auto& p : placements) {
    SCOPED_TRACE(p.name);
    ASSERT_TRUE(MoveAndShow(window.handle(), picture, p.x, p.y, p.windowWidth, p.windowHeight));
    const int32_t result = Grab();
    if (p.width == 0) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(width + height + bytes, 15u) << "out-parameters untouched";
      EXPECT_EQ(data, nullptr);
      continue;
    }
    ASSERT_EQ(result, 0);
    EXPECT_EQ(width, uint32_t(p.width));
    EXPECT_EQ(height, uint32_t(p.height));
    const TestPicture decoded = Decode(data, bytes);
    EXPECT_EQ(decoded.width, p.width);
    EXPECT_EQ(decoded.height, p.height);
    EXPECT_EQ(viewer->captureStride, uint32_t(3 * p.width + 3) / 4 * 4);
    EXPECT_EQ(CompareWithScreen(viewer, std::max(p.x, 0), std::max(p.y, 0)).count, 0);
  }
}

// A failed screen copy (a deleted DC) fails that capture and re-creates the
// bitmap, so the next one works.
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
  EXPECT_EQ(viewer->captureFailures, 1u);
  EXPECT_EQ(Grab(), 0);
  EXPECT_EQ(viewer->captureFailures, 0u);
  EXPECT_EQ(CompareWithScreen(viewer, 40, 40).count, 0);
}

HCURSOR windowCursor = nullptr;
WNDPROC pictureProc = nullptr;
LRESULT CALLBACK CursorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETCURSOR) return SetCursor(windowCursor), TRUE;
  return CallWindowProcW(pictureProc, window, message, wParam, lParam);
}

// The cursor image drawn with its top-left corner at the pointer, and the
// 8-byte mark (a comment right after SOI and APP0) ending in the cursor's
// number, 1 outside the system set. Catches a hot-spot shift, a wrong
// number, a mark that draws, and drawing or marking a pointer outside.
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
    // A comment segment's start can only be a mark: scan data stuffs every 0xFF.
    const uint8_t mark[12] = {0xFF, 0xFE, 0x00, 0x0A, 0x0B, 0x0A, 0x0A, 0x0A, 0x00, 0x02, 0x00, c.index};
    if (c.index == 0) {
      EXPECT_EQ(std::search(data, data + bytes, mark, mark + 2), data + bytes);
      EXPECT_EQ(area.count, 0);
      continue;
    }
    ASSERT_EQ(viewer->cursorInfo.hCursor, c.cursor);
    EXPECT_EQ(std::memcmp(data + 20, mark, 12), 0);
    EXPECT_EQ(std::search(data + 21, data + bytes, mark, mark + 2), data + bytes) << "one mark";
    if (!c.draw) {
      EXPECT_EQ(area.count, 0) << "marking draws nothing";
      continue;
    }
    EXPECT_GE(area.left, c.x);
    EXPECT_GE(area.top, c.y);
    EXPECT_LT(area.right, c.x + side);
    EXPECT_LT(area.bottom, c.y + side);
    if (c.cursor == square) {
      EXPECT_EQ(area.count, 32 * 32);
      EXPECT_EQ(area.left, c.x);
      EXPECT_EQ(area.top, c.y);
    }
  }
  DestroyCursor(square);
}

// 10 × 10 pixels (320 raw bytes) make a JPEG larger than the buffer: refused.
TEST_F(Capture, JpegLargerThanTheRawPictureFailsTheCapture) {
  const TestPicture picture = KnownPicture(10, 10);
  TestWindow window(40, 40, &picture);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  EXPECT_EQ(Grab(), -1);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(bytes, 5u);
}

// Live GDI objects, probed by table index (Wine's GetGuiResources says 0).
int CountGdiObjects() {
  int count = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  return count;
}

// Committed private memory, heap and DIB sections (Wine's process counters say 0).
size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const uint8_t* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
  }
  return total;
}

// Catches a bitmap, DC or JPEG buffer leaked by close, re-open or resize.
TEST_F(Capture, RepeatedCyclesLeakNeitherGdiObjectsNorMemory) {
  const int baseline = CountGdiObjects();
  const HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  ASSERT_EQ(CountGdiObjects(), baseline + 1) << "the probe must see a new object";
  DeleteObject(brush);
  const TestPicture picture = KnownPicture(64, 48);
  TestWindow window(100, 80, &picture);
  SetCursorPos(110, 90);  // drawn and marked too
  auto cycles = [&](int count) {
    for (int i = 0; i < count; ++i) {
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
