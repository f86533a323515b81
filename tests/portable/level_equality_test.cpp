// Primitives whose arithmetic is exact at every processor level: each vector
// level must give level 0's bits. (The vector levels' video-range colour
// conversion, which may differ in the last bit, is held to its own formula
// in colour_test.) Levels above what this processor has are skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/fdct.h"
#include "primitives/processor_level.h"
#include "primitives/quant_tables.h"

namespace vv {
namespace {

// The level this processor supports, as the library would select it.
int32_t SupportedLevel() {
  const int32_t before = ProcessorLevel();
  SelectProcessorLevel();
  const int32_t supported = ProcessorLevel();
  ForceProcessorLevelForTesting(before);
  return supported;
}

TEST(LevelEquality, ForwardDctMatchesLevelZeroBitForBit) {
  // Flat, extreme and noisy blocks: the column pass's 32-bit sums come
  // nearest their limits on 0/255 patterns, and quantisation must round
  // alike on every tie.
  std::mt19937 random(20261206);
  std::vector<uint8_t> blocks;
  for (int b = 0; b < 4000; ++b) {
    for (int i = 0; i < 64; ++i) {
      const int kind = b % 4;
      const uint8_t noise = static_cast<uint8_t>(random());
      blocks.push_back(kind == 0   ? static_cast<uint8_t>(b)
                       : kind == 1 ? static_cast<uint8_t>((noise & 1) * 255)
                       : kind == 2 ? static_cast<uint8_t>(((i ^ (i >> 3)) & 1) * 255)
                                   : noise);
    }
  }
  uint8_t quant[64];
  uint16_t tables[2][64];
  std::memcpy(quant, kStdLuminanceQuant, 64);
  ASSERT_EQ(ScaleQuantTable8u(quant, 90), StatusOk);
  ASSERT_EQ(BuildQuantTableFwd8u(quant, tables[0]), StatusOk);
  std::fill(quant, quant + 64, 1);
  ASSERT_EQ(BuildQuantTableFwd8u(quant, tables[1]), StatusOk);

  const int32_t selected = ProcessorLevel();
  const int32_t blockCount = static_cast<int32_t>(blocks.size() / 64);
  std::vector<int16_t> expected(blocks.size()), got(blocks.size());
  for (const uint16_t* table : tables) {
    ForceProcessorLevelForTesting(0);
    for (int32_t b = 0; b < blockCount; ++b) {
      ASSERT_EQ(FdctQuant8x8FromU8(&expected[64 * b], &blocks[64 * b], 8, table), StatusOk);
    }
    for (int32_t level = 1; level <= SupportedLevel(); ++level) {
      ForceProcessorLevelForTesting(level);
      for (int32_t b = 0; b < blockCount; ++b) {
        ASSERT_EQ(FdctQuant8x8FromU8(&got[64 * b], &blocks[64 * b], 8, table), StatusOk);
      }
      ASSERT_EQ(got, expected) << "level " << level;
    }
  }
  ForceProcessorLevelForTesting(selected);
}

}  // namespace
}  // namespace vv
