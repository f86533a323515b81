// Quality scaling, the zig-zag reordering of DQT tables (T.81 Figure A.6)
// and the Q15 reciprocal table.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "primitives/quant_tables.h"

namespace {

using namespace vv;

TEST(ScaleQuantTable, FixedPointsOfTheQualityScale) {
  uint8_t everyValue[64];
  const struct {
    int32_t quality;
    int (*expected)(int v);
  } cases[] = {
      {50, [](int v) { return v == 0 ? 1 : v; }},
      {1, [](int v) { return v == 0 ? 1 : std::min(50 * v, 255); }},
      {100, [](int) { return 1; }},
      {INT_MAX, [](int) { return 1; }},
      {75, [](int v) { return std::max((v * 50 + 50) / 100, 1); }},  // scale 200 - 150 = 50
      {10, [](int v) { return std::min(std::max((v * 500 + 50) / 100, 1), 255); }},  // 5000 / 10
  };
  for (const auto& c : cases) {
    for (int start = 0; start < 256; start += 64) {
      for (int i = 0; i < 64; ++i) everyValue[i] = static_cast<uint8_t>(start + i);
      ASSERT_EQ(ScaleQuantTable8u(everyValue, c.quality), StatusOk);
      for (int i = 0; i < 64; ++i)
        ASSERT_EQ(everyValue[i], c.expected(start + i)) << "quality " << c.quality << " v " << start + i;
    }
  }
}

// Spot positions of T.81 Figure A.6: natural index (row-major) and the
// zig-zag position that lands there.
struct ZigzagSpot {
  int natural, zigzag;
};
const ZigzagSpot kZigzagSpots[] = {{0, 0},   {1, 1},   {8, 2},   {16, 3},  {9, 4},
                                   {2, 5},   {7, 28},  {56, 35}, {63, 63}, {62, 62},
                                   {55, 61}, {57, 36}, {15, 42}, {48, 21}, {6, 27}};

TEST(QuantTables, DequantAndQ15ReciprocalTablesInNaturalOrder) {
  for (int base = 0; base < 256; base += 64) {
    uint8_t zigzag[64];
    for (int i = 0; i < 64; ++i) zigzag[i] = static_cast<uint8_t>(std::max(base + i, 1));
    uint16_t natural[64], reciprocals[64];
    ASSERT_EQ(BuildDequantTable8u(zigzag, natural), StatusOk);
    ASSERT_EQ(BuildQuantTableFwd8u(zigzag, reciprocals), StatusOk);
    for (const ZigzagSpot& spot : kZigzagSpots) {
      EXPECT_EQ(natural[spot.natural], zigzag[spot.zigzag]) << spot.natural;
      EXPECT_EQ(reciprocals[spot.natural], std::floor(32768.0 / zigzag[spot.zigzag] + 0.5)) << spot.natural;
    }
    int sum = 0, expectedSum = 0;
    for (int i = 0; i < 64; ++i) sum += natural[i], expectedSum += zigzag[i];
    EXPECT_EQ(sum, expectedSum);  // a permutation, nothing dropped or doubled
  }
}

}  // namespace
