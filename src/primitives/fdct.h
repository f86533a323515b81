// Forward DCT with quantisation: one 8x8 block of samples to coefficients.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// Level-shifts 8x8 bytes by -128, takes the forward DCT of ITU-T T.81 A.3.3
// (coefficient 0 = 8 x the mean of the shifted samples) in 32-bit fixed
// point, rounded, and quantises each coefficient X with its reciprocal r:
//   c = saturate16(round-half-even(X * r / 2^15)).
// Arguments follow the transform family's order (coefficients, samples,
// row step, table): coefficients receives 64 values in natural order; src
// and srcStep (bytes, not checked: any value, negative included, is used as
// given) name the 8 rows of 8 samples; reciprocals is the natural-order Q15
// table of BuildQuantTableFwd8u.
// Fails with StatusNullPointer before writing anything.
// The 32-bit arithmetic is processor level 0's; from level 1 on, the
// transform uses 16-bit multiply-adds (fdct_sse3.cpp) and a coefficient may
// differ from level 0's in the last bit before the same quantisation.
int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals);

}  // namespace vv
