// The forward and inverse DCTs against the ITU-T T.81 A.3.3 formulas written
// out in double precision, the sparse and DC-only forms against the full
// transform, and the reduced-size forms against box averages of the
// full-size reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "primitives/fdct.h"
#include "primitives/idct.h"
#include "primitives/quant_tables.h"

namespace {

using namespace vv;

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

// s(y, x) = 1/4 sum_u sum_v C(u) C(v) S(v, u) cos(..x..u) cos(..y..v); index 8v + u.
void ReferenceIdct(const double* coefficients, double* samples) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double sum = 0;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u)
          sum += coefficients[8 * v + u] * kBasis.at[u][x] * kBasis.at[v][y];
      samples[8 * y + x] = sum / 4;
    }
}

// S(v, u) = 1/4 C(u) C(v) sum_y sum_x s(y, x) cos(..x..u) cos(..y..v).
void ReferenceFdct(const double* samples, double* coefficients) {
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          sum += samples[8 * y + x] * kBasis.at[u][x] * kBasis.at[v][y];
      coefficients[8 * v + u] = sum / 4;
    }
}

int RoundToInt(double v) { return static_cast<int>(std::floor(v + 0.5)); }
int ClampInt(int v, int lo, int hi) { return std::min(std::max(v, lo), hi); }

// 8x8 sample blocks of the kinds a camera picture holds: flat areas with
// noise, gradients, edges, fine texture, and plain random noise.
class BlockSource {
 public:
  explicit BlockSource(uint32_t seed) : random_(seed) {}

  void Next(uint8_t* block) {
    std::uniform_real_distribution<double> unit(0, 1);
    const int kind = static_cast<int>(random_() % 5);
    const double base = 255 * unit(random_), gx = 40 * (unit(random_) - 0.5),
                 gy = 40 * (unit(random_) - 0.5), noise = 12 * unit(random_);
    const double angle = 2 * kPi * unit(random_), step = 255 * (unit(random_) - 0.5);
    const double freq = 0.3 + 2.5 * unit(random_);
    std::normal_distribution<double> gauss(0, 1);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) {
        double v = base;
        if (kind == 1) v += gx * (x - 3.5) / 8 + gy * (y - 3.5) / 8;
        if (kind == 2 && std::cos(angle) * (x - 3.5) + std::sin(angle) * (y - 3.5) > 0) v += step;
        if (kind == 3) v += step * 0.5 * std::sin(freq * (x * std::cos(angle) + y * std::sin(angle)));
        v += kind == 4 ? 255 * (unit(random_) - 0.5) : noise * gauss(random_);
        block[8 * y + x] = static_cast<uint8_t>(ClampInt(RoundToInt(v), 0, 255));
      }
  }

  // A standard table scaled to a random quality between 5 and 100.
  void NextQuant(uint16_t* quant) {
    static const int kQualities[] = {5, 10, 25, 50, 75, 85, 90, 95, 100};
    uint8_t table[64];
    std::memcpy(table, random_() % 2 ? kStdLuminanceQuant : kStdChrominanceQuant, 64);
    ScaleQuantTable8u(table, kQualities[random_() % 9]);
    for (int i = 0; i < 64; ++i) quant[i] = table[i];
  }

  // A quantised coefficient block as an encoder would produce it.
  void NextCoefficients(int16_t* coefficients, uint16_t* quant) {
    uint8_t block[64];
    double samples[64], exact[64];
    Next(block);
    NextQuant(quant);
    for (int i = 0; i < 64; ++i) samples[i] = block[i] - 128.0;
    ReferenceFdct(samples, exact);
    for (int i = 0; i < 64; ++i) coefficients[i] = static_cast<int16_t>(RoundToInt(exact[i] / quant[i]));
  }

  std::mt19937& random() { return random_; }

 private:
  std::mt19937 random_;
};

// The reference inverse transform of dequantised coefficients, level-shifted.
void ReferenceDecode(const int16_t* coefficients, const uint16_t* quant, double* samples) {
  double dequantised[64];
  for (int i = 0; i < 64; ++i) dequantised[i] = static_cast<double>(coefficients[i]) * quant[i];
  ReferenceIdct(dequantised, samples);
  for (int i = 0; i < 64; ++i) samples[i] += 128;
}

struct ErrorStats {
  int maxRounded = 0;      // against the reference rounded and clamped
  double maxExact = 0;     // against the unrounded reference (where it is inside 0..255)
  long offByOne = 0, samples = 0;
  double squareSum = 0;
  void Add(int got, double exact, int lo, int hi) {
    const int rounded = ClampInt(RoundToInt(exact), lo, hi);
    maxRounded = std::max(maxRounded, std::abs(got - rounded));
    if (got != rounded) ++offByOne;
    if (exact >= lo && exact <= hi) maxExact = std::max(maxExact, std::fabs(got - exact));
    squareSum += double(got - rounded) * (got - rounded);
    ++samples;
  }
  void Print(const char* what) const {
    std::printf("[ figures  ] %s: max error vs rounded %d, vs exact %.3f, %ld of %ld samples "
                "differ, mean square %.5f\n",
                what, maxRounded, maxExact, offByOne, samples, squareSum / samples);
  }
};

