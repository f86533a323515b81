#include "primitives/fdct.h"

#include <cstring>

#include "primitives/dispatch.h"
#include "primitives/fdct_levels.h"
#include "primitives/fixed_point.h"

namespace vv {
namespace {

enum class Pass { kRows, kColumns };

// One 8-point forward DCT along the Loeffler-Ligtenberg-Moschytz flow graph
// (the transpose of the inverse transform's graph), gain 2*sqrt(2) over
// T.81's 1-D normalisation.
//
// Even part: frequencies 0 and 4 are plain sums; 2 and 6 come from the
// rotation by 6pi/16 scaled by sqrt(2), constants x 2^15: sqrt2*c6 = 17734,
// sqrt2*(c2-c6) = 25080, sqrt2*(c2+c6) = 60547.
// Odd part (dk = x[k] - x[7-k], ck = cos(k pi/16)): a = sqrt2 d0 + (d1 + d2),
// c = sqrt2 d0 - (d1 + d2), b = sqrt2 d3 + (d1 - d2), d = sqrt2 d3 - (d1 - d2),
// then X1 = c1 a + c7 b, X7 = c7 a - c1 b, X3 = c3 c - c5 d, X5 = c5 c + c3 d
// as rotations with constants x 2^12: c7 = 799, c1-c7 = 3218, c1+c7 = 4816,
// c3 = 3406, c3+c5 = 5681, c3-c5 = 1130. The sqrt2 products (46341 = sqrt2
// x 2^15) are rounded to 2^3 and the sums multiplied by 8 to match, so the
// odd rotations see values x 8 and their products come out x 2^15, like the
// even-part products.
//
// The row pass returns every coefficient x 8: plain sums << 3, products
// (x + 2^11) >> 12. The column pass then holds everything x 64 (row scale
// times the 2D gain of 8): plain sums give the T.81 coefficient as
// (x + 32) >> 6, products as (x + 2^20) >> 21.
template <Pass kPass>
inline void Fdct8(const int32_t* x, int32_t out[8]) {
  const Sum a0 = AsSum(x[0] + x[7]), a1 = AsSum(x[1] + x[6]);
  const Sum a2 = AsSum(x[2] + x[5]), a3 = AsSum(x[3] + x[4]);
  const Sum d0 = AsSum(x[0] - x[7]), d1 = AsSum(x[1] - x[6]);
  const Sum d2 = AsSum(x[2] - x[5]), d3 = AsSum(x[3] - x[4]);

  const Sum e0 = a0 + a3, e3 = a0 - a3, e1 = a1 + a2, e2 = a1 - a2;
  const Sum plain0 = e0 + e1, plain4 = e0 - e1;
  const Sum rot = (e2 + e3) * 17734;
  const Sum product2 = rot + e3 * 25080, product6 = rot - e2 * 60547;

  const Sum p = AsSum(Descale(d0 * 46341, 12)), q = AsSum(Descale(d3 * 46341, 12));
  const Sum r = (d1 + d2) * 8, s = (d1 - d2) * 8;
  const Sum a = p + r, c = p - r, b = q + s, d = q - s;
  const Sum rot17 = (a + b) * 799;
  const Sum product1 = rot17 + a * 3218, product7 = rot17 - b * 4816;
  const Sum rot35 = (c + d) * 3406;
  const Sum product5 = rot35 - c * 1130, product3 = rot35 - d * 5681;

  // Rows: plain sums x 8, products (x + 2^11) >> 12; columns: plain sums
  // (x + 32) >> 6, products (x + 2^20) >> 21.
  constexpr bool kRowPass = kPass == Pass::kRows;
  constexpr int kProductShift = kRowPass ? 12 : 21;
  out[0] = kRowPass ? static_cast<int32_t>(plain0 << 3) : Descale(plain0, 6);
  out[4] = kRowPass ? static_cast<int32_t>(plain4 << 3) : Descale(plain4, 6);
  out[1] = Descale(product1, kProductShift);
  out[2] = Descale(product2, kProductShift);
  out[3] = Descale(product3, kProductShift);
  out[5] = Descale(product5, kProductShift);
  out[6] = Descale(product6, kProductShift);
  out[7] = Descale(product7, kProductShift);
}

// saturate16(round-half-even(value * reciprocal / 2^15)). Adding just under
// one half plus the parity bit of the floored quotient carries into the
// quotient exactly when the remainder is above one half, or is one half and
// the quotient odd. |value| stays below 1100 for 8-bit samples, so the
// product fits in 32 bits (and saturation never triggers in practice).
inline int16_t Quantise(int32_t value, uint16_t reciprocal) {
  const int32_t product = value * int32_t{reciprocal};
  const int32_t quotient = (product + 0x3FFF + ((product >> 15) & 1)) >> 15;
  // Clamped with min and max rather than a branch, so that whole rows of
  // the block can be quantised in vector registers.
  const int32_t low = quotient < -32768 ? -32768 : quotient;
  return static_cast<int16_t>(low > 32767 ? 32767 : low);
}

// The whole primitive, argument check included.
inline int32_t FdctQuantBlock(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                              const uint16_t* reciprocals) {
  if (!coefficients || !src || !reciprocals) return StatusNullPointer;
  int32_t rows[64];
  for (int y = 0; y < 8; ++y) {
    const uint8_t* line = src + static_cast<intptr_t>(srcStep) * y;
    int32_t shifted[8];
    VV_UNROLL
    for (int x = 0; x < 8; ++x) shifted[x] = line[x] - 128;
    Fdct8<Pass::kRows>(shifted, rows + 8 * y);
  }
  // The column pass runs all eight columns side by side: lane u of every
  // step reads rows[8 v + u], so the compiler can keep whole rows of the
  // block in vector registers. Local copies of the table and the result
  // rule out aliasing with the caller's arrays.
  uint16_t table[64];
  std::memcpy(table, reciprocals, sizeof table);
  int16_t result[64];
  for (int u = 0; u < 8; ++u) {
    int32_t column[8], out[8];
    VV_UNROLL
    for (int v = 0; v < 8; ++v) column[v] = rows[8 * v + u];
    Fdct8<Pass::kColumns>(column, out);
    VV_UNROLL
    for (int v = 0; v < 8; ++v) result[8 * v + u] = Quantise(out[v], table[8 * v + u]);
  }
  std::memcpy(coefficients, result, sizeof result);
  return StatusOk;
}

}  // namespace

namespace level0 {

int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals) {
  return FdctQuantBlock(coefficients, src, srcStep, reciprocals);
}

}  // namespace level0

namespace {

using FdctQuantFn = int32_t(int16_t*, const uint8_t*, int32_t, const uint16_t*);
constexpr FdctQuantFn* kFdctQuant8x8FromU8[kLevelTableSize] =
    VV_LEVEL_TABLE(level0::FdctQuant8x8FromU8, sse3::FdctQuant8x8FromU8,
                   sse3::FdctQuant8x8FromU8, sse3::FdctQuant8x8FromU8);

}  // namespace

int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals) {
  return kFdctQuant8x8FromU8[ProcessorLevel()](coefficients, src, srcStep, reciprocals);
}

}  // namespace vv
