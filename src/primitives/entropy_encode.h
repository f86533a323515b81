// Huffman entropy encoding of sequential DCT blocks (T.81 F.1.2).
#pragma once
#include <cstdint>

#include "primitives/huffman_tables.h"
#include "primitives/status.h"

namespace vv {

// Encodes one block of 64 coefficients (natural order) into
// destination[*offset ..capacity), advancing *offset: the DC difference
// against *lastDc (which then holds coefficient 0), then the AC coefficients
// in zig-zag order with ZRL for runs of 16 zeros and EOB after the last
// non-zero one. A 0xFF byte is always followed by a stuffed 0x00. Partial
// bytes stay in the state (at most 7 bits).
//
// With flush non-zero, codes nothing but ends the entropy-coded segment:
// the pending bits are completed with 1-bits to a whole byte (nothing is
// written when none are pending) and the state is reset as by
// InitHuffmanEncodeState; coefficients, lastDc and the specs may then be null.
//
// Checks before any work: StatusNullPointer for a null destination, offset
// or state (without flush also for a null coefficients, lastDc or spec);
// StatusSizeError for a capacity below 1; StatusBadArgument for an *offset
// outside 0..capacity or a state with pending bits outside 0..7.
//
// While coding: StatusBadTable for a symbol without code (including any AC
// value of category 16, which has no symbol); StatusBufferEnd when a byte
// does not fit. Each code is committed to the state only after all of its
// whole bytes were written, so a failing code leaves the state as it was
// before that code, while *offset counts the bytes that did fit. *lastDc is
// updated before the first code is sent.
int32_t EncodeHuffmanBlock8x8(const int16_t* coefficients, uint8_t* destination, int32_t capacity,
                              int32_t* offset, int16_t* lastDc, const HuffmanEncodeSpec* dcSpec,
                              const HuffmanEncodeSpec* acSpec, HuffmanEncodeState* state,
                              int32_t flush);

}  // namespace vv
