// Building blocks of the vector-level transforms (internal to the primitive
// layer; included by the level files only, which compile them for their own
// instruction set): 16 x 16-bit multiply-adds of constant pairs into 32-bit
// sums, and the 8x8 transpose of 16-bit values.
#pragma once
#include <emmintrin.h>

#include <cstdint>

#include "primitives/compiler.h"

namespace vv {
namespace {

// sqrt2 ck for k = 1, 7, 3, 5, 2, 6 times 2^13, ck = cos(k pi/16)
// (c1 + c7 = sqrt2 c3, c1 - c7 = sqrt2 c5, c3 + c5 = sqrt2 c1 and
// c3 - c5 = sqrt2 c7, so six constants serve every term).
constexpr int16_t kS1 = 11363, kS7 = 2260, kS3 = 9633, kS5 = 6436, kS2 = 10703, kS6 = 4433;
constexpr int16_t kMinusS1 = -kS1, kMinusS7 = -kS7, kMinusS5 = -kS5;
constexpr int16_t kMinusS2 = -kS2;
constexpr int16_t kOne = 8192, kMinusOne = -8192;

// A multiply-add operand: a for the even lanes (first input of a pair), b
// for the odd ones.
inline __m128i Pair(int16_t a, int16_t b) { return _mm_set_epi16(b, a, b, a, b, a, b, a); }

// Eight 32-bit results in two halves: lanes 0..3 and 4..7 of the inputs.
struct Wide {
  __m128i low, high;
};

inline Wide operator+(Wide a, Wide b) {
  return {_mm_add_epi32(a.low, b.low), _mm_add_epi32(a.high, b.high)};
}
inline Wide operator-(Wide a, Wide b) {
  return {_mm_sub_epi32(a.low, b.low), _mm_sub_epi32(a.high, b.high)};
}

// The interleaved pairs (x, y) of every lane, for the multiply-adds. With
// kHalves = 1 only lanes 0..3 are used.
template <int kHalves>
struct Pairs {
  __m128i low, high;
  Pairs(__m128i x, __m128i y)
      : low(_mm_unpacklo_epi16(x, y)),
        high(kHalves == 2 ? _mm_unpackhi_epi16(x, y) : _mm_setzero_si128()) {}
  Wide Times(__m128i k) const {
    return {_mm_madd_epi16(low, k), kHalves == 2 ? _mm_madd_epi16(high, k) : _mm_setzero_si128()};
  }
};

// Each 32-bit lane shifted right by kShift (arithmetic), then both halves
// packed to 16 bits with saturation.
template <int kShift>
VV_ALWAYS_INLINE __m128i Narrow(Wide x) {
  return _mm_packs_epi32(_mm_srai_epi32(x.low, kShift), _mm_srai_epi32(x.high, kShift));
}

// Transposes the 8x8 matrix of 16-bit values held one row per register.
VV_ALWAYS_INLINE void Transpose8x8(__m128i* m) {
  const __m128i a0 = _mm_unpacklo_epi16(m[0], m[1]), a1 = _mm_unpackhi_epi16(m[0], m[1]);
  const __m128i a2 = _mm_unpacklo_epi16(m[2], m[3]), a3 = _mm_unpackhi_epi16(m[2], m[3]);
  const __m128i a4 = _mm_unpacklo_epi16(m[4], m[5]), a5 = _mm_unpackhi_epi16(m[4], m[5]);
  const __m128i a6 = _mm_unpacklo_epi16(m[6], m[7]), a7 = _mm_unpackhi_epi16(m[6], m[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  m[0] = _mm_unpacklo_epi64(b0, b4);
  m[1] = _mm_unpackhi_epi64(b0, b4);
  m[2] = _mm_unpacklo_epi64(b1, b5);
  m[3] = _mm_unpackhi_epi64(b1, b5);
  m[4] = _mm_unpacklo_epi64(b2, b6);
  m[5] = _mm_unpackhi_epi64(b2, b6);
  m[6] = _mm_unpacklo_epi64(b3, b7);
  m[7] = _mm_unpackhi_epi64(b3, b7);
}

}  // namespace
}  // namespace vv
