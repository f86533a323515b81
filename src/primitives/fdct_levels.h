// The vector-level implementations of the forward DCT, for the dispatch
// table in fdct.cpp (internal to the primitive layer), with the contract of
// FdctQuant8x8FromU8 in fdct.h.
#pragma once
#include <cstdint>

namespace vv {
namespace sse3 {

// 16-bit multiply-adds (see fdct_sse3.cpp); levels 1 to 3.
int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals);

}  // namespace sse3
}  // namespace vv
