#include "primitives/lossless.h"

#include "primitives/dispatch.h"

namespace vv {
namespace {

// A sample as the predictors see it: signed 16-bit (two's complement on
// every target this library is built for).
inline int32_t Signed(uint16_t sample) { return static_cast<int16_t>(sample); }

// Sums are formed in 32 bits and reduced modulo 2^16 only when stored; for
// samples below 2^15 that is the unbounded arithmetic of Table H.1.
template <int Predictor>
inline int32_t Predict(int32_t ra, int32_t rb, int32_t rc) {
  static_assert(Predictor >= 1 && Predictor <= 7, "Table H.1 has predictors 1..7");
  switch (Predictor) {
    case 1: return ra;
    case 2: return rb;
    case 3: return rc;
    case 4: return ra + rb - rc;
    case 5: return ra + ((rb - rc) >> 1);
    case 6: return rb + ((ra - rc) >> 1);
    default: return (ra + rb) >> 1;
  }
}

// Ra and Rc are carried in registers rather than re-read, which is also what
// lets dst share memory with `above`.
template <int Predictor>
void ReconstructRow(const int16_t* diff, const uint16_t* above, uint16_t* dst, int32_t width) {
  int32_t rb = Signed(above[0]);
  uint16_t left = static_cast<uint16_t>(diff[0] + rb);
  dst[0] = left;
  for (int32_t i = 1; i < width; ++i) {
    const int32_t rc = rb;
    rb = Signed(above[i]);
    left = static_cast<uint16_t>(diff[i] + Predict<Predictor>(Signed(left), rb, rc));
    dst[i] = left;
  }
}

}  // namespace

namespace level0 {

int32_t LosslessReconstructFirstRow(const int16_t* diff, uint16_t* dst, int32_t width,
                                    int32_t precision, int32_t pointTransform) {
  if (diff == nullptr || dst == nullptr) return StatusNullPointer;
  if (width < 1) return StatusSizeError;
  if (precision < 2 || precision > 16 || pointTransform < 0 || pointTransform >= precision) {
    return StatusBadArgument;
  }
  uint16_t left = static_cast<uint16_t>(diff[0] + (1 << (precision - pointTransform - 1)));
  dst[0] = left;
  for (int32_t i = 1; i < width; ++i) {
    left = static_cast<uint16_t>(diff[i] + left);
    dst[i] = left;
  }
  return StatusOk;
}

int32_t LosslessReconstructRow(const int16_t* diff, const uint16_t* above, uint16_t* dst,
                               int32_t width, int32_t predictor) {
  if (diff == nullptr || above == nullptr || dst == nullptr) return StatusNullPointer;
  if (width < 1) return StatusSizeError;
  switch (predictor) {
    case 1: ReconstructRow<1>(diff, above, dst, width); return StatusOk;
    case 2: ReconstructRow<2>(diff, above, dst, width); return StatusOk;
    case 3: ReconstructRow<3>(diff, above, dst, width); return StatusOk;
    case 4: ReconstructRow<4>(diff, above, dst, width); return StatusOk;
    case 5: ReconstructRow<5>(diff, above, dst, width); return StatusOk;
    case 6: ReconstructRow<6>(diff, above, dst, width); return StatusOk;
    case 7: ReconstructRow<7>(diff, above, dst, width); return StatusOk;
    default: return StatusBadArgument;
  }
}

}  // namespace level0

namespace {

using FirstRowFn = int32_t(const int16_t*, uint16_t*, int32_t, int32_t, int32_t);
using RowFn = int32_t(const int16_t*, const uint16_t*, uint16_t*, int32_t, int32_t);

constexpr FirstRowFn* kLosslessReconstructFirstRow[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::LosslessReconstructFirstRow);
constexpr RowFn* kLosslessReconstructRow[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::LosslessReconstructRow);

}  // namespace

int32_t LosslessReconstructFirstRow(const int16_t* diff, uint16_t* dst, int32_t width,
                                    int32_t precision, int32_t pointTransform) {
  return kLosslessReconstructFirstRow[ProcessorLevel()](diff, dst, width, precision, pointTransform);
}

int32_t LosslessReconstructRow(const int16_t* diff, const uint16_t* above, uint16_t* dst,
                               int32_t width, int32_t predictor) {
  return kLosslessReconstructRow[ProcessorLevel()](diff, above, dst, width, predictor);
}

}  // namespace vv
