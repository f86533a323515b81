// The viewer's decode path: gray widening, the component rules and the row
// flip, on pictures whose pixels are known exactly.
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
  EXPECT_EQ(frame.frameHeader->biHeight, -16) << "top-down until flipped";
}

TEST_F(FrameDecode, GrayPictureNarrowerThanFortyPixelsFailsButReportsItsSize) {
  EXPECT_TRUE(Decode(GrayPicture(40, {128})));
  EXPECT_FALSE(Decode(GrayPicture(39, {128})));
  EXPECT_TRUE(sizeChanged);
  EXPECT_EQ(frame.frameWidth, 39u);
  EXPECT_EQ(frame.frameHeight, 8u);
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
  const Case cases[] = {{"not a JPEG", {1, 2, 3, 4, 5}},
                        {"two components", twoComponents.bytes()},
                        {"12-bit samples", twelveBit.bytes()}};
  for (const Case& c : cases) EXPECT_FALSE(Decode(c.sample)) << c.name;
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

}  // namespace
