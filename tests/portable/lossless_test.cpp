// Lossless reconstruction: rows are encoded here with the predictors of
// ITU-T T.81 Table H.1 (differences modulo 2^16, as an encoder forms them)
// and must come back exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "primitives/lossless.h"

namespace {

using namespace vv;

// Table H.1 on unsigned samples in unbounded integer arithmetic.
int TableH1(int predictor, int ra, int rb, int rc) {
  switch (predictor) {
    case 1: return ra;
    case 2: return rb;
    case 3: return rc;
    case 4: return ra + rb - rc;
    case 5: return ra + (rb - rc) / 2 - ((rb - rc) < 0 && (rb - rc) % 2 != 0);  // floor halving
    case 6: return rb + (ra - rc) / 2 - ((ra - rc) < 0 && (ra - rc) % 2 != 0);
    default: return (ra + rb) / 2;
  }
}

int16_t DifferenceModulo16(int sample, int prediction) {
  return static_cast<int16_t>(static_cast<uint16_t>((sample - prediction) & 0xFFFF));
}

std::vector<uint16_t> RandomSamples(std::mt19937& random, int width, int precision) {
  std::vector<uint16_t> row(width);
  for (auto& v : row) v = static_cast<uint16_t>(random() & ((1u << precision) - 1));
  return row;
}

TEST(LosslessReconstruction, FirstRowStartsAtHalfTheRange) {
  struct Case {
    int32_t precision, pointTransform;
    uint16_t first;
  };
  const Case cases[] = {{8, 0, 128}, {2, 0, 2}, {2, 1, 1}, {8, 3, 16}, {12, 0, 2048}, {16, 0, 32768}, {16, 15, 1}};
  for (const Case& c : cases) {
    const std::vector<int16_t> zeros(5, 0);
    std::vector<uint16_t> out(6, 0xBEEF);
    ASSERT_EQ(LosslessReconstructFirstRow(zeros.data(), out.data(), 5, c.precision, c.pointTransform), StatusOk);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], c.first) << "P " << c.precision << " Pt " << c.pointTransform;
    EXPECT_EQ(out[5], 0xBEEF);
  }
}

TEST(LosslessReconstruction, FirstRowAccumulatesModulo65536) {
  std::mt19937 random(21);
  for (int precision : {2, 8, 12, 16}) {
    const std::vector<uint16_t> want = RandomSamples(random, 50, precision);
    std::vector<int16_t> diff(50);
    diff[0] = DifferenceModulo16(want[0], 1 << (precision - 1));
    for (int i = 1; i < 50; ++i) diff[i] = DifferenceModulo16(want[i], want[i - 1]);
    std::vector<uint16_t> out(50);
    ASSERT_EQ(LosslessReconstructFirstRow(diff.data(), out.data(), 50, precision, 0), StatusOk);
    EXPECT_EQ(out, want) << "P " << precision;
    // In place over the differences gives the same.
    ASSERT_EQ(LosslessReconstructFirstRow(diff.data(), reinterpret_cast<uint16_t*>(diff.data()), 50, precision, 0),
              StatusOk);
    EXPECT_EQ(std::vector<uint16_t>(diff.begin(), diff.end()), want);
  }
  // The difference 32768 of a 16-bit scan (SSSS = 16) wraps to zero.
  const int16_t extreme = INT16_MIN;
  uint16_t out = 1;
  ASSERT_EQ(LosslessReconstructFirstRow(&extreme, &out, 1, 16, 0), StatusOk);
  EXPECT_EQ(out, 0);
}

TEST(LosslessReconstruction, EveryPredictorRoundTripsTableH1) {
  std::mt19937 random(22);
  for (int predictor = 1; predictor <= 7; ++predictor) {
    for (int precision : {2, 5, 8, 12, 15}) {
      for (int width : {1, 2, 3, 64}) {
        const std::vector<uint16_t> above = RandomSamples(random, width, precision);
        const std::vector<uint16_t> want = RandomSamples(random, width, precision);
        std::vector<int16_t> diff(width);
        diff[0] = DifferenceModulo16(want[0], above[0]);  // first sample: Rb
        for (int i = 1; i < width; ++i) {
          diff[i] = DifferenceModulo16(want[i], TableH1(predictor, want[i - 1], above[i], above[i - 1]));
        }
        std::vector<uint16_t> out(width + 1, 0xBEEF);
        ASSERT_EQ(LosslessReconstructRow(diff.data(), above.data(), out.data(), width, predictor), StatusOk);
        EXPECT_EQ(std::vector<uint16_t>(out.begin(), out.end() - 1), want)
            << "predictor " << predictor << " P " << precision << " width " << width;
        EXPECT_EQ(out[width], 0xBEEF);
        // The row may be rebuilt over the row above.
        std::vector<uint16_t> inPlace = above;
        ASSERT_EQ(LosslessReconstructRow(diff.data(), inPlace.data(), inPlace.data(), width, predictor), StatusOk);
        EXPECT_EQ(inPlace, want) << "in place, predictor " << predictor;
      }
    }
  }
}

// At 16 bits a sample of 2^15 or more enters the predictor as a negative
// signed value; these cases pin that reading down.
TEST(LosslessReconstruction, SixteenBitSamplesEnterThePredictorSigned) {
  struct Case {
    int predictor;
    uint16_t ra, rb, rc, want;
  };
  const Case cases[] = {
      {7, 40000, 40000, 0, 40000},   // (-25536 + -25536) >> 1 = -25536
      {7, 40000, 20000, 0, 62768},   // (-25536 + 20000) >> 1 = -2768
      {5, 100, 32767, 32768, 32867},  // 100 + ((32767 - -32768) >> 1)
      {6, 50000, 1000, 10, 58763},    // 1000 + ((-15536 - 10) >> 1)
      {4, 65535, 65535, 1, 65533},    // plain wrap-around
  };
  for (const Case& c : cases) {
    // Row: x[0] = Ra (above[0] = Rc plus a difference), x[1] = prediction.
    const uint16_t above[2] = {c.rc, c.rb};
    const int16_t diff[2] = {DifferenceModulo16(c.ra, c.rc), 0};
    uint16_t out[2];
    ASSERT_EQ(LosslessReconstructRow(diff, above, out, 2, c.predictor), StatusOk);
    EXPECT_EQ(out[0], c.ra);
    EXPECT_EQ(out[1], c.want) << "predictor " << c.predictor << " Ra " << c.ra << " Rb " << c.rb;
  }
}

}  // namespace
