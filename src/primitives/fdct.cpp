#include "primitives/fdct.h"

#include "primitives/dispatch.h"
#include "primitives/fdct_body.h"
#include "primitives/fdct_levels.h"

namespace vv {

namespace level0 {

int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals) {
  return FdctQuantBlock(coefficients, src, srcStep, reciprocals);
}

}  // namespace level0

namespace {

using FdctQuantFn = int32_t(int16_t*, const uint8_t*, int32_t, const uint16_t*);
// Only SSE4.1 changes the code the compiler makes of it (levels 1 and 2
// have no 32-bit vector multiply either).
constexpr FdctQuantFn* kFdctQuant8x8FromU8[kLevelTableSize] =
    VV_LEVEL_TABLE(level0::FdctQuant8x8FromU8, level0::FdctQuant8x8FromU8,
                   level0::FdctQuant8x8FromU8, sse41::FdctQuant8x8FromU8);

}  // namespace

int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals) {
  return kFdctQuant8x8FromU8[ProcessorLevel()](coefficients, src, srcStep, reciprocals);
}

}  // namespace vv
