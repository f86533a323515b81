// The DCTs against T.81 A.3.3 in double precision, sparse and DC-only forms against the full transform:
// changed constants, rounding and saturation faults. The quantisation tables' order and reciprocals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/fdct.h"
#include "primitives/idct.h"
#include "primitives/processor_level.h"
#include "primitives/quant_tables.h"
#include "processor_levels_util.h"

namespace {

using namespace vv;
using vv::test::AtEveryLevel;

const double kPi = 3.14159265358979323846;

// basis[u][x] = C(u) cos((2x + 1) u pi / 16), C(0) = 1/sqrt(2), else 1.
struct Basis {
  double at[8][8];
  Basis() {
    for (int u = 0; u < 8; ++u)
      for (int x = 0; x < 8; ++x)
        at[u][x] = (u == 0 ? 1 / std::sqrt(2.0) : 1.0) * std::cos((2 * x + 1) * u * kPi / 16);
  }
};
const Basis kBasis;

// inverse: s(y, x) = 1/4 sum C(u) C(v) S(v, u) cos cos, plus the level shift;
// forward: S(v, u) = 1/4 C(u) C(v) sum s(y, x) cos cos. Index 8 row + column.
void Reference(bool inverse, const double* in, double* out) {
  for (int a = 0; a < 8; ++a)
    for (int b = 0; b < 8; ++b) {
      double sum = 0;
      for (int c = 0; c < 8; ++c)
        for (int d = 0; d < 8; ++d)
          sum += inverse ? in[8 * c + d] * kBasis.at[d][b] * kBasis.at[c][a]
                         : in[8 * c + d] * kBasis.at[b][d] * kBasis.at[a][c];
      out[8 * a + b] = sum / 4 + (inverse ? 128 : 0);
    }
}

int RoundClamp(double v) { return std::clamp(static_cast<int>(std::floor(v + 0.5)), 0, 255); }

// IEEE 1180 style: exact, rounded coefficients of samples in [-range, range - 1] back within one.
TEST(InverseDct, WithinOneOnRandomBlocksOfEveryAmplitudeAtEveryLevel) {
  uint16_t ones[64];
  std::fill(ones, ones + 64, uint16_t{1});
  AtEveryLevel([&](int32_t level) {
  std::mt19937 random(2);
  for (int range : {5, 128}) {
    int worst = 0;
    double squareSum = 0, sum = 0;
    const int blocks = 20000;
    for (int n = 0; n < blocks; ++n) {
      double samples[64], exact[64], back[64];
      int16_t coefficients[64];
      uint8_t out[64];
      for (double& v : samples) v = std::clamp(static_cast<int>(random() % (2 * range)) - range, -128, 127);
      Reference(false, samples, exact);
      for (int i = 0; i < 64; ++i) exact[i] = coefficients[i] = static_cast<int16_t>(std::lround(exact[i]));
      ASSERT_EQ(DequantIdct8x8ToU8(coefficients, out, 8, ones), StatusOk);
      Reference(true, exact, back);
      for (int i = 0; i < 64; ++i) {
        const int error = out[i] - RoundClamp(back[i]);
        worst = std::max(worst, std::abs(error));
        squareSum += error * error;
        sum += error;
      }
    }
    EXPECT_LE(worst, 1) << range << " level " << level;
    EXPECT_LE(squareSum / (64.0 * blocks), 0.02) << range << " level " << level;  // IEEE 1180
    EXPECT_LE(std::fabs(sum / (64.0 * blocks)), 0.0015) << range << " level " << level;  // no bias
  }
  });
}

// Sparse forms get garbage outside their corner (not to be read); inside, extremes that saturate 16-bit
// products and overflow 32-bit sums.
TEST(InverseDct, SparseFormsAreBitEqualToTheFullTransformAtEveryLevel) {
  const struct {
    int32_t (*fn)(const int16_t*, uint8_t*, int32_t, const uint16_t*);
    int size;
  } forms[] = {{DequantIdct8x8Low4x4ToU8, 4}, {DequantIdct8x8Low2x2ToU8, 2}};
  AtEveryLevel([&](int32_t level) {
  std::mt19937 random(3);
  for (const auto& form : forms) {
    for (int n = 0; n < 50000; ++n) {
      int16_t zeroed[64] = {}, garbage[64];
      uint16_t quant[64] = {}, garbageQuant[64];
      const int amplitude = 4 << (4 * (random() % 4));  // 4 .. 16384
      for (int i = 0; i < 64; ++i) {
        garbage[i] = static_cast<int16_t>(random());
        garbageQuant[i] = static_cast<uint16_t>(random());
        if (i / 8 < form.size && i % 8 < form.size) {
          zeroed[i] = garbage[i] = static_cast<int16_t>(static_cast<int>(random() % (2 * amplitude)) - amplitude);
          quant[i] = garbageQuant[i] = static_cast<uint16_t>(random() % 4 ? 1 + random() % 64 : random());
        }
      }
      uint8_t full[64], sparse[64];
      ASSERT_EQ(DequantIdct8x8ToU8(zeroed, full, 8, quant), StatusOk);
      ASSERT_EQ(form.fn(garbage, sparse, 8, garbageQuant), StatusOk);
      ASSERT_EQ(std::memcmp(full, sparse, 64), 0) << "corner " << form.size << " block " << n << " level " << level;
    }
  }
  });
}

TEST(InverseDct, DcOnlyBlocksRoundInTheFullFormAtEveryLevelAndFloorInTheDcForm) {
  const struct {
    int16_t dc;
    uint16_t q;
  } cases[] = {{4, 1},    {-4, 1},    {-5, 1},   {7, 3},         {-7, 3},
               {1023, 1}, {-1032, 1}, {500, 100}, {32767, 65535}, {-32768, 65535}};
  for (const auto& c : cases) {
    int16_t coefficients[64] = {c.dc};
    uint16_t quant[64];
    std::fill(quant, quant + 64, uint16_t{9});  // only quant[0] matters
    quant[0] = c.q;
    const double mean = static_cast<double>(c.dc) * c.q / 8 + 128;
    uint8_t full[64], dcOnly[64];
    AtEveryLevel([&](int32_t level) {
      ASSERT_EQ(DequantIdct8x8ToU8(coefficients, full, 8, quant), StatusOk);
      for (int i = 0; i < 64; ++i) ASSERT_EQ(full[i], RoundClamp(mean)) << "dc " << c.dc << " q " << c.q << " level " << level;
    });
    ASSERT_EQ(DequantIdctDcOnlyToU8(coefficients, dcOnly, 8, quant), StatusOk);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(dcOnly[i], std::clamp(static_cast<int>(std::floor(mean)), 0, 255)) << "dc " << c.dc << " q " << c.q;
    }
  }
}

