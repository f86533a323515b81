// Colour converters against the JFIF and BT.601 equations in double precision, over every triple;
// chroma resampling against the filter definitions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "primitives/colour.h"
#include "primitives/processor_level.h"
#include "primitives/sampling.h"
#include "processor_levels_util.h"

namespace {

using namespace vv;

double Clamp255(double v) { return std::min(255.0, std::max(0.0, v)); }

struct Rgb {
  double r, g, b;
};

// JFIF (ITU-T T.871) full-range equations.
Rgb JfifToRgb(int y, int cb, int cr) {
  return {Clamp255(y + 1.402 * (cr - 128)),
          Clamp255(y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128)),
          Clamp255(y + 1.772 * (cb - 128))};
}

// BT.601 studio swing, derived from Kr and Kb rather than copied constants.
Rgb Bt601VideoToRgb(int y, int cb, int cr) {
  const double kr = 0.299, kb = 0.114, kg = 1 - kr - kb;
  const double luma = 255.0 / 219.0 * (y - 16), pb = 255.0 / 224.0 * (cb - 128),
               pr = 255.0 / 224.0 * (cr - 128);
  return {Clamp255(luma + 2 * (1 - kr) * pr),
          Clamp255(luma - 2 * (1 - kb) * kb / kg * pb - 2 * (1 - kr) * kr / kg * pr),
          Clamp255(luma + 2 * (1 - kb) * pb)};
}

// One luma, Cb along the rows, Cr down the columns: every chroma pair at every clamping boundary.
struct ChromaSweep {
  std::vector<uint8_t> y = std::vector<uint8_t>(256 * 256), cb = y, cr = y;
  explicit ChromaSweep(int luma) {
    for (int i = 0; i < 256 * 256; ++i) {
      y[i] = static_cast<uint8_t>(luma);
      cb[i] = static_cast<uint8_t>(i & 255);
      cr[i] = static_cast<uint8_t>(i >> 8);
    }
  }
  const uint8_t* planes[4] = {y.data(), cb.data(), cr.data(), nullptr};
};

// Beside the rounding of the result, a few thousandths for 16-bit constants.
constexpr double kRoundedToNearest = 0.51;

TEST(ColourConversion, FullRangeDecodingRoundsTheJfifEquations) {
  std::vector<uint8_t> rgb(256 * 256 * 3), bgr(rgb.size()), cmyk(256 * 256 * 4);
  for (int luma = 0; luma < 256; luma += 5) {
    ChromaSweep sweep(luma);
    std::vector<uint8_t> k(256 * 256, static_cast<uint8_t>(luma ^ 0x5A));
    sweep.planes[3] = k.data();
    ASSERT_EQ(YCbCrToRgb(sweep.planes, 256, rgb.data(), 256 * 3, {256, 256}), StatusOk);
    ASSERT_EQ(YCbCrToBgr(sweep.planes, 256, bgr.data(), 256 * 3, {256, 256}), StatusOk);
    ASSERT_EQ(YcckToCmyk(sweep.planes, 256, cmyk.data(), 256 * 4, {256, 256}), StatusOk);
    for (int i = 0; i < 256 * 256; ++i) {
      const Rgb want = JfifToRgb(luma, sweep.cb[i], sweep.cr[i]);
      const double wanted[3] = {want.r, want.g, want.b};
      for (int c = 0; c < 3; ++c) {
        ASSERT_NEAR(rgb[3 * i + c], wanted[c], kRoundedToNearest)
            << "Y " << luma << " Cb " << +sweep.cb[i] << " Cr " << +sweep.cr[i] << " component " << c;
        ASSERT_EQ(bgr[3 * i + 2 - c], rgb[3 * i + c]);
        ASSERT_EQ(cmyk[4 * i + c], 255 - rgb[3 * i + c]);
      }
      ASSERT_EQ(cmyk[4 * i + 3], k[i]);
    }
  }
}

// Every level bit-equal to level 0; width 245 leaves a tail that is not a whole vector.
TEST(ColourConversion, FullRangeEncodingRoundsTheJfifEquationsAtEveryLevel) {
  std::vector<uint8_t> bgr(256 * 256 * 3), y(256 * 256), cb(y.size()), cr(y.size());
  uint8_t* planes[3] = {y.data(), cb.data(), cr.data()};
  std::vector<std::vector<uint8_t>> levelZero[2];
  for (int red = 0; red < 256; red += 5) {
    for (int i = 0; i < 256 * 256; ++i) {
      bgr[3 * i] = static_cast<uint8_t>(i & 255);   // blue along the row
      bgr[3 * i + 1] = static_cast<uint8_t>(i >> 8);  // green down the columns
      bgr[3 * i + 2] = static_cast<uint8_t>(red);
    }
    vv::test::AtEveryLevel([&](int32_t level) {
      const ImageSize sizes[2] = {{245, 3}, {256, 256}};
      for (int n = 0; n < 2; ++n) {
        const ImageSize size = sizes[n];
        for (std::vector<uint8_t>* plane : {&y, &cb, &cr}) std::fill(plane->begin(), plane->end(), 0);
        ASSERT_EQ(BgrToYCbCr(bgr.data(), 256 * 3, planes, 256, size), StatusOk);
        if (level == 0) levelZero[n] = {y, cb, cr};
        ASSERT_TRUE(levelZero[n] == std::vector<std::vector<uint8_t>>({y, cb, cr})) << "level " << level << " width " << size.width;
      }
    });
    for (int i = 0; i < 256 * 256; ++i) {
      const double b = bgr[3 * i], g = bgr[3 * i + 1], r = red;
      ASSERT_NEAR(y[i], 0.299 * r + 0.587 * g + 0.114 * b, kRoundedToNearest) << r << " " << g << " " << b;
      ASSERT_NEAR(cb[i], -0.16874 * r - 0.33126 * g + 0.5 * b + 128, kRoundedToNearest);
      ASSERT_NEAR(cr[i], 0.5 * r - 0.41869 * g - 0.08131 * b + 128, kRoundedToNearest);
    }
  }
}

