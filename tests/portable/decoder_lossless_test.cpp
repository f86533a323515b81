// Lossless frames (2..16 bits, predictors 1..7, point transform, restarts,
// interleaved and one-scan-per-component) made by the test-side encoder of
// jpeg_builder_util, which follows T.81 Annex H directly: whatever it encodes
// must come back exactly (shifted by the point transform).
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "jpeg_builder_util.h"

namespace vv::test {
namespace {

// Catches wrong predictors, prediction resets at restarts and per scan, and
// point-transform or precision handling.
TEST(DecoderLossless, RoundTripsEveryPredictorPrecisionAndLayout) {
  struct Case {
    int precision, predictor, pt, components, width, height;
    bool separateScans;
    int restartRows;
  } const cases[] = {
      {8, 1, 0, 1, 17, 9, false, 0},   {8, 2, 0, 3, 33, 7, false, 0},  {8, 3, 0, 3, 20, 6, true, 0},
      {8, 4, 1, 1, 31, 5, false, 2},   {12, 5, 0, 3, 19, 11, false, 3}, {12, 6, 2, 1, 40, 8, false, 0},
      {12, 7, 0, 3, 9, 9, true, 1},    {16, 1, 0, 1, 25, 4, false, 0}, {16, 4, 0, 3, 13, 6, false, 2},
      {2, 1, 0, 1, 10, 10, false, 0},  {2, 7, 1, 3, 7, 5, false, 0},   {15, 7, 3, 1, 70, 3, false, 1},
      {10, 5, 0, 3, 100, 2, true, 0},  {16, 2, 0, 1, 1, 1, false, 0},
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

// Lossless frames come at full size whatever scale is asked for, 8-bit
// output as the low byte of each sample; planar output has no lossless form
// and is refused.
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

}  // namespace
}  // namespace vv::test
