// The vector-level implementations of the inverse DCT, for the dispatch
// tables in idct.cpp (internal to the primitive layer). Each has the
// contract of the entry point of the same name in idct.h, with results that
// may differ from level 0 in the last bit.
#pragma once
#include <cstdint>

#include "primitives/compiler.h"
#include "primitives/status.h"

namespace vv {
namespace sse3 {

// 16-bit multiply-adds (see idct_sse3.cpp); levels 1 to 3.
int32_t DequantIdct8x8ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                           const uint16_t* quant);
int32_t DequantIdct8x8Low4x4ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant);
int32_t DequantIdct8x8Low2x2ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant);

}  // namespace sse3
}  // namespace vv
