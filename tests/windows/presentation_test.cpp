// What the window shows and how the frame buffers follow the samples: the
// picture read back from the window with BitBlt against the lent picture,
// crops, destinations, repaint, and size changes between samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/viewer_record.h"
#include "test_pictures.h"
#include "viewer_dll.h"

namespace {

constexpr int kWindowWidth = 320, kWindowHeight = 240;

const std::vector<uint8_t>& Sample640() {
  static const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(PatternPicture(640, 480, 3));
  return jpeg;
}

struct Rect {
  int x, y, w, h;
};

class Presentation : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, window.handle());
    LetWindowSettle();
  }
  void TearDown() override {
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
  // Renders through Dec1Flip and returns the lent picture top-down (empty
  // when nothing was lent).
  TestPicture Render(const std::vector<uint8_t>& jpeg, int flip = 1) {
    uint32_t w = 0, h = 0, bytes = 0;
    BITMAPINFOHEADER* header = nullptr;
    uint8_t* pixels = nullptr;
    Dll().ViewerRenderMJPEGSampleDec1Flip(viewer, jpeg.data(), static_cast<uint32_t>(jpeg.size()),
                                          0, 1, &w, &h, &header, &pixels, &bytes, flip);
    return header != nullptr ? CopyLentPicture(header, pixels) : TestPicture();
  }
  TestPicture Shown() {
    return TestPicture{kWindowWidth, kWindowHeight,
                       ReadClient(window.handle(), kWindowWidth, kWindowHeight)};
  }
  // Paints the client area black again, as the window class background.
  void Clear() {
    HDC dc = GetDC(window.handle());
    RECT all{0, 0, kWindowWidth, kWindowHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(window.handle(), dc);
    GdiFlush();
  }

  TestWindow window{kWindowWidth, kWindowHeight};
  ViewerRecord* viewer = nullptr;
};

int CountLitPixels(const TestPicture& p) {
  int lit = 0;
  for (int i = 0; i < p.width * p.height; ++i) lit += (p.bgrx[i * 4] | p.bgrx[i * 4 + 1] | p.bgrx[i * 4 + 2]) != 0;
  return lit;
}

// COLORONCOLOR stretching copies one source pixel to each window pixel
// without blending; which pixel of the window pixel's footprint in the source
// (columns x * w / destW up to (x + 1) * w / destW, the same for rows) it
// takes is the stretcher's own rounding (Wine takes the far end when
// shrinking). So each window pixel must equal exactly one source pixel of its
// footprint widened by one pixel on each side, within the source rectangle.
// Outside the destination the window keeps its black background.
int CountMisdrawnPixels(const TestPicture& picture, Rect src, int destW, int destH,
                        const TestPicture& shown, std::string* report) {
  int bad = 0;
  for (int y = 0; y < shown.height; ++y) {
    for (int x = 0; x < shown.width; ++x) {
      const uint8_t* got = shown.At(x, y);
      bool ok = false;
      if (x < destW && y < destH) {
        const int x0 = std::max(src.x, src.x + x * src.w / destW - 1);
        const int x1 = std::min(src.x + src.w - 1, src.x + ((x + 1) * src.w + destW - 1) / destW);
        const int y0 = std::max(src.y, src.y + y * src.h / destH - 1);
        const int y1 = std::min(src.y + src.h - 1, src.y + ((y + 1) * src.h + destH - 1) / destH);
        for (int sy = y0; sy <= y1 && !ok; ++sy) {
          for (int sx = x0; sx <= x1 && !ok; ++sx) ok = std::memcmp(picture.At(sx, sy), got, 3) == 0;
        }
      } else {
        ok = (got[0] | got[1] | got[2]) == 0;
      }
      if (!ok && ++bad <= 3) {
        *report += " (" + std::to_string(x) + "," + std::to_string(y) + ") got " +
                   std::to_string(got[0]) + " " + std::to_string(got[1]) + " " +
                   std::to_string(got[2]);
        if (x < destW && y < destH) {
          const uint8_t* ideal = picture.At(src.x + x * src.w / destW, src.y + y * src.h / destH);
          *report += " near " + std::to_string(ideal[0]) + " " + std::to_string(ideal[1]) + " " +
                     std::to_string(ideal[2]);
        }
      }
    }
  }
  return bad;
}

TEST_F(Presentation, WindowShowsTheSourceRectangleStretchedOverTheDestination) {
  struct Case {
    const char* name;
    Rect source;        // as set by the host
    int destW, destH;   // set with left = top = 50, which must not matter
    Rect expected;      // the part of the picture that must be shown
  } cases[] = {
      {"whole picture, halved", {0, 0, 0, 0}, 320, 240, {0, 0, 640, 480}},
      {"central quarter at 1:1", {160, 120, 320, 240}, 320, 240, {160, 120, 320, 240}},
      {"crop that does not fit shows all", {400, 0, 320, 240}, 320, 240, {0, 0, 640, 480}},
      {"zero-width crop shows all", {0, 0, 0, 240}, 320, 240, {0, 0, 640, 480}},
      {"small crop enlarged four times", {100, 60, 80, 60}, 320, 240, {100, 60, 80, 60}},
      {"destination smaller than the window", {0, 0, 0, 0}, 200, 100, {0, 0, 640, 480}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    Dll().ViewerSetVideoSource(viewer, c.source.x, c.source.y, c.source.w, c.source.h);
    Dll().ViewerSetVideoDestination(viewer, 50, 50, c.destW, c.destH);
    const TestPicture picture = Render(Sample640());
    ASSERT_EQ(picture.width, 640);
    std::string report;
    EXPECT_EQ(CountMisdrawnPixels(picture, c.expected, c.destW, c.destH, Shown(), &report), 0)
        << "after the sample:" << report;
    Clear();
    EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), 0);
    report.clear();
    EXPECT_EQ(CountMisdrawnPixels(picture, c.expected, c.destW, c.destH, Shown(), &report), 0)
        << "after a repaint:" << report;
  }
}

