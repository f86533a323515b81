// Lossless frames (2..16 bits, predictors 1..7, point transform, restarts,
// interleaved and one-scan-per-component) made by a small test-side encoder
// that follows T.81 Annex H directly: whatever it encodes must come back
// exactly (shifted by the point transform), in 16-bit output.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "entropy_test_util.h"
#include "jpeg_builder_util.h"

namespace vv::test {
namespace {

// Canonical code: the 17 difference categories 0..16, all 5 bits long.
const uint8_t kBits[16] = {0, 0, 0, 0, 17};
const uint8_t kValues[256] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

void PutDifference(BitSink* out, int difference) {
  difference &= 0xFFFF;
  if (difference >= 0x8000) difference -= 0x10000;  // -32768 stands for 32768
  if (difference == -32768) {
    out->Put(16, 5);
    return;
  }
  const int magnitude = difference < 0 ? -difference : difference;
  int category = 0;
  while ((1 << category) <= magnitude) ++category;
  out->Put(static_cast<uint32_t>(category), 5);
  if (category > 0) {
    const int bits = difference < 0 ? difference + (1 << category) - 1 : difference;
    out->Put(static_cast<uint32_t>(bits), category);
  }
}

// Prediction of T.81 Table H.1 for sample (x, y) of plane p (already shifted
// right by the point transform), `first` when y is the first line of the
// scan or of a restart interval.
int Predict(const std::vector<int>& p, int width, int x, int y, bool first, int predictor, int precision, int pt) {
  if (first && x == 0) return 1 << (precision - pt - 1);
  if (first) return p[y * width + x - 1];
  if (x == 0) return p[(y - 1) * width];
  const int ra = p[y * width + x - 1], rb = p[(y - 1) * width + x], rc = p[(y - 1) * width + x - 1];
  switch (predictor) {
    case 1: return ra;
    case 2: return rb;
    case 3: return rc;
    case 4: return ra + rb - rc;
    case 5: return ra + ((rb - rc) >> 1);
    case 6: return rb + ((ra - rc) >> 1);
    default: return (ra + rb) >> 1;
  }
}

struct LosslessCase {
  int precision, predictor, pt, components, width, height;
  bool separateScans;
  int restartRows;  // 0: no restarts; else an RST after every this many rows
};

Bytes EncodeLossless(const LosslessCase& c, const std::vector<std::vector<int>>& planes) {
  JpegBuilder builder;
  builder.Soi();
  std::vector<FrameComponentSpec> frame;
  for (int k = 0; k < c.components; ++k) frame.push_back({uint8_t(k + 1), 1, 1, 0});
  builder.Sof(0xC3, c.precision, c.width, c.height, frame);
  builder.Segment(0xC4, DhtBody(0, 0, kBits, kValues));
  if (c.restartRows) builder.Dri(c.restartRows * c.width);
  const int scans = c.separateScans ? c.components : 1;
  for (int s = 0; s < scans; ++s) {
    std::vector<ScanComponentSpec> listed;
    for (int k = 0; k < c.components; ++k) {
      if (!c.separateScans || k == s) listed.push_back({uint8_t(k + 1), 0, 0});
    }
    builder.Sos(listed, c.predictor, 0, 0, c.pt);
    BitSink out;
    int restarts = 0;
    for (int y = 0; y < c.height; ++y) {
      const bool first = y == 0 || (c.restartRows && y % c.restartRows == 0);
      if (y > 0 && first) {
        out.Pad();
        out.bytes.insert(out.bytes.end(), {0xFF, uint8_t(0xD0 + (restarts++ & 7))});
      }
      for (int x = 0; x < c.width; ++x) {
        for (const ScanComponentSpec& component : listed) {
          const std::vector<int>& p = planes[component.id - 1];
          const int prediction = Predict(p, c.width, x, y, first, c.predictor, c.precision, c.pt);
          PutDifference(&out, p[y * c.width + x] - prediction);
        }
      }
    }
    out.Pad();
    builder.Raw(out.bytes);
  }
  return builder.Eoi().bytes();
}

TEST(DecoderLossless, RoundTripsEveryPredictorPrecisionAndLayout) {
  const LosslessCase cases[] = {
      {8, 1, 0, 1, 17, 9, false, 0},   {8, 2, 0, 3, 33, 7, false, 0},  {8, 3, 0, 3, 20, 6, true, 0},
      {8, 4, 1, 1, 31, 5, false, 2},   {12, 5, 0, 3, 19, 11, false, 3}, {12, 6, 2, 1, 40, 8, false, 0},
      {12, 7, 0, 3, 9, 9, true, 1},    {16, 1, 0, 1, 25, 4, false, 0}, {16, 4, 0, 3, 13, 6, false, 2},
      {2, 1, 0, 1, 10, 10, false, 0},  {2, 7, 1, 3, 7, 5, false, 0},   {15, 7, 3, 1, 70, 3, false, 1},
      {10, 5, 0, 3, 100, 2, true, 0},  {16, 2, 0, 1, 1, 1, false, 0},
  };
  for (const LosslessCase& c : cases) {
    std::vector<std::vector<int>> planes(c.components, std::vector<int>(c.width * c.height));
    uint32_t noise = 7u + static_cast<uint32_t>(c.precision * 31 + c.predictor);
    const int top = (1 << (c.precision - c.pt)) - 1;
    for (int k = 0; k < c.components; ++k) {
      for (int i = 0; i < c.width * c.height; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int smooth = (i % c.width) * top / (c.width + 1) + k * top / 8;
        const int jitter = static_cast<int>((noise >> 16) % 9) - 4;
        planes[k][i] = std::min(top, std::max(0, smooth + jitter));
      }
    }
    const Bytes jpeg = EncodeLossless(c, planes);
    OutputRequest request;
    request.dstColor = c.components == 1 ? 1 : 0;
    request.dstPrecision = 16;
    const DecodedPicture out = DecodeJpeg(jpeg, request);
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
// output as the low byte of each sample, 16-bit output as it is; planar
// output has no lossless form and is refused before anything is written.
TEST(DecoderLossless, FullSizeAtEveryScaleRequestAndNoPlanarForm) {
  const LosslessCase c{12, 1, 0, 1, 100, 24, false, 0};
  std::vector<std::vector<int>> planes(1, std::vector<int>(c.width * c.height));
  for (int i = 0; i < c.width * c.height; ++i) planes[0][i] = (i * 37) & 4095;
  const Bytes jpeg = EncodeLossless(c, planes);
  for (const int precision : {8, 16}) {
    for (const int scale : {0, 2}) {
      OutputRequest request;
      request.dstColor = 1;
      request.scale = scale;
      request.dstPrecision = precision;
      request.planarOutput = 1;
      EXPECT_EQ(DecodeJpeg(jpeg, request).status, -1);
      request.planarOutput = 0;
      const DecodedPicture out = DecodeJpeg(jpeg, request);
      ASSERT_EQ(out.status, 0);
      ASSERT_EQ(out.width, c.width);
      for (size_t i = out.pixels.size() - 64; i < out.pixels.size(); ++i) ASSERT_EQ(out.pixels[i], 0xA5);
      for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
          const int want = planes[0][y * c.width + x];
          const uint8_t* p = &out.pixels[y * out.step];
          const int got = precision == 8 ? p[x] : reinterpret_cast<const uint16_t*>(p)[x];
          ASSERT_EQ(got, precision == 8 ? want & 255 : want) << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace vv::test
