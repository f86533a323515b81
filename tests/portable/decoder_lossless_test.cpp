// Lossless frames made by the test-side Annex H encoder must come back
// exactly (shifted by the point transform).
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
  // Precisions 8 and 16 without point transform or restarts are in the
  // conformance corpus.
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

// Full size whatever the scale, 8-bit output as the low byte of each
// sample; planar output refused.
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