// Level 0's arithmetic written out plainly in 64 bits: rotations in their flow-graph form, sums taken
// modulo 2^32 where rounded; columns (>> 12, saturated), then rows (>> 21, + 128, clamped).
int64_t Round(int64_t v, int shift) {
  return static_cast<int32_t>(static_cast<uint32_t>(v + (int64_t{1} << (shift - 1)))) >> shift;
}
void FlowGraph(const int64_t* x, int64_t* out) {
  const int64_t s04 = (x[0] + x[4]) * 32768, d04 = (x[0] - x[4]) * 32768, r26 = (x[2] + x[6]) * 17734;
  const int64_t ev2 = r26 + x[2] * 25080, ev6 = r26 - x[6] * 60547;
  const int64_t r17 = (x[1] + x[7]) * 6393, r35 = (x[3] + x[5]) * 27246;
  const int64_t a = r17 + x[1] * 25746, b = r17 - x[7] * 38531, c = r35 - x[5] * 9041, d = r35 - x[3] * 45451;
  const int64_t o[4] = {Round(a + c, 12) * 5793, (a - c) + (b - d), (a - c) - (b - d), Round(b + d, 12) * 5793};
  const int64_t e[4] = {s04 + ev2, d04 + ev6, d04 - ev6, s04 - ev2};
  for (int k = 0; k < 4; ++k) out[k] = e[k] + o[k], out[7 - k] = e[k] - o[k];
}

