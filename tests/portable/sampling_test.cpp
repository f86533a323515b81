// Row down- and upsampling against the filter definitions, one expression
// per output sample with the row's ends replicated; catches rounding-bias
// and edge faults.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "primitives/sampling.h"

namespace {

using namespace vv;

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
    // Triangle filter 3/4 nearer, 1/4 further sample; biases 1, 2 (H2) and
    // 8, 7 (H2V2, rows weighted 3:1 too).
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
