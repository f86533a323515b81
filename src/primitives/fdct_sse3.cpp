// The forward DCT of the vector levels (1 to 3): the flow graph multiplied
// out into 16 x 16-bit multiply-adds of constants scaled by 2^13, with an
// 11-bit shift after the first pass, eight columns (then eight rows) at a
// time. Coefficients can differ from level 0's in the last bit before
// quantisation; both stay within one of the exact transform.
//
// With ak = xk + x(7-k), dk = xk - x(7-k), e0, e3 = a0 +- a3, e1, e2 =
// a1 +- a2 and Sk = sqrt2 cos(k pi/16), one 8-point transform (gain 2 sqrt2
// over T.81's 1-D normalisation, like level 0's) is
//   X0 = e0 + e1, X4 = e0 - e1, X2 = S2 e3 + S6 e2, X6 = S6 e3 - S2 e2,
//   X1 = S1 d0 + S3 d1 + S5 d2 + S7 d3,   X3 = S3 d0 - S7 d1 - S1 d2 - S5 d3,
//   X5 = S5 d0 - S1 d1 + S7 d2 + S3 d3,   X7 = S7 d0 - S5 d1 + S3 d2 - S1 d3.
// The first pass (down the columns) keeps 2 fraction bits; its results lie
// within +-4096, so the second pass's butterflies stay within 16 bits. The
// second pass removes 13 + 2 + 3 bits (the two sqrt8 gains make 8).
//
// Quantisation is level 0's: saturate16(round-half-even(X r / 2^15)), which
// needs no saturation for these coefficients.
#include "primitives/dct_vector.h"
#include "primitives/fdct_levels.h"
#include "primitives/status.h"

namespace vv {
namespace sse3 {
namespace {

constexpr int kColumnShift = 11;
constexpr int kRowShift = 18;

// One 8-point forward transform of every lane of x[0..7], rounded and
// descaled by kShift into 16-bit out[0..7].
template <int kShift>
VV_ALWAYS_INLINE void Transform8(const __m128i* x, __m128i* out) {
  const __m128i a0 = _mm_add_epi16(x[0], x[7]), d0 = _mm_sub_epi16(x[0], x[7]);
  const __m128i a1 = _mm_add_epi16(x[1], x[6]), d1 = _mm_sub_epi16(x[1], x[6]);
  const __m128i a2 = _mm_add_epi16(x[2], x[5]), d2 = _mm_sub_epi16(x[2], x[5]);
  const __m128i a3 = _mm_add_epi16(x[3], x[4]), d3 = _mm_sub_epi16(x[3], x[4]);
  const __m128i e0 = _mm_add_epi16(a0, a3), e3 = _mm_sub_epi16(a0, a3);
  const __m128i e1 = _mm_add_epi16(a1, a2), e2 = _mm_sub_epi16(a1, a2);
  const Pairs<2> p01(e0, e1), p32(e3, e2), p03(d0, d3), p12(d1, d2);
  const __m128i bias = _mm_set1_epi32(1 << (kShift - 1));
  const Wide rounding{bias, bias};
  out[0] = Narrow<kShift>(p01.Times(Pair(kOne, kOne)) + rounding);
  out[4] = Narrow<kShift>(p01.Times(Pair(kOne, kMinusOne)) + rounding);
  out[2] = Narrow<kShift>(p32.Times(Pair(kS2, kS6)) + rounding);
  out[6] = Narrow<kShift>(p32.Times(Pair(kS6, kMinusS2)) + rounding);
  out[1] = Narrow<kShift>(p03.Times(Pair(kS1, kS7)) + p12.Times(Pair(kS3, kS5)) + rounding);
  out[3] = Narrow<kShift>(p03.Times(Pair(kS3, kMinusS5)) + p12.Times(Pair(kMinusS7, kMinusS1)) +
                          rounding);
  out[5] = Narrow<kShift>(p03.Times(Pair(kS5, kS3)) + p12.Times(Pair(kMinusS1, kS7)) + rounding);
  out[7] = Narrow<kShift>(p03.Times(Pair(kS7, kMinusS1)) + p12.Times(Pair(kMinusS5, kS3)) +
                          rounding);
}

// round-half-even(value x reciprocal / 2^15) for eight lanes, in 16-bit
// lanes: with v = 2 value, the high half of v x reciprocal is the floored
// quotient q and the low half twice the remainder, 2 rem. The quotient goes
// up when rem is above one half, or is one half and q is odd: when
// 2 rem + (q & 1) - 1, taken down to 0 at the least, reaches 2^15. The
// reciprocals are unsigned (32768 for a step of 1): where one has its top
// bit set, the signed high half lacks v x 2^16 / 2^16 = v. Coefficients of
// 8-bit samples stay within +-1100, so v and q need no saturation.
VV_ALWAYS_INLINE __m128i Quantise(__m128i value, __m128i reciprocal) {
  const __m128i v = _mm_add_epi16(value, value);
  const __m128i quotient = _mm_add_epi16(_mm_mulhi_epi16(v, reciprocal),
                                         _mm_and_si128(v, _mm_srai_epi16(reciprocal, 15)));
  const __m128i twiceRemainder = _mm_mullo_epi16(v, reciprocal);
  const __m128i odd = _mm_and_si128(quotient, _mm_set1_epi16(1));
  const __m128i test = _mm_subs_epu16(_mm_add_epi16(twiceRemainder, odd), _mm_set1_epi16(1));
  return _mm_add_epi16(quotient, _mm_srli_epi16(test, 15));
}

}  // namespace

int32_t FdctQuant8x8FromU8(int16_t* coefficients, const uint8_t* src, int32_t srcStep,
                           const uint16_t* reciprocals) {
  if (!coefficients || !src || !reciprocals) return StatusNullPointer;
  const __m128i zero = _mm_setzero_si128(), levelShift = _mm_set1_epi16(128);
  __m128i m[8];
  VV_UNROLL
  for (int y = 0; y < 8; ++y) {
    const __m128i bytes =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + static_cast<intptr_t>(srcStep) * y));
    m[y] = _mm_sub_epi16(_mm_unpacklo_epi8(bytes, zero), levelShift);
  }
  __m128i columns[8];
  Transform8<kColumnShift>(m, columns);
  Transpose8x8(columns);
  __m128i rows[8];
  Transform8<kRowShift>(columns, rows);
  Transpose8x8(rows);
  VV_UNROLL
  for (int v = 0; v < 8; ++v) {
    const __m128i table = _mm_loadu_si128(reinterpret_cast<const __m128i*>(reciprocals + 8 * v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(coefficients + 8 * v), Quantise(rows[v], table));
  }
  return StatusOk;
}

}  // namespace sse3
}  // namespace vv
