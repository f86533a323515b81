// Lossless frames from the test-side Annex H encoder come back exactly (shifted by the point transform).
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "jpeg/frame_decode.h"
#include "jpeg_builder_util.h"

namespace vv::test {
namespace {

// Catches predictor, restart/scan reset, point-transform and precision faults (plain 8/16 bit: conformance).
TEST(DecoderLossless, RoundTripsEveryPredictorPrecisionAndLayout) {
  struct Case {
    int precision, predictor, pt, components, width, height;
    bool separateScans;
    int restartRows;
  } const cases[] = {
      {8, 2, 0, 3, 33, 7, false, 0},  {8, 3, 0, 3, 20, 6, true, 0},   {8, 4, 1, 1, 31, 5, false, 2},
      {12, 5, 0, 3, 19, 11, false, 3}, {12, 6, 2, 1, 40, 8, false, 0}, {12, 7, 0, 3, 9, 9, true, 1},
      {16, 4, 0, 3, 13, 6, false, 2}, {2, 7, 1, 3, 7, 5, false, 0},   {15, 7, 3, 1, 70, 3, false, 1},
      {16, 2, 0, 1, 1, 1, false, 0},
  };
  for (const Case& c : cases) {
    const LosslessFrame f{c.precision, c.predictor, c.pt, c.width, c.height, c.separateScans, c.restartRows};
    std::vector<std::vector<int>> planes(c.components, std::vector<int>(c.width * c.height));
    uint32_t noise = 7u + static_cast<uint32_t>(c.precision * 31 + c.predictor);
    const int top = (1 << (c.precision - c.pt)) - 1;
    for (int k = 0; k < c.components; ++k) {
      for (int i = 0; i < c.width * c.height; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int smooth = (i % c.width) * top / (c.width + 1) + k * top / 8;
        planes[k][i] = std::min(top, std::max(0, smooth + static_cast<int>((noise >> 16) % 9) - 4));
      }
    }
    OutputRequest request;
    request.dstColor = c.components == 1 ? 1 : 0;
    request.dstPrecision = 16;
    const DecodedPicture out = DecodeJpeg(EncodeLossless(f, planes), request);
    ASSERT_EQ(out.status, 0) << "P" << c.precision << " predictor " << c.predictor;
    int wrong = 0;
    for (int y = 0; y < c.height; ++y) {
      const uint16_t* line = reinterpret_cast<const uint16_t*>(&out.pixels[y * out.step]);
      for (int x = 0; x < c.width; ++x) {
        for (int k = 0; k < c.components; ++k) {
          wrong += line[x * c.components + k] != (planes[k][y * c.width + x] << c.pt);
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "P" << c.precision << " predictor " << c.predictor << " Pt " << c.pt
                        << " Nf " << c.components << (c.separateScans ? " separate" : "");
  }
}

// Full size whatever the scale, 8-bit output the low byte of each sample, planar refused.
TEST(DecoderLossless, FullSizeAtEveryScaleRequestAndNoPlanarForm) {
  const LosslessFrame f{12, 1, 0, 100, 24};
  std::vector<std::vector<int>> planes(1, std::vector<int>(f.width * f.height));
  for (int i = 0; i < f.width * f.height; ++i) planes[0][i] = (i * 37) & 4095;
  const Bytes jpeg = EncodeLossless(f, planes);
  OutputRequest request;
  request.dstColor = 1;
  request.scale = 2;
  request.planarOutput = 1;
  EXPECT_EQ(DecodeJpeg(jpeg, request).status, -1);
  request.planarOutput = 0;
  const DecodedPicture out = DecodeJpeg(jpeg, request);
  ASSERT_EQ(out.status, 0);
  ASSERT_EQ(out.width, f.width);
  for (int y = 0; y < f.height; ++y) {
    for (int x = 0; x < f.width; ++x) {
      ASSERT_EQ(out.pixels[y * out.step + x], planes[0][y * f.width + x] & 255) << x << "," << y;
    }
  }
}

// The viewer's decode path: gray widening, row flip, width and component rules.
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
}  // namespace vv::test
