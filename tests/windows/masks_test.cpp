// Privacy masks through ViewerRenderMJPEGSampleEx with GDI+ started by the
// host, against the unmasked picture and a per-pixel reference of the rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "api/viewer_record.h"
#include "test_pictures.h"
#include "viewer_dll.h"

namespace {

struct Record {
  uint8_t kind, level;
  int32_t x, y, w, h;  // 1/100000 of the frame
};

struct Rect {
  int x, y, w, h;
};

void PutI32(std::vector<uint8_t>* out, int32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

// Version, unread byte, payload length, records, `tail` stray bytes.
std::vector<uint8_t> MaskBlock(const std::vector<Record>& records, int tail = 0) {
  std::vector<uint8_t> b = {1, 0xEE};
  PutI32(&b, static_cast<int32_t>(records.size() * 18 + tail));
  for (const Record& r : records) {
    b.push_back(r.kind);
    b.push_back(r.level);
    for (int32_t v : {r.x, r.y, r.w, r.h}) PutI32(&b, v);
  }
  b.insert(b.end(), tail, 0x01);
  return b;
}

void PaintBlack(TestPicture* p, Rect r) {
  for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, p->height); ++y) {
    for (int x = std::max(r.x, 0); x < std::min(r.x + r.w, p->width); ++x) {
      std::memset(p->At(x, y), 0, 3);
    }
  }
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
    viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, window.handle());
    Dll().ViewerSetVideoDestination(viewer, 0, 0, 640, 480);
    ASSERT_EQ((clean640 = RenderMasked(640, {})).width, 640);
    ASSERT_EQ((clean800 = RenderMasked(800, {})).width, 800);
  }
  void TearDown() override {
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
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
    BITMAPINFOHEADER* header = nullptr;
    uint8_t* pixels = nullptr;
    Dll().ViewerLockSnapshot(viewer, &header, &pixels, nullptr, nullptr);
    if (header == nullptr) return TestPicture();
    TestPicture lent = CopyLentPicture(header, pixels);
    Dll().ViewerUnlockSnapshot(viewer);
    return lent;
  }

  TestWindow window{640, 480};
  ViewerRecord* viewer = nullptr;
  TestPicture clean640, clean800;
};

TEST_F(Masks, SolidMasksBlackOutTheirRectangleInSnapshotAndWindow) {
  struct Case {
    const char* name;
    Record record;
    Rect black;
  } cases[] = {
      {"quarter-size band", {1, 0, 25000, 50000, 50000, 25000}, {160, 240, 320, 120}},
      {"reaching past the corner", {1, 0, 90000, 90000, 50000, 50000}, {576, 432, 64, 48}},
  };
  LetWindowSettle();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestPicture want = clean640;
    PaintBlack(&want, c.black);
    std::string report;
    EXPECT_EQ(CountDifferentPixels(want, RenderMasked(640, MaskBlock({c.record})), &report), 0)
        << report;
    TestPicture shown{640, 480, ReadClient(window.handle(), 640, 480)};
    report.clear();
    EXPECT_EQ(CountDifferentPixels(want, shown, &report), 0) << report;
  }
  // Masks belong to one sample: the next sample without them is clean.
  std::string report;
  EXPECT_EQ(CountDifferentPixels(clean640, RenderMasked(640, {}), &report), 0)
      << report;
}

TEST_F(Masks, MosaicMatchesAReferenceComputedFromTheSourcePicture) {
  struct Case {
    const char* name;
    int level;
    Rect rect;   // pixels of the 800 x 800 picture
    int block;   // expected block size
    Rect painted;
  } cases[] = {
      {"400x300 level 0", 0, {40, 80, 400, 300}, 15, {40, 80, 400, 300}},
      {"95x95 level 1: last row and column 5", 1, {3, 7, 95, 95}, 10, {3, 7, 95, 95}},
      {"past the bottom-right: clipped first", 0, {700, 640, 300, 300}, 10, {700, 640, 100, 160}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Record record{2, uint8_t(c.level), c.rect.x * 125, c.rect.y * 125, c.rect.w * 125,
                        c.rect.h * 125};  // 125 units = 1 pixel of 800
    TestPicture want = clean800;
    PaintMosaic(&want, c.painted, c.block);
    std::string report;
    EXPECT_EQ(CountDifferentPixels(want, RenderMasked(800, MaskBlock({record})), &report), 0)
        << report;
  }
}

// A block that cannot be read paints nothing; a bad record is skipped and
// its neighbours drawn (4 bytes after the last record are ignored).
TEST_F(Masks, MalformedBlocksAndRecordsAreSkipped) {
  const Record first{1, 0, 0, 0, 10000, 10000};         // (0, 0, 64, 48)
  const Record bad{3, 0, 20000, 20000, 20000, 20000};   // kind 3
  const Record last{1, 0, 50000, 50000, 10000, 10000};  // (320, 240, 64, 48)
  std::vector<uint8_t> overlong = MaskBlock({first});
  overlong[2] = 19;  // payload 19 > 24 - 6
  std::string report;
  EXPECT_EQ(CountDifferentPixels(clean640, RenderMasked(640, overlong), &report), 0)
      << report;
  TestPicture want = clean640;
  PaintBlack(&want, {0, 0, 64, 48});
  PaintBlack(&want, {320, 240, 64, 48});
  EXPECT_EQ(CountDifferentPixels(want, RenderMasked(640, MaskBlock({first, bad, last}, 4)),
                                 &report), 0) << report;
}

}  // namespace
