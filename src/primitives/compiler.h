// Compiler and machine facts shared by the primitive implementations
// (internal to the primitive layer).
#pragma once

// Helpers whose arguments must stay in registers: the hot loops slow down
// badly when a helper is left out of line and takes their address.
#if defined(__GNUC__)
#define VV_ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define VV_ALWAYS_INLINE __forceinline
#else
#define VV_ALWAYS_INLINE inline
#endif

// The 8-element loops of the transforms are meant to become straight-line
// code; GCC does not always unroll them fully at -O2 on its own.
#if defined(__GNUC__)
#define VV_UNROLL _Pragma("GCC unroll 8")
#else
#define VV_UNROLL
#endif

namespace vv {

// Whether bytes in memory run from the least significant end of a word.
#if defined(__BYTE_ORDER__)
constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
#else
constexpr bool kLittleEndian = true;  // every x86 and Windows target
#endif

}  // namespace vv
