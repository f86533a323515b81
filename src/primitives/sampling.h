// 2:1 horizontal subsampling and triangle-filter upsampling of sample rows.
//
// Rows are bytes. Checks run before any work: a null pointer gives
// StatusNullPointer, a width below 1 StatusSizeError; a failing call writes
// nothing. Source and destination must not overlap.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// Averages pairs of samples: dst[j] = (src[2j] + src[2j+1] + b) >> 1 with the
// bias b alternating 0, 1, 0, 1, ... by j, so that rounding errors cancel
// along the row. dst receives (srcWidth + 1) / 2 samples; an odd last source
// sample is paired with itself (dst = that sample), as edge replication
// would do. Fails with StatusNullPointer or StatusSizeError (srcWidth < 1).
int32_t DownsampleRowH2(const uint8_t* src, int32_t srcWidth, uint8_t* dst);

// Doubles a row of `width` samples into 2 × width by the triangle filter:
// each output sample is 3/4 of its nearer input plus 1/4 of the next one
// outward, and the two end samples are copied. A one-sample row gives that
// sample twice. Fails with StatusNullPointer or StatusSizeError.
int32_t UpsampleRowH2(const uint8_t* src, int32_t width, uint8_t* dst);

// Doubles in both directions: nearRow is the input row nearer to the output
// row, farRow the one beyond it; column sums s = 3 nearRow + farRow are
// filtered across as in UpsampleRowH2 with a divisor of 16 and biases
// alternating 8, 7. dst receives 2 × width samples. A one-sample row treats the missing
// neighbours as copies of the sample: (4 s + 8) >> 4 and (4 s + 7) >> 4.
// Fails with StatusNullPointer or StatusSizeError.
int32_t UpsampleRowH2V2(const uint8_t* nearRow, const uint8_t* farRow, int32_t width, uint8_t* dst);

}  // namespace vv