// Level 0 is the integer formula itself for all 2^24 inputs,
// R = (76282 (Y - 16) + 104593 (Cr - 128) + 32768) >> 16 and likewise; every
// level is within 1 of BT.601, and its whole vectors equal its one-pixel path.
TEST(ColourConversion, VideoRangeIsTheIntegerFormulaAtLevelZeroAndFollowsBt601AtEveryLevel) {
  const int32_t selected = ProcessorLevel();
  std::vector<uint8_t> rgba(256 * 256 * 4), bgra(rgba.size()), narrow(rgba.size());
  for (int32_t level = 0; level < kLevelTableSize; ++level) {
    ForceProcessorLevelForTesting(level);
    for (int luma = 0; luma < 256; luma += level == 0 ? 1 : 17) {
      ChromaSweep sweep(luma);
      ASSERT_EQ(YCbCrToRgbaVideo(sweep.planes, 256, rgba.data(), 256 * 4, {256, 256}, 0x7E), StatusOk);
      ASSERT_EQ(YCbCrToBgraVideo(sweep.planes, 256, bgra.data(), 256 * 4, {256, 256}, 0x81), StatusOk);
      // 15-pixel strips go one pixel at a time.
      for (int x = 0; x < 256; x += 15) {
        const uint8_t* strip[3] = {sweep.planes[0] + x, sweep.planes[1] + x, sweep.planes[2] + x};
        ASSERT_EQ(YCbCrToRgbaVideo(strip, 256, narrow.data() + 4 * x, 256 * 4, {std::min(15, 256 - x), 256}, 0x7E),
                  StatusOk);
      }
      ASSERT_TRUE(narrow == rgba) << "level " << level << " Y " << luma;
      const int y = 76282 * (luma - 16) + 32768;
      for (int i = 0; i < 256 * 256; ++i) {
        const int u = sweep.cb[i] - 128, v = sweep.cr[i] - 128;
        const Rgb real = Bt601VideoToRgb(luma, sweep.cb[i], sweep.cr[i]);
        const double wanted[3] = {real.r, real.g, real.b};
        const int exact[3] = {(y + 104593 * v) >> 16, (y - 25689 * u - 53279 * v) >> 16, (y + 132184 * u) >> 16};
        for (int c = 0; c < 3; ++c) {
          const int got = rgba[4 * i + c];
          if (level == 0) {
            ASSERT_EQ(got, std::clamp(exact[c], 0, 255)) << luma << " " << u << " " << v;
          }
          ASSERT_NEAR(got, wanted[c], 1.0) << "level " << level << " Y " << luma << " Cb " << u << " Cr " << v;
          ASSERT_EQ(bgra[4 * i + 2 - c], got);
        }
        ASSERT_EQ(rgba[4 * i + 3], 0x7E);
        ASSERT_EQ(bgra[4 * i + 3], 0x81);
      }
    }
  }
  ForceProcessorLevelForTesting(selected);
}

// Row down- and upsampling against the filter definitions (ends replicated): rounding-bias and edge faults.
TEST(Sampling, RowsFollowTheFilterDefinitions) {
  constexpr uint8_t kGuard = 0xC3;
  std::mt19937 random(11);
  const auto row = [&](int width) {
    std::vector<uint8_t> r(width);
    for (auto& v : r) v = static_cast<uint8_t>(random());
    if (width % 3 == 0) {  // only extremes, where rounding biases show most
      for (auto& v : r) v = v & 1 ? 255 : 0;
    }
    return r;
  };
  for (int width = 1; width <= 41; ++width) {
    SCOPED_TRACE(width);
    const std::vector<uint8_t> in = row(width), far = row(width);
    const auto at = [&](const std::vector<uint8_t>& r, int i) { return int(r[std::clamp(i, 0, width - 1)]); };
    // Pairs averaged with a bias alternating 0, 1; an odd end pairs with itself.
    std::vector<uint8_t> out((width + 1) / 2 + 1, kGuard);
    ASSERT_EQ(DownsampleRowH2(in.data(), width, out.data()), StatusOk);
    for (int j = 0; j < (width + 1) / 2; ++j) EXPECT_EQ(out[j], (at(in, 2 * j) + at(in, 2 * j + 1) + j % 2) / 2) << j;
    EXPECT_EQ(out.back(), kGuard);
    // Triangle filter 3:1; biases 1, 2 (H2) and 8, 7 (H2V2, rows 3:1 too).
    out.assign(2 * width + 1, kGuard);
    std::vector<uint8_t> out2 = out;
    ASSERT_EQ(UpsampleRowH2(in.data(), width, out.data()), StatusOk);
    ASSERT_EQ(UpsampleRowH2V2(in.data(), far.data(), width, out2.data()), StatusOk);
    const auto column = [&](int c) { return 3 * at(in, c) + at(far, c); };
    for (int o = 0; o < 2 * width; ++o) {
      const int c = o / 2, n = o % 2 ? c + 1 : c - 1;
      EXPECT_EQ(out[o], (3 * at(in, c) + at(in, n) + (o % 2 ? 2 : 1)) / 4) << o;
      EXPECT_EQ(out2[o], (3 * column(c) + column(std::clamp(n, 0, width - 1)) + (o % 2 ? 7 : 8)) / 16) << o;
    }
    EXPECT_EQ(out[2 * width], kGuard);
    EXPECT_EQ(out2[2 * width], kGuard);
  }
}

}  // namespace
