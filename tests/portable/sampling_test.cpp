// Row down- and upsampling against the filter definitions, written here as
// one expression per output sample with the row's ends replicated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "primitives/sampling.h"

namespace {

using namespace vv;

constexpr uint8_t kGuard = 0xC3;

std::vector<uint8_t> RandomRow(std::mt19937& random, int width) {
  std::vector<uint8_t> row(width);
  for (auto& v : row) v = static_cast<uint8_t>(random());
  // Some rows hold only extremes, where rounding biases show most.
  if (width % 3 == 0) {
    for (auto& v : row) v = v & 1 ? 255 : 0;
  }
  return row;
}

int Neighbour(int c, int outputIndex, int width) {
  const int n = outputIndex % 2 ? c + 1 : c - 1;
  return std::min(width - 1, std::max(0, n));
}

TEST(Sampling, DownsampleAlternatesItsRoundingBias) {
  std::mt19937 random(11);
  for (int width = 1; width <= 41; ++width) {
    const std::vector<uint8_t> in = RandomRow(random, width);
    const int outWidth = (width + 1) / 2;
    std::vector<uint8_t> out2(outWidth + 1, kGuard);
    ASSERT_EQ(DownsampleRowH2(in.data(), width, out2.data()), StatusOk);
    for (int j = 0; j < outWidth; ++j) {
      const int second = std::min(2 * j + 1, width - 1);  // an odd end pairs with itself
      EXPECT_EQ(out2[j], (in[2 * j] + in[second] + j % 2) / 2) << "width " << width << " j " << j;
    }
    EXPECT_EQ(out2[outWidth], kGuard);
  }
}

TEST(Sampling, UpsampleH2IsTheTriangleFilter) {
  std::mt19937 random(12);
  for (int width = 1; width <= 40; ++width) {
    const std::vector<uint8_t> in = RandomRow(random, width);
    std::vector<uint8_t> out(2 * width + 1, kGuard);
    ASSERT_EQ(UpsampleRowH2(in.data(), width, out.data()), StatusOk);
    for (int o = 0; o < 2 * width; ++o) {
      const int c = o / 2, bias = o % 2 ? 2 : 1;
      EXPECT_EQ(out[o], (3 * in[c] + in[Neighbour(c, o, width)] + bias) / 4) << "width " << width << " o " << o;
    }
    EXPECT_EQ(out[2 * width], kGuard);
  }
}

TEST(Sampling, UpsampleH2V2IsTheTriangleFilterBothWays) {
  std::mt19937 random(13);
  for (int width = 1; width <= 40; ++width) {
    const std::vector<uint8_t> nearRow = RandomRow(random, width), farRow = RandomRow(random, width);
    std::vector<uint8_t> out(2 * width + 1, kGuard);
    ASSERT_EQ(UpsampleRowH2V2(nearRow.data(), farRow.data(), width, out.data()), StatusOk);
    auto columnSum = [&](int c) { return 3 * nearRow[c] + farRow[c]; };
    for (int o = 0; o < 2 * width; ++o) {
      const int c = o / 2, bias = o % 2 ? 7 : 8;
      const int want = (3 * columnSum(c) + columnSum(Neighbour(c, o, width)) + bias) / 16;
      EXPECT_EQ(out[o], want) << "width " << width << " o " << o;
    }
    EXPECT_EQ(out[2 * width], kGuard);
  }
}

}  // namespace
