// Huffman entropy decoding of DCT blocks (sequential and progressive, T.81
// Annexes F and G) and of lossless differences (T.81 Annex H).
//
// Every decoder reads from (src, length, *offset), advancing *offset past the
// bytes it consumed, and keeps its bits in the HuffmanDecodeState between
// calls. Bytes enter the state's accumulator only when a step needs more
// bits than are held (fewer than 8 before a symbol), then one at a time until
// it holds at least 25 bits: 0xFF 0x00 is a data byte 0xFF, 0xFF followed by anything
// else (after any further 0xFF fill bytes) is a marker, whose second byte is
// stored in *marker with *offset set past it. Once *marker is non-zero
// nothing more is read: decoding continues on the bits still held and fails
// with StatusBadValue when it needs more. *marker is 0 until a marker is met.
//
// Argument checks, made before anything is touched, in this order: a null
// pointer gives StatusNullPointer; a source length below 1 (below 0 for
// DecodeHuffmanBlock8x8, which gives StatusBadArgument instead), a width or
// component count below 1 give StatusSizeError; Ss/Se/Al outside their range,
// an *offset outside 0..length, or a state whose bit count is outside 0..32
// or whose EOB run is negative give StatusBadArgument.
//
// Data errors end the call with the state, offset and marker as the last
// completed step left them: StatusBadValue (no code matched, a DC category
// above 16, or bits missing after a marker; a DC category of 16 reads 16
// bits taken as they stand, as no 8- or 12-bit stream holds one), StatusBufferEnd (the source
// ended before the bits needed). A source that ends inside a 0xFF sequence
// ends there: *offset stays on its first 0xFF, so that the sequence is read
// again once more data follows, and only a decode that needs more bits than
// are held fails.
//
// Corrupt runs that would carry a coefficient past zig-zag position 63 store
// it at position 63 instead (the block then counts as covering all 64
// positions); nothing is ever written outside the 64 coefficients.
// Coefficients are 16-bit in natural order; values are truncated to 16 bits.
// Only DecodeHuffmanBlock8x8 sets the state's coefficientCount; the others
// leave it alone.
#pragma once
#include <cstdint>

#include "primitives/huffman_tables.h"
#include "primitives/status.h"

namespace vv {

// One sequential block (T.81 F.2.2): zeroes the 64 coefficients, decodes the
// DC difference into *lastDc (16-bit arithmetic) and stores *lastDc as
// coefficient 0, then the AC coefficients with acSpec. Sets the state's
// coefficientCount on every exit after the checks: the number of zig-zag
// positions covered (1 for a DC-only block, at most 64, 0 when the DC part
// failed).
int32_t DecodeHuffmanBlock8x8(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, int16_t* lastDc, uint32_t* marker,
                              const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                              HuffmanDecodeState* state);

// First DC scan of a progressive frame (T.81 G.1.2.1): *lastDc += the decoded
// difference; coefficient 0 = *lastDc << al. Other coefficients untouched.
// al: 0..13.
int32_t DecodeHuffmanDcFirst(const uint8_t* src, int32_t length, int32_t* offset,
                             int16_t* coefficients, int16_t* lastDc, uint32_t* marker, int32_t al,
                             const HuffmanDecodeSpec* dcSpec, HuffmanDecodeState* state);

// DC refinement: reads one bit; when it is 1, sets bit al of coefficient 0.
// al: 0..13.
int32_t DecodeHuffmanDcRefine(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, uint32_t* marker, int32_t al,
                              HuffmanDecodeState* state);

// First AC scan of band ss..se (T.81 G.1.2.2): values stored as value << al;
// end-of-band runs carried in the state. 1 <= ss <= se <= 63, 0 <= al <= 13.
int32_t DecodeHuffmanAcFirst(const uint8_t* src, int32_t length, int32_t* offset,
                             int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se,
                             int32_t al, const HuffmanDecodeSpec* acSpec,
                             HuffmanDecodeState* state);

// AC refinement of band ss..se (T.81 G.1.2.3): new coefficients are +-(1 << al);
// a correction bit of 1 moves a non-zero coefficient whose bit al is clear
// away from zero by 1 << al. Same ranges as DecodeHuffmanAcFirst. A size
// other than 0 or 1 in a symbol (corrupt data) is read as 1.
int32_t DecodeHuffmanAcRefine(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se,
                              int32_t al, const HuffmanDecodeSpec* acSpec,
                              HuffmanDecodeState* state);

// One lossless difference (T.81 H.1.2.2): category 0 gives 0, 1..15 that many
// bits extended, 16 and above 32768 (stored as 0x8000) without reading bits.
// *out is written only on success.
int32_t DecodeHuffmanLosslessDiff(const uint8_t* src, int32_t length, int32_t* offset, int16_t* out,
                                  uint32_t* marker, const HuffmanDecodeSpec* spec,
                                  HuffmanDecodeState* state);

// One row of lossless differences: for each of the width sample positions,
// for each component in order, one difference as above into rows[c][x],
// decoded with specs[c]. Only the first 4 components are used when
// componentCount is larger. rows, specs and their first min(componentCount, 4)
// entries must be non-null. Samples before a failure stay written.
int32_t DecodeHuffmanLosslessRow(const uint8_t* src, int32_t length, int32_t* offset,
                                 int16_t* const* rows, int32_t width, int32_t componentCount,
                                 uint32_t* marker, const HuffmanDecodeSpec* const* specs,
                                 HuffmanDecodeState* state);

}  // namespace vv
