// Window and screen capture through the real DLL, checked against what a
// BitBlt of the same screen rectangle shows. The picture window paints in
// WM_PAINT and the tests wait until the screen shows it (see TestWindow), so
// a capture is never judged against a screen that did not show it yet.
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
// edges, no chroma).
TestPicture KnownPicture(int width, int height) {
  TestPicture p{width, height, std::vector<uint8_t>(size_t(width) * height * 4)};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* bgr = p.At(x, y);
      if (y < height / 2) {
        bgr[0] = uint8_t(x);
        bgr[1] = uint8_t(4 * y + 16);
        bgr[2] = uint8_t(255 - x);
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

// Waits (bounded) until the screen shows the window's picture at (x, y).
bool ScreenShows(const TestPicture& picture, int x, int y) {
  for (int attempt = 0; attempt < 20; ++attempt) {
    PumpMessages();
    std::string report;
    if (CountDifferentPixels(picture, ReadScreen(x, y, picture.width, picture.height), &report) == 0) {
      return true;
    }
    Sleep(20);
  }
  return false;
}

// A captured JPEG decoded with the project's decoder into blue, green, red
// with the full-range JFIF formulas the encoder uses (the viewer's own
// 32-bit output is studio range, which would stretch every level). Width 0
// when it does not decode.
TestPicture Decode(const uint8_t* data, uint32_t size) {
  vv::test::OutputRequest bgr;
  bgr.dstColor = 3;
  const vv::test::DecodedPicture picture =
      vv::test::DecodeJpeg(std::vector<uint8_t>(data, data + size), bgr);
  TestPicture out;
  if (picture.headerStatus != 0 || picture.status != 0) return out;
  out = {picture.width, picture.height, std::vector<uint8_t>(size_t(picture.width) * picture.height * 4)};
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      std::memcpy(out.At(x, y), &picture.pixels[size_t(y) * picture.step + x * 3], 3);
    }
  }
  return out;
}

// Moves and sizes a picture window, repaints it, and waits until the screen
// shows the part of `picture` that is on the screen.
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

// Pixels where the viewer's 24-bit capture bitmap differs from the screen
// read at (left, top), and their bounding box (right, bottom inclusive).
struct ChangedArea {
  int count = 0, left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
};

ChangedArea CompareWithScreen(const ViewerRecord* viewer, int left, int top) {
  const TestPicture screen = ReadScreen(left, top, viewer->captureWidth, viewer->captureHeight);
  ChangedArea area;
  for (int y = 0; y < screen.height; ++y) {
    for (int x = 0; x < screen.width; ++x) {
      const uint8_t* bgr = viewer->captureBits + size_t(y) * viewer->captureStride + x * 3;
      if (std::memcmp(bgr, screen.At(x, y), 3) == 0) continue;
      ++area.count;
      area.left = std::min(area.left, x);
      area.top = std::min(area.top, y);
      area.right = std::max(area.right, x);
      area.bottom = std::max(area.bottom, y);
    }
  }
  return area;
}

// Payloads of the comment segments before the first scan, found by walking
// the marker segments (0xFF, code, 16-bit length counting itself).
std::vector<std::vector<uint8_t>> Comments(const uint8_t* data, uint32_t size) {
  std::vector<std::vector<uint8_t>> comments;
  for (uint32_t at = 2; at + 4 <= size && data[at] == 0xFF && data[at + 1] != 0xDA;) {
    const uint32_t length = data[at + 2] << 8 | data[at + 3];
    if (data[at + 1] == 0xFE && at + 2 + length <= size) {
      comments.emplace_back(data + at + 4, data + at + 2 + length);
    }
    at += 2 + length;
  }
  return comments;
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
  ViewerRecord* viewer = nullptr;
};

