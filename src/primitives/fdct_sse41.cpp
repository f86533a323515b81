// The forward DCT of level 3: level 0's arithmetic compiled for SSE4.1.
#include "primitives/fdct_body.h"
#include "primitives/fdct_levels.h"

namespace vv {
namespace sse41 {

int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals) {
  return FdctQuantBlock(coefficients, src, srcStep, reciprocals);
}

}  // namespace sse41
}  // namespace vv
