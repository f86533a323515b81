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
  int differ = 0;
  for (int y = 0; y < 96; ++y) {
    for (int x = 0; x < 203; ++x) {
      differ += std::memcmp(viewer->captureBits + y * stride + x * 3, picture.At(x, y), 3) != 0;
    }
  }
  EXPECT_EQ(differ, 0) << "the captured bitmap against the window's picture";
}

}  // namespace