// Block n of a stress series: three in eight coefficients non-zero, amplitudes 1 to 2^15, every seventh
// block of extremes only; steps up to 65535, 255 or 16.
void StressBlock(std::mt19937& random, int n, int16_t coefficients[64], uint16_t quant[64]) {
  const int amplitude = 1 << (n % 16), maxStep = n % 3 == 0 ? 65535 : n % 3 == 1 ? 255 : 16;
  for (int i = 0; i < 64; ++i) {
    const int pick = static_cast<int>(random() % 8);
    const int value = pick < 3 ? static_cast<int>(random() % (2 * amplitude)) - amplitude : 0;
    coefficients[i] = static_cast<int16_t>(n % 7 ? value : pick < 3 ? 32767 : pick < 6 ? -32768 : 0);
    quant[i] = static_cast<uint16_t>(1 + random() % maxStep);
  }
}

// The samples a separable model gives: column(in, out) on each column of dequantised coefficients
// (saturated to 16 bits), then row(in, out) on each row of its results, each pass descaling its own.
template <typename Column, typename Row>
void SeparableModel(const int16_t* coefficients, const uint16_t* quant, Column column, Row row,
                    uint8_t samples[64]) {
  int64_t columns[64], in[8], out[8];
  for (int u = 0; u < 8; ++u) {
    for (int v = 0; v < 8; ++v) in[v] = std::clamp(coefficients[8 * v + u] * quant[8 * v + u], -32768, 32767);
    column(in, out);
    for (int v = 0; v < 8; ++v) columns[8 * v + u] = out[v];
  }
  for (int y = 0; y < 8; ++y) {
    row(&columns[8 * y], out);
    for (int x = 0; x < 8; ++x) samples[8 * y + x] = static_cast<uint8_t>(std::clamp<int64_t>(out[x], 0, 255));
  }
}

// DequantIdct8x8ToU8 at `level` against a model over the stress series.
template <typename Column, typename Row>
void ExpectModelAtLevel(int32_t level, uint32_t seed, Column column, Row row) {
  const int32_t selected = ProcessorLevel();
  ForceProcessorLevelForTesting(level);
  std::mt19937 random(seed);
  for (int n = 0; n < 5000; ++n) {
    int16_t coefficients[64];
    uint16_t quant[64];
    StressBlock(random, n, coefficients, quant);
    uint8_t expected[64], actual[64];
    SeparableModel(coefficients, quant, column, row, expected);
    ASSERT_EQ(DequantIdct8x8ToU8(coefficients, actual, 8, quant), StatusOk);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(actual[i], expected[i]) << "level " << level << " block " << n << " at " << i;
  }
  ForceProcessorLevelForTesting(selected);
}

TEST(InverseDct, LevelZeroIsItsStatedArithmeticBitForBit) {
  ExpectModelAtLevel(
      0, 11,
      [](const int64_t* in, int64_t* out) {
        FlowGraph(in, out);
        for (int v = 0; v < 8; ++v) out[v] = std::clamp<int64_t>(Round(out[v], 12), -32768, 32767);
      },
      [](const int64_t* in, int64_t* out) {
        FlowGraph(in, out);
        for (int x = 0; x < 8; ++x) out[x] = Round(out[x], 21) + 128;
      });
}