TEST_F(Presentation, NothingIsDrawnWithoutDestinationPictureOrBottomUpRows) {
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), -1) << "no picture yet";
  Render(Sample640());
  EXPECT_EQ(CountLitPixels(Shown()), 0) << "destination width 0";
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), 0) << "a picture, nothing to draw";
  EXPECT_EQ(CountLitPixels(Shown()), 0);

  Dll().ViewerSetVideoDestination(viewer, 0, 0, kWindowWidth, kWindowHeight);
  Render(Sample640(), 0);
  EXPECT_EQ(CountLitPixels(Shown()), 0) << "top-down pictures are lent, not drawn";
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), 0);
  EXPECT_EQ(CountLitPixels(Shown()), 0);

  static const uint8_t broken[] = {0xFF, 0xD8, 0xFF, 0xD9};
  uint32_t w, h;
  Dll().ViewerRenderMJPEGSample(viewer, broken, sizeof broken, 0, 2, &w, &h);
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), -1) << "after a failed sample";
  EXPECT_EQ(CountLitPixels(Shown()), 0);
}

TEST_F(Presentation, SizeChangesReallocateReportAndForgetTheCrop) {
  const std::vector<uint8_t> gray39 = EncodeLosslessJpeg(PatternPicture(39, 20), true);
  const TestPicture pattern40 = PatternPicture(40, 20, 5);
  const std::vector<uint8_t> gray40 = EncodeLosslessJpeg(pattern40, true);
  struct Step {
    const char* name;
    const std::vector<uint8_t>* jpeg;
    uint32_t width, height;
    bool decodes;
    bool sizeChanged;
  } steps[] = {
      {"first sample", &Sample640(), 640, 480, true, true},
      {"same size again", &Sample640(), 640, 480, true, false},
      {"gray 39 wide: new size, then fails", &gray39, 39, 20, false, true},
      {"gray 40 wide", &gray40, 40, 20, true, true},
      {"back to 640 x 480", &Sample640(), 640, 480, true, true},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    Dll().ViewerSetVideoSource(viewer, 1, 1, 2, 2);
    uint32_t w = 0, h = 0, bytes = 0;
    BITMAPINFOHEADER* header = nullptr;
    uint8_t* pixels = nullptr;
    Dll().ViewerRenderMJPEGSampleDec1(viewer, s.jpeg->data(), static_cast<uint32_t>(s.jpeg->size()),
                                      0, 9, &w, &h, &header, &pixels, &bytes);
    EXPECT_EQ(w, s.width);
    EXPECT_EQ(h, s.height);
    EXPECT_EQ(viewer->frameSize, s.width * s.height * 4);
    EXPECT_NE(viewer->rowScratch, nullptr);
    EXPECT_EQ(viewer->hasPicture, s.decodes ? 1u : 0u);
    EXPECT_EQ(viewer->sourceWidth, s.sizeChanged ? 0 : 2) << "the crop survives only the same size";
    BITMAPINFOHEADER* lent = nullptr;
    Dll().ViewerLockSnapshot(viewer, &lent, nullptr, nullptr, nullptr);
    EXPECT_EQ(lent != nullptr, s.decodes);
    if (lent != nullptr) Dll().ViewerUnlockSnapshot(viewer);
    if (!s.decodes) {
      EXPECT_EQ(header, nullptr);
      continue;
    }
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, static_cast<LONG>(s.width));
    EXPECT_EQ(header->biHeight, static_cast<LONG>(s.height));
    EXPECT_EQ(bytes, s.width * s.height * 4);
  }
  // The 40-wide gray picture widened to g, g, g, 0: compare with its source.
  uint32_t w, h, bytes;
  uint8_t* pixels = nullptr;
  Dll().ViewerRenderMJPEGSampleDec2Flip(viewer, gray40.data(), static_cast<uint32_t>(gray40.size()),
                                        0, 1, &w, &h, &pixels, &bytes, 0);
  ASSERT_NE(pixels, nullptr);
  int wrong = 0;
  for (int i = 0; i < 40 * 20; ++i) {
    const uint8_t g = pattern40.bgrx[i * 4 + 2];
    wrong += !(pixels[i * 4] == g && pixels[i * 4 + 1] == g && pixels[i * 4 + 2] == g &&
               pixels[i * 4 + 3] == 0);
  }
  EXPECT_EQ(wrong, 0);
}

}  // namespace
