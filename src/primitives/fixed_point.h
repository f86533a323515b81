// Fixed-point helpers shared by the forward and inverse transforms (internal
// to the primitive layer).
#pragma once

#include <cstdint>

#include "primitives/compiler.h"

namespace vv {

// Sums are carried as uint32_t so that wrap-around is defined: a product can
// pass 2^31 on legal input (the forward transform's column pass reaches about
// 2.5e9 on some 0/255 patterns) and corrupt coefficients can provoke more,
// while the sums the transforms keep always fit, so arithmetic modulo 2^32
// gives them exactly.
using Sum = uint32_t;

inline Sum AsSum(int32_t v) { return static_cast<Sum>(v); }

// A sum rounded and shifted back into a signed value (arithmetic shift: two's
// complement on every compiler this library is built with).
inline int32_t Descale(Sum x, int shift) {
  return static_cast<int32_t>(x + (Sum{1} << (shift - 1))) >> shift;
}

// The forms the level-0 code gives products of two 16-bit values, which
// baseline SSE2 forms eight at a time: the whole product as a sum, and its
// signed high and unsigned low 16-bit halves (product = 2^16 high + low).
VV_ALWAYS_INLINE Sum Product(int16_t x, int16_t k) { return AsSum(int32_t{x} * int32_t{k}); }
VV_ALWAYS_INLINE int16_t HighHalf(int16_t x, int16_t k) {
  return static_cast<int16_t>((int32_t{x} * k) >> 16);
}
VV_ALWAYS_INLINE uint16_t LowHalf(int16_t x, int16_t k) {
  return static_cast<uint16_t>(int32_t{x} * k);
}

}  // namespace vv
