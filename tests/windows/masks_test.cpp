// Privacy masks through ViewerRenderMJPEGSampleEx with GDI+ started by the
// host, against the unmasked picture and a per-pixel reference of the rules.
#include <gtest/gtest.h>

#include "viewer_dll.h"

namespace {

struct Record {
  uint8_t kind, level;
  int32_t x, y, w, h;  // 1/100000 of the frame
};

void PutI32(std::vector<uint8_t>* out, int32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

// Version, unread byte, payload length (-1: the true one), records, `tail` stray bytes.
std::vector<uint8_t> MaskBlock(const std::vector<Record>& records, int tail = 0, int32_t length = -1) {
  std::vector<uint8_t> b = {1, 0xEE};
  PutI32(&b, length >= 0 ? length : static_cast<int32_t>(records.size() * 18 + tail));
  for (const Record& r : records) {
    b.push_back(r.kind);
    b.push_back(r.level);
    for (int32_t v : {r.x, r.y, r.w, r.h}) PutI32(&b, v);
  }
  b.insert(b.end(), tail, 0x01);
  return b;
}

// Each pixel: the mean of its b-block's samples at a third and two thirds
// (the last row and column of blocks are what is left), read before painting.
void PaintMosaic(TestPicture* p, Rect r, int b) {
  const TestPicture before = *p;
  for (int y = r.y; y < r.y + r.h; ++y) {
    for (int x = r.x; x < r.x + r.w; ++x) {
      const int bx = r.x + (x - r.x) / b * b, by = r.y + (y - r.y) / b * b;
      const int bw = std::min(b, r.x + r.w - bx), bh = std::min(b, r.y + r.h - by);
      for (int c = 0; c < 3; ++c) {
        const int sum = before.At(bx + bw / 3, by + bh / 3)[c] +
                        before.At(bx + 2 * (bw / 3), by + bh / 3)[c] +
                        before.At(bx + bw / 3, by + 2 * (bh / 3))[c] +
                        before.At(bx + 2 * (bw / 3), by + 2 * (bh / 3))[c];
        p->At(x, y)[c] = static_cast<uint8_t>(sum / 4);
      }
    }
  }
}

const std::vector<uint8_t>& Jpeg(int width) {
  static const std::vector<uint8_t> j640 = EncodeLosslessJpeg(PatternPicture(640, 480, 1)),
                                    j800 = EncodeLosslessJpeg(PatternPicture(800, 800, 2));
  return width == 640 ? j640 : j800;
}

class Masks : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartGdiplus());
    Dll().ViewerSetVideoDestination(viewer, 0, 0, 640, 480);
    ASSERT_EQ((clean640 = RenderMasked(640, {})).width, 640);
    ASSERT_EQ((clean800 = RenderMasked(800, {})).width, 800);
  }

  // The lent picture after a sample with the mask block before it in one buffer.
  TestPicture RenderMasked(int width, const std::vector<uint8_t>& block) {
    const std::vector<uint8_t>& jpeg = Jpeg(width);
    std::vector<uint8_t> buffer(16, 0xCD);
    buffer.insert(buffer.end(), block.begin(), block.end());
    const int32_t imageOffset = static_cast<int32_t>(buffer.size());
    buffer.insert(buffer.end(), jpeg.begin(), jpeg.end());
    uint32_t w = 0, h = 0;
    Dll().ViewerRenderMJPEGSampleEx(viewer, buffer.data(), static_cast<uint32_t>(jpeg.size()),
                                    imageOffset, 77, uint32_t(block.size()), 16, &w, &h);
    EXPECT_EQ(viewer->hasPicture, 1u) << "masks never fail the sample";
    return Snapshot(viewer);
  }

  TestWindow window{640, 480};
  OpenViewer open{window.handle()};
  ViewerRecord* const viewer = open.viewer;
  TestPicture clean640, clean800;
};

// Solid masks (640 wide, also read back from the window) black out their rectangle;
// mosaics (800 wide) match a reference computed from the source picture.
TEST_F(Masks, MaskedPicturesMatchAReferenceOfTheRules) {
  const Record first{1, 0, 0, 0, 10000, 10000};         // (0, 0, 64, 48)
  const Record bad{3, 0, 20000, 20000, 20000, 20000};   // kind 3
  const Record last{1, 0, 50000, 50000, 10000, 10000};  // (320, 240, 64, 48)
  auto mosaic = [](int level, Rect r) {  // 125 units = 1 pixel of 800
    return MaskBlock({{2, uint8_t(level), r.x * 125, r.y * 125, r.w * 125, r.h * 125}});
  };
  const struct {
    const char* name;
    int width;
    std::vector<uint8_t> block;
    std::vector<Rect> black;
    Rect mosaic;
    int mosaicBlock;  // expected block size; 0: no mosaic
  } cases[] = {
      {"quarter band", 640, MaskBlock({{1, 0, 25000, 50000, 50000, 25000}}), {{160, 240, 320, 120}}, {}, 0},
      {"past the corner", 640, MaskBlock({{1, 0, 90000, 90000, 50000, 50000}}), {{576, 432, 64, 48}}, {}, 0},
      {"next sample without masks is clean", 640, {}, {}, {}, 0},
      {"payload 19 > 24 - 6: nothing painted", 640, MaskBlock({first}, 0, 19), {}, {}, 0},
      {"bad record skipped, 4 stray bytes ignored", 640, MaskBlock({first, bad, last}, 4),
       {{0, 0, 64, 48}, {320, 240, 64, 48}}, {}, 0},
      {"400x300 level 0", 800, mosaic(0, {40, 80, 400, 300}), {}, {40, 80, 400, 300}, 15},
      {"95x95 level 1: last row and column 5", 800, mosaic(1, {3, 7, 95, 95}), {}, {3, 7, 95, 95}, 10},
      {"past the corner: clipped first", 800, mosaic(0, {700, 640, 300, 300}), {}, {700, 640, 100, 160}, 10},
  };
  LetWindowSettle();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestPicture want = c.width == 640 ? clean640 : clean800;
    for (Rect r : c.black) {
      for (int y = r.y; y < r.y + r.h; ++y) std::memset(want.At(r.x, y), 0, r.w * 4);
    }
    if (c.mosaicBlock != 0) PaintMosaic(&want, c.mosaic, c.mosaicBlock);
    std::string report;
    EXPECT_EQ(CountDifferentPixels(want, RenderMasked(c.width, c.block), &report), 0) << report;
    if (c.width != 640) continue;
    EXPECT_EQ(CountDifferentPixels(want, {640, 480, ReadClient(window.handle(), 640, 480)}, &report), 0)
        << "window:" << report;
  }
}

}  // namespace