// One 8-point transform as the vector levels state it: constants round(2^13 sqrt2 cos(k pi/16)) (2^13
// for the DC pair), sums of products wrapping at 32 bits, the bias on every output, an arithmetic shift
// and saturation to 16 bits.
void MultiplyAddTransform(const int64_t* x, int64_t bias, int shift, int64_t* out) {
  auto k = [](int j) { return static_cast<int64_t>(std::lround(8192 * std::sqrt(2.0) * std::cos(j * kPi / 16))); };
  const int64_t c1 = k(1), c2 = k(2), c3 = k(3), c5 = k(5), c6 = k(6), c7 = k(7);
  const int64_t s = 8192 * (x[0] + x[4]) + bias, t = 8192 * (x[0] - x[4]) + bias;
  const int64_t r2 = c2 * x[2] + c6 * x[6], r6 = c6 * x[2] - c2 * x[6];
  const int64_t e[4] = {s + r2, t + r6, t - r6, s - r2};
  const int64_t o[4] = {c1 * x[1] + c7 * x[7] + c3 * x[3] + c5 * x[5], c3 * x[1] - c5 * x[7] - c7 * x[3] - c1 * x[5],
                        c5 * x[1] + c3 * x[7] - c1 * x[3] + c7 * x[5], c7 * x[1] - c1 * x[7] - c5 * x[3] + c3 * x[5]};
  auto descale = [&](int64_t v) {
    return std::clamp<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(v)) >> shift, -32768, 32767);
  };
  for (int i = 0; i < 4; ++i) out[i] = descale(e[i] + o[i]), out[7 - i] = descale(e[i] - o[i]);
}

// The vector levels' own arithmetic (which may differ from level 0 in the last bit) held bit for bit, so
// that a constant off by one unit, invisible to the accuracy bounds, still shows.
TEST(InverseDct, VectorLevelsAreTheirMultiplyAddArithmeticBitForBit) {
  AtEveryLevel([&](int32_t level) {
    if (level == 0) return;
    ExpectModelAtLevel(
        level, 13, [](const int64_t* in, int64_t* out) { MultiplyAddTransform(in, 1 << 10, 11, out); },
        [](const int64_t* in, int64_t* out) { MultiplyAddTransform(in, (128 << 18) + (1 << 17), 18, out); });
  });
}

// value x reciprocal / 2^15, rounded half to even, saturated to 16 bits.
int QuantiseHalfToEven(int value, int reciprocal) {
  const int64_t product = int64_t{value} * reciprocal;
  int64_t quotient = product >> 15;  // floor
  const int64_t remainder = product - quotient * 32768;
  if (remainder > 16384 || (remainder == 16384 && (quotient & 1))) ++quotient;
  return static_cast<int>(std::clamp<int64_t>(quotient, -32768, 32767));
}

