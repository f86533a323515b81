// What the window shows (read back with BitBlt) against the lent picture:
// crops, destinations, repaint, and size changes between samples.
#include <gtest/gtest.h>

#include "viewer_dll.h"

namespace {

constexpr int kWindowWidth = 320, kWindowHeight = 240;

const std::vector<uint8_t>& Sample640() {
  static const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(PatternPicture(640, 480, 3));
  return jpeg;
}

class Presentation : public ::testing::Test {
 protected:
  void SetUp() override { LetWindowSettle(); }
  // The picture Dec1Flip lends, top-down (empty when none).
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
  void Clear() {  // the window's black background
    RedrawWindow(window.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  }

  TestWindow window{kWindowWidth, kWindowHeight};
  OpenViewer open{window.handle()};
  ViewerRecord* const viewer = open.viewer;
};

int CountLitPixels(const TestPicture& p) {
  return CountDifferentPixels({p.width, p.height, std::vector<uint8_t>(p.bgrx.size())}, p, nullptr);
}

// Each window pixel must equal a source pixel of its footprint widened by one (COLORONCOLOR
// does not blend; rounding is the stretcher's own); outside the destination, black.
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
      if (!ok && ++bad <= 3) *report += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
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
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    Dll().ViewerSetVideoSource(viewer, c.source.x, c.source.y, c.source.w, c.source.h);
    Dll().ViewerSetVideoDestination(viewer, 50, 50, c.destW, c.destH);
    const TestPicture picture = Render(Sample640());
    ASSERT_EQ(picture.width, 640);
    for (bool repaint : {false, true}) {
      if (repaint) Clear();
      EXPECT_EQ(repaint ? Dll().ViewerRepaintVideo(viewer) : 0, 0);
      std::string report;
      EXPECT_EQ(CountMisdrawnPixels(picture, c.expected, c.destW, c.destH, Shown(), &report), 0)
          << (repaint ? "after a repaint:" : "after the sample:") << report;
    }
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
  static const uint8_t broken[] = {0xFF, 0xD8, 0xFF, 0xD9};
  uint32_t w, h;
  Dll().ViewerRenderMJPEGSample(viewer, broken, sizeof broken, 0, 2, &w, &h);
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), -1) << "after a failed sample";
  EXPECT_EQ(CountLitPixels(Shown()), 0);
}

// A crop survives samples of its frame size only; a gray frame lends g, g, g, 0 pixels.
TEST_F(Presentation, SizeChangesForgetTheCropAndGrayIsWidened) {
  const TestPicture pattern = PatternPicture(40, 20, 5);
  std::string report;
  auto misdrawn = [&](const TestPicture& lent, Rect shown) {
    return CountMisdrawnPixels(lent, shown, kWindowWidth, kWindowHeight, Shown(), &report);
  };
  Dll().ViewerSetVideoDestination(viewer, 0, 0, kWindowWidth, kWindowHeight);
  Render(Sample640());
  Dll().ViewerSetVideoSource(viewer, 1, 1, 2, 2);
  EXPECT_EQ(misdrawn(Render(Sample640()), {1, 1, 2, 2}), 0) << "the crop kept:" << report;
  const TestPicture lent = Render(EncodeLosslessJpeg(pattern, true));
  EXPECT_EQ(misdrawn(lent, {0, 0, 40, 20}), 0) << "the crop forgotten:" << report;
  TestPicture want = pattern;
  for (size_t i = 0; i < want.bgrx.size(); ++i) want.bgrx[i] = i % 4 == 3 ? 0 : pattern.bgrx[i / 4 * 4 + 2];
  EXPECT_TRUE(lent.bgrx == want.bgrx);
}

}  // namespace
