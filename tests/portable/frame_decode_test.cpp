// The viewer's decode path: buffers, gray widening, the component rules,
// the header and the row flip, on pictures whose pixels are known exactly.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "jpeg/frame_decode.h"
#include "jpeg_builder_util.h"
#include "primitives/entropy_encode.h"
#include "primitives/huffman_tables.h"

namespace {

using namespace vv;
using namespace vv::test;

// One flat block: (component index, sample value).
using FlatBlock = std::pair<int, int>;

// Entropy-coded data of DC-only blocks in the given order, with the Annex K
// luminance tables and a quantiser of 1: a block of value v has DC
// (v - 128) * 8, which the inverse transform turns back into exactly v.
Bytes DcOnlyScan(const std::vector<FlatBlock>& blocks) {
  HuffmanEncodeSpec dc, ac;
  BuildHuffmanEncodeSpec(kStdDcLuminanceBits, kStdDcLuminanceValues, &dc);
  BuildHuffmanEncodeSpec(kStdAcLuminanceBits, kStdAcLuminanceValues, &ac);
  HuffmanEncodeState state;
  InitHuffmanEncodeState(&state);
  Bytes out(blocks.size() * 8 + 16);
  int32_t offset = 0;
  int16_t lastDc[4] = {};
  for (const FlatBlock& block : blocks) {
    int16_t coefficients[64] = {};
    coefficients[0] = static_cast<int16_t>((block.second - 128) * 8);
    EXPECT_EQ(EncodeHuffmanBlock8x8(coefficients, out.data(), static_cast<int32_t>(out.size()),
                                    &offset, &lastDc[block.first], &dc, &ac, &state, 0),
              0);
  }
  EncodeHuffmanBlock8x8(nullptr, out.data(), static_cast<int32_t>(out.size()), &offset, nullptr,
                        nullptr, nullptr, &state, 1);
  out.resize(offset);
  return out;
}

// A gray picture `width` wide whose block rows are flat with the given values.
Bytes GrayPicture(int width, const std::vector<int>& rowValues) {
  const int blocksAcross = (width + 7) / 8;
  std::vector<FlatBlock> blocks;
  for (int v : rowValues) blocks.insert(blocks.end(), blocksAcross, FlatBlock{0, v});
  JpegBuilder b;
  b.Soi().Jfif().Dqt8(0, 1);
  b.Sof(0xC0, 8, width, 8 * static_cast<int>(rowValues.size()), {{1, 1, 1, 0}});
  b.StandardDht().Sos({{1, 0, 0}}).Raw(DcOnlyScan(blocks)).Eoi();
  return b.bytes();
}

// A flat 16x8 picture of 1x1-sampled components with the given values (two
// MCUs), all on table 0.
Bytes FlatPicture(const std::vector<int>& values, bool jfif = true) {
  std::vector<FrameComponentSpec> frame;
  std::vector<ScanComponentSpec> scan;
  for (size_t k = 0; k < values.size(); ++k) {
    frame.push_back({static_cast<uint8_t>(k + 1), 1, 1, 0});
    scan.push_back({static_cast<uint8_t>(k + 1), 0, 0});
  }
  std::vector<FlatBlock> blocks;
  for (int mcu = 0; mcu < 2; ++mcu) {
    for (size_t k = 0; k < values.size(); ++k) blocks.push_back({static_cast<int>(k), values[k]});
  }
  JpegBuilder b;
  b.Soi();
  if (jfif) b.Jfif();
  b.Dqt8(0, 1).Sof(0xC0, 8, 16, 8, frame).StandardDht().Sos(scan).Raw(DcOnlyScan(blocks)).Eoi();
  return b.bytes();
}

// The video-range conversion the viewer's colour pictures use, from its
// defining formula.
int VideoRange(double y, double chromaTerm) {
  const long v = (76282L * (static_cast<long>(y) - 16) + static_cast<long>(chromaTerm) + 32768) >> 16;
  return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(v);
}

class FrameDecode : public ::testing::Test {
 protected:
  ~FrameDecode() override { ReleaseFrameBuffers(&frame); }
  bool Decode(const Bytes& sample) {
    return DecodeViewerFrame(&decoder, sample.data(), static_cast<uint32_t>(sample.size()), &frame,
                             &sizeChanged);
  }
  const uint8_t* Pixel(int x, int y) const { return frame.frameBits + (y * frame.frameWidth + x) * 4; }
  CJPEGDecoder decoder;
  FrameBuffers frame;
  bool sizeChanged = false;
};

TEST_F(FrameDecode, GrayPictureIsWidenedToEqualBlueGreenRedAndZero) {
  ASSERT_TRUE(Decode(GrayPicture(48, {200, 60})));
  EXPECT_TRUE(sizeChanged);
  EXPECT_EQ(frame.frameWidth, 48u);
  EXPECT_EQ(frame.frameHeight, 16u);
  EXPECT_EQ(frame.frameSize, 48u * 16 * 4);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 48; ++x) {
      const int g = y < 8 ? 200 : 60;
      const uint8_t* p = Pixel(x, y);
      ASSERT_EQ(p[0], g) << x << "," << y;
      ASSERT_EQ(p[1], g);
      ASSERT_EQ(p[2], g);
      ASSERT_EQ(p[3], 0);
    }
  }
  const FrameHeader& h = *frame.frameHeader;
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, 48);
  EXPECT_EQ(h.biHeight, -16) << "top-down until flipped";
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, 32);
  EXPECT_EQ(h.biCompression, 0u);
  EXPECT_EQ(h.biSizeImage, 0u);
}