// Unquantised (reciprocal 32768) within one of exact, all-extreme blocks included (products reach 2^31);
// quantised by steps 1..64 exactly, ties to even.
TEST(ForwardDct, WithinOneOfTheExactTransformAndQuantisedHalfToEvenAtEveryLevel) {
  uint16_t ones[64];
  std::fill(ones, ones + 64, uint16_t{32768});
  std::mt19937 random(7);
  const int count = 50512;
  std::vector<uint8_t> blocks(64 * count);
  for (int n = 0; n < count; ++n) {
    for (int i = 0; i < 64; ++i) {
      // Rows, then columns, all 0 or all 255; then random blocks of several amplitudes.
      const int pattern = n / 2, line = n % 2 ? i % 8 : i / 8;
      const int noise = (static_cast<int>(random() % 256) - 128) >> (n % 5);
      blocks[64 * n + i] = n < 512 ? ((pattern >> line) & 1 ? 255 : 0) : static_cast<uint8_t>(128 + noise);
    }
  }
  std::vector<double> exact(blocks.size());
  for (int n = 0; n < count; ++n) {
    double samples[64];
    for (int i = 0; i < 64; ++i) samples[i] = blocks[64 * n + i] - 128.0;
    Reference(false, samples, &exact[64 * n]);
  }
  uint8_t steps[64];
  uint16_t quantised[64];
  for (int i = 0; i < 64; ++i) steps[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(BuildQuantTableFwd8u(steps, quantised), StatusOk);
  AtEveryLevel([&](int32_t level) {
    int worst = 0;
    double sum = 0, squareSum = 0;
    for (int n = 0; n < count; ++n) {
      int16_t plain[64], divided[64];
      ASSERT_EQ(FdctQuant8x8FromU8(plain, &blocks[64 * n], 8, ones), StatusOk);
      ASSERT_EQ(FdctQuant8x8FromU8(divided, &blocks[64 * n], 8, quantised), StatusOk);
      for (int i = 0; i < 64; ++i) {
        const double error = plain[i] - exact[64 * n + i];
        worst = std::max(worst, std::abs(plain[i] - static_cast<int>(std::lround(exact[64 * n + i]))));
        sum += error;
        squareSum += error * error;
        ASSERT_EQ(divided[i], QuantiseHalfToEven(plain[i], quantised[i])) << "level " << level << " block " << n;
      }
    }
    EXPECT_LE(worst, 1) << "level " << level;
    // Rounding to integers alone gives a mean square error of 1/12, no bias.
    const double values = 64.0 * count;
    EXPECT_LE(std::fabs(sum / values), 0.02) << "level " << level;
    EXPECT_LE(squareSum / values, 0.1) << "level " << level;
  });
}


// Level 0's 32-bit fixed-point flow graph written out plainly in 64 bits (row pass: plain sums x 8, products
// descaled by 2^12; column pass: plain sums by 2^6, products by 2^21), bit for bit on extreme and random blocks.
void FixedPointFdct8(const int64_t* x, int step, bool rows, int64_t* out) {
  auto at = [&](int k) { return x[k * step]; };
  auto descale = [](int64_t v, int shift) { return (v + (int64_t{1} << (shift - 1))) >> shift; };
  const int64_t a0 = at(0) + at(7), a1 = at(1) + at(6), a2 = at(2) + at(5), a3 = at(3) + at(4);
  const int64_t d0 = at(0) - at(7), d1 = at(1) - at(6), d2 = at(2) - at(5), d3 = at(3) - at(4);
  const int64_t e0 = a0 + a3, e3 = a0 - a3, e1 = a1 + a2, e2 = a1 - a2;
  const int64_t p = descale(d0 * 46341, 12), q = descale(d3 * 46341, 12), r = (d1 + d2) * 8, s = (d1 - d2) * 8;
  const int64_t a = p + r, c = p - r, b = q + s, d = q - s;
  const int64_t products[8] = {0, (a + b) * 799 + a * 3218, (e2 + e3) * 17734 + e3 * 25080, (c + d) * 3406 - d * 5681,
                               0, (c + d) * 3406 - c * 1130, (e2 + e3) * 17734 - e2 * 60547, (a + b) * 799 - b * 4816};
  for (int k = 0; k < 8; ++k) out[k * step] = descale(products[k], rows ? 12 : 21);
  out[0] = rows ? (e0 + e1) * 8 : descale(e0 + e1, 6);
  out[4 * step] = rows ? (e0 - e1) * 8 : descale(e0 - e1, 6);
}

TEST(ForwardDct, LevelZeroIsTheFixedPointFlowGraphBitForBit) {
  std::mt19937 random(11);
  const int32_t selected = ProcessorLevel();
  ForceProcessorLevelForTesting(0);
  for (int n = 0; n < 6000; ++n) {
    uint8_t block[64];
    uint16_t reciprocals[64];
    int64_t shifted[64], rows[64], columns[64];
    for (int i = 0; i < 64; ++i) {
      const uint32_t bits = random();
      block[i] = n % 3 == 0 ? (bits & 1 ? 255 : 0) : static_cast<uint8_t>(n % 3 == 1 ? bits : 124 + bits % 9);
      reciprocals[i] = static_cast<uint16_t>(n % 2 ? 32768 : 1 + (bits >> 8) % 32768);
      shifted[i] = block[i] - 128;
    }
    for (int y = 0; y < 8; ++y) FixedPointFdct8(shifted + 8 * y, 1, true, rows + 8 * y);
    for (int u = 0; u < 8; ++u) FixedPointFdct8(rows + u, 8, false, columns + u);
    int16_t got[64];
    ASSERT_EQ(FdctQuant8x8FromU8(got, block, 8, reciprocals), StatusOk);
    for (int i = 0; i < 64; ++i)
      ASSERT_EQ(got[i], QuantiseHalfToEven(static_cast<int>(columns[i]), reciprocals[i])) << "block " << n << " at " << i;
  }
  ForceProcessorLevelForTesting(selected);
}

// T.81 Figure A.6: natural (row-major) index and the zig-zag position landing there.
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
