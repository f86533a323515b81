// The viewer's decode path on lossless pictures whose pixels are known
// exactly: gray widening, the row flip, the width and component rules.
#include <gtest/gtest.h>

#include <vector>

#include "jpeg/frame_decode.h"
#include "jpeg_builder_util.h"

namespace {

using namespace vv;
using namespace vv::test;

// A `width` wide picture whose rows of 8 lines are flat with the given values.
Bytes Picture(int width, const std::vector<int>& rowValues, int components = 1, int precision = 8) {
  LosslessFrame f;
  f.precision = precision;
  f.width = width;
  f.height = 8 * static_cast<int>(rowValues.size());
  std::vector<int> plane;
  for (int v : rowValues) plane.insert(plane.end(), 8 * width, v);
  return EncodeLossless(f, std::vector<std::vector<int>>(components, plane));
}

TEST(FrameDecode, GrayIsWidenedAndFlippedAndOddFramesRefused) {
  CJPEGDecoder decoder;
  FrameBuffers frame;
  bool sizeChanged = false;
  const auto decode = [&](const Bytes& b) {
    return DecodeViewerFrame(&decoder, b.data(), static_cast<uint32_t>(b.size()), &frame, &sizeChanged);
  };
  // Gray becomes g, g, g, 0 top-down; the flip brings the bottom row first.
  ASSERT_TRUE(decode(Picture(48, {200, 60})));
  EXPECT_TRUE(sizeChanged);
  EXPECT_EQ(frame.frameWidth, 48u);
  EXPECT_EQ(frame.frameHeight, 16u);
  EXPECT_EQ(frame.frameSize, 48u * 16 * 4);
  EXPECT_EQ(frame.frameHeader->biHeight, -16);
  for (bool flipped : {false, true}) {
    if (flipped) FlipFrameRows(&frame);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 48; ++x) {
        const int g = (y < 8) != flipped ? 200 : 60;
        const uint8_t* p = frame.frameBits + (y * 48 + x) * 4;
        ASSERT_TRUE(p[0] == g && p[1] == g && p[2] == g && p[3] == 0) << x << "," << y << " " << flipped;
      }
    }
  }
  EXPECT_EQ(frame.frameHeader->biHeight, 16);
  // Gray narrower than 40 pixels fails but reports its size.
  EXPECT_TRUE(decode(Picture(40, {128})));
  EXPECT_FALSE(decode(Picture(39, {128})));
  EXPECT_TRUE(sizeChanged);
  EXPECT_EQ(frame.frameWidth, 39u);
  EXPECT_EQ(frame.frameHeight, 8u);
  EXPECT_FALSE(decode({1, 2, 3, 4, 5})) << "not a JPEG";
  EXPECT_FALSE(decode(Picture(48, {1}, 2))) << "two components";
  EXPECT_FALSE(decode(Picture(48, {1}, 1, 12))) << "12-bit samples";
  ReleaseFrameBuffers(&frame);
}

}  // namespace
