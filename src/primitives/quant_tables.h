// Quantisation tables: quality scaling, the decoder's dequantisation table,
// the encoder's Q15 reciprocal table, and the standard tables of ITU-T T.81
// Annex K.
//
// Tables handed to the transforms are 64 unsigned 16-bit values in natural
// (row-major) order. Tables as they travel in a DQT segment are in zig-zag
// order. Checks run before any work; a failing call writes nothing.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// T.81 Table K.1 (luminance) and K.2 (chrominance), natural order. These are
// the quality-50 tables of ScaleQuantTable8u.
extern const uint8_t kStdLuminanceQuant[64];
extern const uint8_t kStdChrominanceQuant[64];

// Scales a table of 64 bytes in place for `quality`:
//   s = 5000 / quality (integer division) for quality < 50, else 200 - 2 * quality;
//   v = clamp((v * s + 50) / 100, 1, 255), division toward zero.
// Quality 50 keeps every non-zero entry, qualities of 100 and above give all
// ones. The order of the entries does not matter.
// Fails with StatusNullPointer, or StatusBadArgument when quality < 1.
int32_t ScaleQuantTable8u(uint8_t* table, int32_t quality);

// Widens a 64-byte table in zig-zag order (as a DQT segment holds it) into
// the 64 x 16-bit dequantisation table in natural order that the inverse
// transforms take. Fails with StatusNullPointer.
int32_t BuildDequantTable8u(const uint8_t* zigzag, uint16_t* natural);

// Builds the forward transform's reciprocal table from a 64-byte table in
// zig-zag order: natural-order entries floor(32768 / q + 0.5), a Q15
// fraction (32768 for q = 1, 129 for q = 255). An entry of 0 becomes 65535
// and the call completes with the warning StatusDivideByZero (the whole
// table is still written). Fails with StatusNullPointer.
int32_t BuildQuantTableFwd8u(const uint8_t* zigzag, uint16_t* reciprocals);

// Reorders 64 x 16-bit values from zig-zag to natural order:
// natural[n] = zigzag[zig-zag position of n]. The two arrays may overlap
// (in-place reordering works). Fails with StatusNullPointer.
int32_t ZigzagToNatural16(const uint16_t* zigzag, uint16_t* natural);

}  // namespace vv
