// Inverse DCT with dequantisation: one 8x8 block of coefficients to samples.
//
// Every form takes (coefficients, destination, destination row step in
// bytes, dequantisation table). Coefficients are 64 signed 16-bit values in
// natural (row-major) order: index 8v + u holds vertical frequency v and
// horizontal frequency u. The dequantisation table is 64 step sizes in
// natural order (BuildDequantTable8u). Dequantisation is coefficient x step,
// saturated to signed 16 bits, except in the DC-only form.
//
// Steps are not checked: any step, zero or negative included, is used as
// given (a negative step writes the rows upwards), and the caller answers
// for the memory it names. The only failure is a null pointer, which gives
// StatusNullPointer before anything is written.
//
// The 8-bit forms compute the transform of ITU-T T.81 A.3.3 in 32-bit fixed
// point, add 128 and clamp to 0..255. Corrupt data never overflows into
// undefined behaviour: the column pass saturates what it keeps to 16 bits
// and the other sums wrap modulo 2^32, so absurd inputs give a defined but
// meaningless block. That arithmetic is processor level 0's; from level 1
// on, the full and sparse forms use 16-bit multiply-adds (idct_sse3.cpp)
// and may differ from it in the last bit, with the same guarantees.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// Full transform, column pass then row pass along the
// Loeffler-Ligtenberg-Moschytz flow graph; the column pass keeps three
// fraction bits in 16 bits, the row pass rounds once at the end. Within one
// of the correctly rounded T.81 result on real data.
int32_t DequantIdct8x8ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                           const uint16_t* quant);

// Only coefficients[0] and quant[0] are read: every sample becomes
// clamp(((dc * q0) >> 3) + 128) with an arithmetic (flooring) shift and no
// saturation of the product. The full transform rounds instead, so for a
// DC-only block the two can differ by one.
int32_t DequantIdctDcOnlyToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant);

// The full transform for blocks whose coefficients outside rows 0..3 and
// columns 0..3 are zero: bit-equal to DequantIdct8x8ToU8 on such blocks, and
// reads only the top-left 4x4 of coefficients and quant.
int32_t DequantIdct8x8Low4x4ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant);

// As above for blocks that are zero outside rows 0..1 and columns 0..1;
// reads only the top-left 2x2.
int32_t DequantIdct8x8Low2x2ToU8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                                 const uint16_t* quant);

// Half-scale output: 4x4 samples, each close to the mean of the 2x2 samples
// the full transform would give there. Frequency 4 (row or column) is never
// read, since it cancels in every 2x2 mean.
int32_t DequantIdct8x8To4x4U8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant);

// Quarter-scale output: 2x2 samples, each close to the mean of a 4x4
// quadrant of the full transform. Only frequencies 0, 1, 3, 5 and 7 are read.
int32_t DequantIdct8x8To2x2U8(const int16_t* coefficients, uint8_t* dst, int32_t dstStep,
                              const uint16_t* quant);

// 12-bit samples: coefficient x quant[i] in single precision (no
// saturation), the T.81 A.3.3 inverse transform in single precision, then
// round(value + 2048) clamped to 0..4095 into 16-bit samples. dstStep is in
// bytes. Non-finite step sizes give defined samples: infinities clamp like
// any large value and NaN becomes 0.
int32_t DequantIdct8x8To16uFloat(const int16_t* coefficients, uint16_t* dst, int32_t dstStep,
                                 const float* quant);

}  // namespace vv