// Random samples in [-range, range - 1] transformed exactly and rounded to
// integer coefficients (step 1), the IEEE 1180 style of accuracy test; the
// range stays inside what 8-bit output can show.
TEST(InverseDct, WithinOneOnRandomBlocksOfEveryAmplitude) {
  std::mt19937 random(2);
  const uint16_t ones[64] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                             1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                             1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  for (int range : {5, 128}) {
    ErrorStats stats;
    double meanSum = 0;
    for (int n = 0; n < 20000; ++n) {
      double samples[64], exact[64], back[64];
      int16_t coefficients[64];
      uint8_t out[64];
      for (double& s : samples) s = static_cast<int>(random() % (2 * range)) - range;
      ReferenceFdct(samples, exact);
      for (int i = 0; i < 64; ++i) coefficients[i] = static_cast<int16_t>(RoundToInt(exact[i]));
      ASSERT_EQ(DequantIdct8x8ToU8(coefficients, out, 8, ones), StatusOk);
      ReferenceDecode(coefficients, ones, back);
      for (int i = 0; i < 64; ++i) {
        stats.Add(out[i], back[i], 0, 255);
        meanSum += out[i] - ClampInt(RoundToInt(back[i]), 0, 255);
      }
    }
    const std::string what = "IDCT, 20000 random blocks in +-" + std::to_string(range);
    stats.Print(what.c_str());
    EXPECT_LE(stats.maxRounded, 1);
    EXPECT_LE(stats.squareSum / stats.samples, 0.02);      // IEEE 1180 overall limit
    EXPECT_LE(std::fabs(meanSum / stats.samples), 0.0015);  // no bias
  }
}

// Fills the coefficients of the top-left size x size corner with values from
// small to the extremes, and step sizes that push the products into 16-bit
// saturation and the sums past 32 bits.
void FillCorner(std::mt19937& random, int size, int16_t* coefficients, uint16_t* quant) {
  const int amplitude[] = {4, 64, 1024, 32768};
  const int a = amplitude[random() % 4];
  for (int v = 0; v < size; ++v)
    for (int u = 0; u < size; ++u) {
      coefficients[8 * v + u] = static_cast<int16_t>(static_cast<int>(random() % (2 * a)) - a);
      quant[8 * v + u] = static_cast<uint16_t>(random() % 4 ? 1 + random() % 64 : random());
    }
}

TEST(InverseDct, SparseFormsAreBitEqualToTheFullTransform) {
  struct Form {
    const char* name;
    int32_t (*fn)(const int16_t*, uint8_t*, int32_t, const uint16_t*);
    int size;
  };
  const Form forms[] = {{"Low4x4", DequantIdct8x8Low4x4ToU8, 4},
                        {"Low2x2", DequantIdct8x8Low2x2ToU8, 2}};
  std::mt19937 random(3);
  for (const Form& form : forms) {
    for (int n = 0; n < 50000; ++n) {
      int16_t zeroed[64] = {}, garbage[64];
      uint16_t quant[64] = {}, garbageQuant[64];
      FillCorner(random, form.size, zeroed, quant);
      // The sparse form gets garbage outside its corner, which it must not read.
      for (int i = 0; i < 64; ++i) {
        const bool inside = i / 8 < form.size && i % 8 < form.size;
        garbage[i] = inside ? zeroed[i] : static_cast<int16_t>(random());
        garbageQuant[i] = inside ? quant[i] : static_cast<uint16_t>(random());
      }
      uint8_t full[64], sparse[64];
      ASSERT_EQ(DequantIdct8x8ToU8(zeroed, full, 8, quant), StatusOk);
      ASSERT_EQ(form.fn(garbage, sparse, 8, garbageQuant), StatusOk);
      ASSERT_EQ(std::memcmp(full, sparse, 64), 0) << form.name << " block " << n;
    }
  }
}