// Tolerances, largest and mean channel difference for the ramp (top half)
// and the checkerboard (bottom half). Quality 100 quantises by 1, so each
// coefficient is off by at most 1/2 and, with the rounding of the colour
// conversions both ways, a sample by about 2; 4:2:2 on the ramp adds about 1
// in red and blue. Quality 75 halves the Annex K steps: the smooth ramp keeps
// small errors, the checkerboard's 0/255 edges ring by tens of levels.
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
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    ASSERT_EQ(Dll().ViewerCapture2(viewer, q.quality, &width, &height, &data, &bytes), 0);
    EXPECT_EQ(data, viewer->jpegBuffer);
    const TestPicture decoded = Decode(data, bytes);
    ASSERT_EQ(decoded.width, 203);
    ASSERT_EQ(decoded.height, 96);
    int worst[2] = {0, 0};
    long sums[2] = {0, 0};
    for (int y = 0; y < 96; ++y) {
      for (int x = 0; x < 203; ++x) {
        for (int c = 0; c < 3; ++c) {
          const int d = std::abs(decoded.At(x, y)[c] - screen.At(x, y)[c]);
          worst[y / 48] = std::max(worst[y / 48], d);
          sums[y / 48] += d;
        }
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

// The whole virtual screen: 24-bit rows padded to 4 bytes, copied as a BitBlt
// of the screen shows it.
TEST_F(Capture, ScreenCaptureCopiesTheVirtualScreen) {
  const TestPicture picture = KnownPicture(203, 96);
  TestWindow window(0, 0, &picture);
  ASSERT_TRUE(ScreenShows(picture, 0, 0));
  uint32_t width = 0, height = 0;
  Dll().ViewerOpenCapture(viewer, &width, &height);
  EXPECT_EQ(width, uint32_t(GetSystemMetrics(SM_CXVIRTUALSCREEN)));
  EXPECT_EQ(height, uint32_t(GetSystemMetrics(SM_CYVIRTUALSCREEN)));
  ASSERT_NE(viewer->captureBits, nullptr);
  const uint32_t stride = (3 * width + 3) / 4 * 4;
  EXPECT_EQ(viewer->captureStride, stride);
  EXPECT_EQ(viewer->captureHeader.bmiHeader.biHeight, -static_cast<LONG>(height));
  EXPECT_EQ(viewer->captureHeader.bmiHeader.biBitCount, 24);
  uint8_t* data = nullptr;
  uint32_t bytes = 0;
  ASSERT_EQ(Dll().ViewerCapture(viewer, 50, &data, &bytes), 0);
  const TestPicture decoded = Decode(data, bytes);
  EXPECT_EQ(decoded.width, int(width));
  EXPECT_EQ(decoded.height, int(height));
  EXPECT_EQ(CompareWithScreen(viewer, 0, 0).count, 0) << "the captured bitmap against the screen";
}

// One open capture of a window moved and resized between captures: each
// capture is the window's part on the screen at that moment, copied from x
// or y 0 when the window starts off the left or top edge; a part under 10
// pixels wide or high is not captured and leaves the out-parameters alone.
// Catches a bitmap kept at an earlier size, a copy from the window's own
// negative origin, a missing clamp and a minimum off by one.
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
    EXPECT_EQ(width, uint32_t(p.width));
    EXPECT_EQ(height, uint32_t(p.height));
    const TestPicture decoded = Decode(data, bytes);
    EXPECT_EQ(decoded.width, p.width);
    EXPECT_EQ(decoded.height, p.height);
    EXPECT_EQ(viewer->captureStride, uint32_t(3 * p.width + 3) / 4 * 4);
    EXPECT_EQ(CompareWithScreen(viewer, std::max(p.x, 0), std::max(p.y, 0)).count, 0);
  }
}

// A screen copy that fails (the screen DC swapped for a deleted one) fails
// the capture and re-creates the bitmap with its DCs, so the next capture
// works. Catches a capture that stays broken after one failed copy.
TEST_F(Capture, FailingScreenCopyRecreatesTheBitmap) {
  const TestPicture picture = KnownPicture(64, 32);
  TestWindow window(40, 40, &picture);
  ASSERT_TRUE(ScreenShows(picture, 40, 40));
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  uint32_t width = 0, height = 0, bytes = 0;
  uint8_t* data = nullptr;
  ASSERT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), 0);
  ReleaseDC(nullptr, viewer->screenDc);
  viewer->screenDc = CreateCompatibleDC(nullptr);
  DeleteDC(viewer->screenDc);
  EXPECT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), -1);
  EXPECT_EQ(viewer->captureFailures, 1u);
  EXPECT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), 0);
  EXPECT_EQ(viewer->captureFailures, 0u);
  EXPECT_EQ(CompareWithScreen(viewer, 40, 40).count, 0);
}