TEST_F(FrameDecode, GrayPictureNarrowerThanFortyPixelsFailsButReportsItsSize) {
  EXPECT_TRUE(Decode(GrayPicture(40, {128})));
  EXPECT_FALSE(Decode(GrayPicture(39, {128})));
  EXPECT_TRUE(sizeChanged);
  EXPECT_EQ(frame.frameWidth, 39u);
  EXPECT_EQ(frame.frameHeight, 8u);
}

TEST_F(FrameDecode, ColourPictureUsesVideoRangeAndAlpha255) {
  struct Case {
    int y, cb, cr;
  };
  for (const Case& c : {Case{100, 128, 128}, Case{235, 128, 128}, Case{16, 128, 128},
                        Case{81, 90, 240}, Case{145, 54, 34}}) {
    ASSERT_TRUE(Decode(FlatPicture({c.y, c.cb, c.cr}))) << c.y;
    const int r = VideoRange(c.y, 104593.0 * (c.cr - 128));
    const int g = VideoRange(c.y, -25689.0 * (c.cb - 128) - 53279.0 * (c.cr - 128));
    const int b = VideoRange(c.y, 132184.0 * (c.cb - 128));
    for (int i = 0; i < 16 * 8; ++i) {
      const uint8_t* p = frame.frameBits + i * 4;
      // Levels 1-3 may round the video range differently in the last bit.
      ASSERT_NEAR(p[0], b, 1) << c.y << " " << c.cb << " " << c.cr;
      ASSERT_NEAR(p[1], g, 1);
      ASSERT_NEAR(p[2], r, 1);
      ASSERT_EQ(p[3], 255);
    }
  }
}

TEST_F(FrameDecode, BuffersAreReusedWhileTheSizeStays) {
  ASSERT_TRUE(Decode(GrayPicture(64, {10})));
  const uint8_t* bits = frame.frameBits;
  const FrameHeader* header = frame.frameHeader;
  ASSERT_TRUE(Decode(GrayPicture(64, {20})));
  EXPECT_FALSE(sizeChanged);
  EXPECT_EQ(frame.frameBits, bits);
  EXPECT_EQ(frame.frameHeader, header);
  ASSERT_TRUE(Decode(GrayPicture(64, {20, 30})));
  EXPECT_TRUE(sizeChanged);
  EXPECT_EQ(frame.frameHeight, 16u);
}

TEST_F(FrameDecode, RefusesWhatTheViewerCannotShow) {
  struct Case {
    const char* name;
    Bytes sample;
  };
  JpegBuilder twoComponents;
  twoComponents.Soi().Dqt8(0, 1).Sof(0xC0, 8, 16, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}}).StandardDht();
  twoComponents.Sos({{1, 0, 0}, {2, 0, 0}}).Raw(DcOnlyScan({{0, 1}, {1, 1}, {0, 1}, {1, 1}})).Eoi();
  JpegBuilder twelveBit;
  twelveBit.Soi().Dqt8(0, 1).Sof(0xC1, 12, 16, 8, {{1, 1, 1, 0}}).StandardDht();
  twelveBit.Sos({{1, 0, 0}}).Raw(DcOnlyScan({{0, 1}, {0, 1}})).Eoi();
  JpegBuilder noFrame;
  noFrame.Soi().Dqt8(0, 1).Eoi();
  const Case cases[] = {{"empty", {}},
                        {"not a JPEG", {1, 2, 3, 4, 5}},
                        {"no frame header", noFrame.bytes()},
                        {"two components", twoComponents.bytes()},
                        {"12-bit samples", twelveBit.bytes()}};
  for (const Case& c : cases) EXPECT_FALSE(Decode(c.sample)) << c.name;
  EXPECT_FALSE(DecodeViewerFrame(&decoder, nullptr, 100, &frame, &sizeChanged));
}

TEST_F(FrameDecode, FlipBringsTheBottomRowFirst) {
  ASSERT_TRUE(Decode(GrayPicture(48, {200, 60})));
  FlipFrameRows(&frame);
  EXPECT_EQ(frame.frameHeader->biHeight, 16);
  EXPECT_EQ(Pixel(0, 0)[0], 60);
  EXPECT_EQ(Pixel(47, 7)[1], 60);
  EXPECT_EQ(Pixel(0, 8)[2], 200);
  EXPECT_EQ(Pixel(47, 15)[0], 200);
}

TEST_F(FrameDecode, EveryTruncationEndsCleanly) {
  const Bytes whole = FlatPicture({90, 100, 110});
  for (size_t n = 0; n < whole.size(); ++n) {
    const Bytes cut(whole.begin(), whole.begin() + n);
    Decode(cut);  // success or failure; never a crash, a hang or a stray write
  }
  EXPECT_TRUE(Decode(whole));
}

}  // namespace