TEST(InverseDct, DcOnlyBlocksRoundInTheFullFormAndFloorInTheDcForm) {
  struct Case {
    int16_t dc;
    uint16_t q;
  };
  const Case cases[] = {{4, 1},   {-4, 1},    {-5, 1},     {7, 3},        {-7, 3},
                        {1023, 1}, {-1032, 1}, {500, 100}, {32767, 65535}, {-32768, 65535}};
  for (const Case& c : cases) {
    int16_t coefficients[64] = {c.dc};
    uint16_t quant[64];
    std::fill(quant, quant + 64, uint16_t{9});  // only quant[0] matters
    quant[0] = c.q;
    const double product = static_cast<double>(c.dc) * c.q;
    const int rounded = ClampInt(RoundToInt(product / 8) + 128, 0, 255);
    const int floored = ClampInt(static_cast<int>(std::floor(product / 8)) + 128, 0, 255);
    uint8_t full[64], dcOnly[64];
    ASSERT_EQ(DequantIdct8x8ToU8(coefficients, full, 8, quant), StatusOk);
    ASSERT_EQ(DequantIdctDcOnlyToU8(coefficients, dcOnly, 8, quant), StatusOk);
    for (int i = 0; i < 64; ++i) {
      ASSERT_EQ(full[i], rounded) << "dc " << c.dc << " q " << c.q;
      ASSERT_EQ(dcOnly[i], floored) << "dc " << c.dc << " q " << c.q;
    }
  }
}

// Reduced outputs against the mean of each 2x2 (or 4x4) cell of the
// unrounded full-size reference.
TEST(InverseDct, ReducedFormsFollowTheBoxAverageOfTheReference) {
  struct Form {
    const char* name;
    int32_t (*fn)(const int16_t*, uint8_t*, int32_t, const uint16_t*);
    int cell, tolerance;
  };
  const Form forms[] = {{"4x4", DequantIdct8x8To4x4U8, 2, 1}, {"2x2", DequantIdct8x8To2x2U8, 4, 1}};
  for (const Form& form : forms) {
    BlockSource source(4);
    ErrorStats stats;
    const int outSize = 8 / form.cell;
    for (int n = 0; n < 50000; ++n) {
      int16_t coefficients[64];
      uint16_t quant[64];
      double exact[64];
      uint8_t out[16];
      source.NextCoefficients(coefficients, quant);
      ASSERT_EQ(form.fn(coefficients, out, outSize, quant), StatusOk);
      ReferenceDecode(coefficients, quant, exact);
      for (int m = 0; m < outSize; ++m)
        for (int k = 0; k < outSize; ++k) {
          double mean = 0;
          for (int y = 0; y < form.cell; ++y)
            for (int x = 0; x < form.cell; ++x) mean += exact[8 * (m * form.cell + y) + k * form.cell + x];
          stats.Add(out[outSize * m + k], mean / (form.cell * form.cell), 0, 255);
        }
    }
    const std::string what = std::string("reduced ") + form.name + ", 50000 quantised blocks";
    stats.Print(what.c_str());
    EXPECT_LE(stats.maxRounded, form.tolerance) << form.name;
  }
}

// Unquantised (reciprocal 32768) forward transform against the exact one.
// Includes the all-extreme blocks in which intermediate products reach 2^31.
TEST(ForwardDct, WithinOneOfTheExactTransform) {
  uint16_t ones[64];
  std::fill(ones, ones + 64, uint16_t{32768});
  BlockSource source(7);
  std::vector<std::vector<uint8_t>> blocks;
  for (int pattern = 0; pattern < 256; ++pattern) {  // rows all 0 or all 255
    std::vector<uint8_t> block(64);
    for (int i = 0; i < 64; ++i) block[i] = (pattern >> (i / 8)) & 1 ? 255 : 0;
    blocks.push_back(block);
    for (int i = 0; i < 64; ++i) block[i] = (pattern >> (i % 8)) & 1 ? 255 : 0;  // columns
    blocks.push_back(block);
  }
  for (int n = 0; n < 50000; ++n) {
    std::vector<uint8_t> block(64);
    source.Next(block.data());
    blocks.push_back(block);
  }
  int maxError = 0;
  for (const auto& block : blocks) {
    double samples[64], exact[64];
    for (int i = 0; i < 64; ++i) samples[i] = block[i] - 128.0;
    ReferenceFdct(samples, exact);
    int16_t coefficients[64];
    ASSERT_EQ(FdctQuant8x8FromU8(coefficients, block.data(), 8, ones), StatusOk);
    for (int i = 0; i < 64; ++i) maxError = std::max(maxError, std::abs(coefficients[i] - RoundToInt(exact[i])));
  }
  std::printf("[ figures  ] FDCT, %zu blocks: max error vs rounded exact %d\n", blocks.size(), maxError);
  EXPECT_LE(maxError, 1);
}

// One representative argument check.
TEST(TransformArguments, NullPointerIsRefused) {
  uint16_t quant[64] = {1};
  uint8_t out[64];
  EXPECT_EQ(DequantIdct8x8ToU8(nullptr, out, 8, quant), StatusNullPointer);
}

}  // namespace