// The picture window's cursor, set by a subclass of the window.
HCURSOR windowCursor = nullptr;
WNDPROC pictureProc = nullptr;
LRESULT CALLBACK CursorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETCURSOR) return SetCursor(windowCursor), TRUE;
  return CallWindowProcW(pictureProc, window, message, wParam, lParam);
}

// The cursor drawn with its image's top-left corner at the pointer, and the
// 8-byte mark (one comment segment right after SOI and the 18-byte APP0)
// ending in the cursor's number, 1 for one outside the system set. Catches
// a hot-spot shift (the black square, hot spot in its centre, and the text
// beam would reach left of or above the pointer), a wrong number, a mark
// that draws, and drawing or marking for a pointer outside the window.
TEST_F(Capture, CursorIsDrawnAtThePointerAndMarked) {
  static const uint8_t noBits[32 * 4] = {};
  const HCURSOR square = CreateCursor(GetModuleHandleW(nullptr), 16, 16, 32, 32, noBits, noBits);
  const HCURSOR beam = LoadCursorW(nullptr, IDC_IBEAM);
  const struct {
    const char* name;
    HCURSOR cursor;
    int x, y;       // pointer position relative to the window
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
    uint32_t width = 0, height = 0, bytes = 0;
    uint8_t* data = nullptr;
    ASSERT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), 0);
    const ChangedArea area = CompareWithScreen(viewer, 100, 80);
    const auto comments = Comments(data, bytes);
    if (c.index == 0) {
      EXPECT_TRUE(comments.empty());
      EXPECT_EQ(area.count, 0);
      continue;
    }
    ASSERT_EQ(viewer->cursorInfo.hCursor, c.cursor);
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_EQ(comments[0], (std::vector<uint8_t>{0x0B, 0x0A, 0x0A, 0x0A, 0x00, 0x02, 0x00, c.index}));
    const uint8_t segmentStart[4] = {0xFF, 0xFE, 0x00, 0x0A};
    EXPECT_EQ(std::memcmp(data + 20, segmentStart, 4), 0);
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

// 10 × 10 pixels are 320 raw bytes, fewer than the JPEG's tables alone: the
// capture fails rather than write past the buffer.
TEST_F(Capture, JpegLargerThanTheRawPictureFailsTheCapture) {
  const TestPicture picture = KnownPicture(10, 10);
  TestWindow window(40, 40, &picture);
  Dll().ViewerOpenCapture2(viewer, window.handle(), 0, 0);
  uint32_t width = 0, height = 0, bytes = 5;
  uint8_t* data = nullptr;
  EXPECT_EQ(Dll().ViewerCapture2(viewer, 90, &width, &height, &data, &bytes), -1);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(bytes, 5u);
}

// Live GDI objects of the process, found by probing handle values: Wine's
// GetGuiResources reports 0, but Wine accepts a handle given by its table
// index alone.
int CountGdiObjects() {
  int count = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) {
    count += GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  }
  return count;
}

// Committed private memory (heap blocks and DIB sections, touched or not);
// Wine's GetProcessMemoryInfo reports no private usage.
size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const uint8_t* at = nullptr; VirtualQuery(at, &info, sizeof info) == sizeof info;
       at = static_cast<const uint8_t*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
  }
  return total;
}

// Catches a bitmap, DC or JPEG buffer leaked by close, by a re-open over an
// open capture or by a resize.
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
      uint32_t width = 0, height = 0, bytes = 0;
      uint8_t* data = nullptr;
      Dll().ViewerOpenCapture2(viewer, window.handle(), 1, 1);
      Dll().ViewerCapture2(viewer, 75, &width, &height, &data, &bytes);
      SetWindowPos(window.handle(), nullptr, 0, 0, 64 - i % 2, 48, SWP_NOMOVE | SWP_NOZORDER);
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
