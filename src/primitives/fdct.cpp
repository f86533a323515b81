#include "primitives/fdct.h"

#include <cstring>

#include "primitives/dispatch.h"
#include "primitives/fdct_levels.h"
#include "primitives/fixed_point.h"

namespace vv {
namespace {

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
//
// Written in the form vector units take: the row pass runs the eight rows
// side by side and leaves 16-bit results, the column pass the eight columns,
// and the rotations are multiplied out so that every product is a 16-bit
// value times a constant that fits 16 bits (a constant above 32767 is split
// into 2^15, which becomes a shift, and a remainder). Sums modulo 2^32 do not
// depend on how the products are grouped, so this is the flow graph's result
// bit for bit:
//   X2 = e2 17734 + e3 (2^15 + 10046),  X6 = e3 17734 - e2 (2^15 + 10045),
//   sqrt2 d = d (2^15 + 13573),
//   X1 = a 4017 + b 799,   X7 = a 799 - b 4017,
//   X5 = c 2276 + d 3406,  X3 = c 3406 - d 2275,
// and in the column pass, where a to d outgrow 16 bits, with r and s spread
// over d1 and d2:
//   X1 = p 4017 + q 799 + 8 (d1 4816 + d2 3218),
//   X7 = p 799 - q 4017 - 8 (d1 3218 - d2 4816),
//   X5 = p 2276 + q 3406 - 8 (d1 5682 - d2 1130),
//   X3 = p 3406 - q 2275 - 8 (d1 1131 + d2 5681).
// Ranges: row-pass values stay within 2^13 (outputs within [-8192, 8160],
// plain sums included), so the column pass's sums of up to four of them fit
// 16 bits (-32768 is reached, +32768 is not). The column pass's p and q
// (up to 185365) are taken as p = 11 d0 + f0 with f0 = (d0 1285 + 2^11) >> 12,
// exact since 46341 = 11 x 2^12 + 1285, so that their products are again
// 16-bit values times 16-bit constants.
VV_ALWAYS_INLINE Sum Shifted15(int32_t x) { return AsSum(int32_t{static_cast<int16_t>(x)}) << 15; }

// The row pass in 16-bit lanes. A product x k of 16-bit values is 2^16 h +
// l, h its signed high half and l its unsigned low half, so
// (x k + 2^11) >> 12 = 16 h + ((l + 2^11) >> 12), and for a sum of two
// products the low halves' part is (l1 + l2 + 2^11) >> 12, formed from
// their halved sum (l1 & l2) + ((l1 ^ l2) >> 1) so that it never needs 17
// bits (dropping the halves cannot cross a multiple of the divisor). The
// row-pass values all fit 16 bits, so sums modulo 2^16 give them exactly.
VV_ALWAYS_INLINE int16_t Wrap16(int32_t v) { return static_cast<int16_t>(v); }
// (x k + 2^11) >> 12
VV_ALWAYS_INLINE int16_t RoundedProduct12(int16_t x, int16_t k) {
  const uint16_t low = LowHalf(x, k);
  return Wrap16(HighHalf(x, k) * 16 + (((low >> 1) + 1024) >> 11));
}
// (x k + y m + 2^11) >> 12
VV_ALWAYS_INLINE int16_t RoundedProducts12(int16_t x, int16_t k, int16_t y, int16_t m) {
  const uint16_t low1 = LowHalf(x, k), low2 = LowHalf(y, m);
  const uint16_t half = static_cast<uint16_t>((low1 & low2) + ((low1 ^ low2) >> 1));
  return Wrap16((HighHalf(x, k) + HighHalf(y, m)) * 16 + (((half >> 1) + 512) >> 10));
}

// round-half-even(value * reciprocal / 2^15) for a reciprocal in 1..32768,
// in 16-bit lanes. Rounding half to even is symmetric, so it is done on the
// magnitude (below 1100 for 8-bit samples, so the quotient is too and no
// saturation is ever due) and the sign put back. The magnitude's product is
// P = 2^16 h + l, with h and l its unsigned high and low halves, and the
// rounded quotient is 2 h + ((l + 2^14 - 1 + t) >> 15), t the parity bit
// of the floored quotient (the top bit of l): adding just under one half
// plus t carries exactly when the remainder is above one half, or is one
// half and the quotient odd. The inner sum can pass 16 bits; with l = 2 l1
// + l0 it is 2 (l1 + 8191) + (l0 + t + 1), which crosses a multiple of 2^15
// exactly when l1 + 8191 + (l0 | t) crosses one of 2^14, and that fits.
VV_ALWAYS_INLINE int16_t Quantise(int16_t value, uint16_t reciprocal) {
  const uint16_t sign = static_cast<uint16_t>(value >> 15);  // 0 or all ones
  const uint16_t magnitude = static_cast<uint16_t>((value ^ sign) - sign);
  // The halves as two products, which vector units form directly.
  const uint16_t high = static_cast<uint16_t>((uint32_t{magnitude} * reciprocal) >> 16);
  const uint16_t low = static_cast<uint16_t>(uint32_t{magnitude} * reciprocal & 0xFFFF);
  const uint16_t carry = static_cast<uint16_t>((low >> 1) + 8191 + ((low | low >> 15) & 1)) >> 14;
  const uint16_t quotient = static_cast<uint16_t>(2 * high + carry);
  return static_cast<int16_t>((quotient ^ sign) - sign);
}

// The whole primitive, argument check included.
inline int32_t FdctQuantBlock(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                              const uint16_t* reciprocals) {
  if (!coefficients || !src || !reciprocals) return StatusNullPointer;
  // Row pass with the eight rows as lanes: the level-shifted samples are
  // transposed first (whole 8x8 transposes of 16-bit values are what the
  // compiler turns into vector interleaves), then freq[k][y] = frequency k
  // of row y, x 8, and transposed back to rows[y][k].
  int16_t samples[8][8], columns[8][8], freq[8][8], rows[8][8];
  for (int y = 0; y < 8; ++y) {
    const uint8_t* line = src + static_cast<intptr_t>(srcStep) * y;
    VV_UNROLL
    for (int x = 0; x < 8; ++x) samples[y][x] = static_cast<int16_t>(line[x] - 128);
  }
  for (int x = 0; x < 8; ++x) {
    VV_UNROLL
    for (int y = 0; y < 8; ++y) columns[x][y] = samples[y][x];
  }
  for (int y = 0; y < 8; ++y) {
    const int16_t x0 = columns[0][y], x1 = columns[1][y], x2 = columns[2][y], x3 = columns[3][y];
    const int16_t x4 = columns[4][y], x5 = columns[5][y], x6 = columns[6][y], x7 = columns[7][y];
    const int16_t a0 = Wrap16(x0 + x7), a1 = Wrap16(x1 + x6);
    const int16_t a2 = Wrap16(x2 + x5), a3 = Wrap16(x3 + x4);
    const int16_t d0 = Wrap16(x0 - x7), d1 = Wrap16(x1 - x6);
    const int16_t d2 = Wrap16(x2 - x5), d3 = Wrap16(x3 - x4);
    const int16_t e0 = Wrap16(a0 + a3), e3 = Wrap16(a0 - a3);
    const int16_t e1 = Wrap16(a1 + a2), e2 = Wrap16(a1 - a2);
    freq[0][y] = Wrap16((e0 + e1) * 8);
    freq[4][y] = Wrap16((e0 - e1) * 8);
    freq[2][y] = Wrap16(e3 * 8 + RoundedProducts12(e2, 17734, e3, 10046));
    freq[6][y] = Wrap16(-e2 * 8 + RoundedProducts12(e3, 17734, e2, -10045));
    const int16_t p = Wrap16(d0 * 8 + RoundedProduct12(d0, 13573));
    const int16_t q = Wrap16(d3 * 8 + RoundedProduct12(d3, 13573));
    const int16_t r = Wrap16((d1 + d2) * 8), s = Wrap16((d1 - d2) * 8);
    const int16_t a = Wrap16(p + r), c = Wrap16(p - r), b = Wrap16(q + s), d = Wrap16(q - s);
    freq[1][y] = RoundedProducts12(a, 4017, b, 799);
    freq[7][y] = RoundedProducts12(a, 799, b, -4017);
    freq[5][y] = RoundedProducts12(c, 2276, d, 3406);
    freq[3][y] = RoundedProducts12(c, 3406, d, -2275);
  }
  for (int y = 0; y < 8; ++y) {
    VV_UNROLL
    for (int k = 0; k < 8; ++k) rows[y][k] = freq[k][y];
  }
  // Column pass, lane u reading column u: x[v] = rows[v][u]. It runs in
  // stages through small 16-bit arrays, so that every product the compiler
  // sees is one of two 16-bit values.
  int16_t e[4][8], d[4][8], f[2][8], out[64];
  for (int u = 0; u < 8; ++u) {
    const int32_t a0 = rows[0][u] + rows[7][u], a1 = rows[1][u] + rows[6][u];
    const int32_t a2 = rows[2][u] + rows[5][u], a3 = rows[3][u] + rows[4][u];
    d[0][u] = static_cast<int16_t>(rows[0][u] - rows[7][u]);
    d[1][u] = static_cast<int16_t>(rows[1][u] - rows[6][u]);
    d[2][u] = static_cast<int16_t>(rows[2][u] - rows[5][u]);
    d[3][u] = static_cast<int16_t>(rows[3][u] - rows[4][u]);
    e[0][u] = static_cast<int16_t>(a0 + a3), e[3][u] = static_cast<int16_t>(a0 - a3);
    e[1][u] = static_cast<int16_t>(a1 + a2), e[2][u] = static_cast<int16_t>(a1 - a2);
  }
  for (int u = 0; u < 8; ++u) {
    f[0][u] = static_cast<int16_t>(Descale(Product(d[0][u], 1285), 12));
    f[1][u] = static_cast<int16_t>(Descale(Product(d[3][u], 1285), 12));
  }
  for (int u = 0; u < 8; ++u) {
    const int16_t e0 = e[0][u], e1 = e[1][u], e2 = e[2][u], e3 = e[3][u];
    const int16_t d0 = d[0][u], d1 = d[1][u], d2 = d[2][u], d3 = d[3][u];
    const int16_t f0 = f[0][u], f3 = f[1][u];
    out[0 * 8 + u] = static_cast<int16_t>(Descale(AsSum(e0) + AsSum(e1), 6));
    out[4 * 8 + u] = static_cast<int16_t>(Descale(AsSum(e0) - AsSum(e1), 6));
    out[2 * 8 + u] = static_cast<int16_t>(
        Descale(Product(e2, 17734) + Shifted15(e3) + Product(e3, 10046), 21));
    out[6 * 8 + u] = static_cast<int16_t>(
        Descale(Product(e3, 17734) - Shifted15(e2) - Product(e2, 10045), 21));
    const Sum s0 = Shifted15(d0), s3 = Shifted15(d3);
    const Sum odd1 = (Product(d1, 4816) + Product(d2, 3218)) << 3;
    const Sum odd7 = (Product(d1, 3218) - Product(d2, 4816)) << 3;
    const Sum odd5 = (Product(d1, 5682) - Product(d2, 1130)) << 3;
    const Sum odd3 = (Product(d1, 1131) + Product(d2, 5681)) << 3;
    const Sum p4017 = s0 + Product(d0, 11419) + Product(f0, 4017);
    const Sum q4017 = s3 + Product(d3, 11419) + Product(f3, 4017);
    const Sum p3406 = s0 + Product(d0, 4698) + Product(f0, 3406);
    const Sum q3406 = s3 + Product(d3, 4698) + Product(f3, 3406);
    const Sum p799 = Product(d0, 8789) + Product(f0, 799);
    const Sum q799 = Product(d3, 8789) + Product(f3, 799);
    const Sum p2276 = Product(d0, 25036) + Product(f0, 2276);
    const Sum q2275 = Product(d3, 25025) + Product(f3, 2275);
    out[1 * 8 + u] = static_cast<int16_t>(Descale(p4017 + q799 + odd1, 21));
    out[7 * 8 + u] = static_cast<int16_t>(Descale(p799 - q4017 - odd7, 21));
    out[5 * 8 + u] = static_cast<int16_t>(Descale(p2276 + q3406 - odd5, 21));
    out[3 * 8 + u] = static_cast<int16_t>(Descale(p3406 - q2275 - odd3, 21));
  }
  // Local copies of the table and the result rule out aliasing with the
  // caller's arrays.
  uint16_t table[64];
  int16_t result[64];
  std::memcpy(table, reciprocals, sizeof table);
  for (int i = 0; i < 64; ++i) result[i] = Quantise(out[i], table[i]);
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
