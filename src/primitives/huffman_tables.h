// Huffman code tables and coder state records of the entropy primitives,
// their size queries, builders and initialisers, and the standard tables of
// ITU-T T.81 Annex K.
//
// The codec allocates every record itself, with the size the matching query
// reports, and passes it in; no primitive allocates. All functions return a
// primitive status (status.h). A failing call writes nothing.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// Decoding structure of one Huffman table (T.81 Annex C and F.2.2.3).
struct HuffmanDecodeSpec {
  uint16_t symbols[256];     // HUFFVAL in code order; 0 past the last code
  uint32_t fastLookup[256];  // by the next 8 stream bits: symbol | length << 16
                             // for codes of length 1..8, 0 for anything else
  uint16_t minCode[18];      // first code of each length (index = length)
  uint16_t maxCode[18];      // last code of each length; 0xFFFF: no code of that
                             // length (entries 0 and 17 always 0xFFFF)
  uint16_t valPtr[18];       // index into symbols of the first code of each
                             // length; valPtr[17] = number of codes
};

// Bit input and band state of the decoder for one scan.
struct HuffmanDecodeState {
  uint64_t bitAccumulator;   // the valid bits are the low bitCount bits (at most 32)
  int32_t bitCount;          // 0..32
  int32_t eobRun;            // remaining end-of-band run (progressive AC scans)
  int32_t coefficientCount;  // zig-zag positions the last sequential block covered
  int32_t reserved;          // keeps the record at 24 bytes; always 0
};

// Encoding structure of one Huffman table: by symbol, code | length << 16;
// 0 for a symbol without a code.
struct HuffmanEncodeSpec {
  uint32_t codes[256];
};

// Bit output state of the encoder. The pending bits sit left-aligned under
// bit 23 of the accumulator; there are never more than 7 between calls.
struct HuffmanEncodeState {
  uint32_t bitAccumulator;
  int32_t pendingBits;
  uint8_t reserved[1040];  // the size the codec allocates (1048 bytes in all)
};

static_assert(sizeof(HuffmanDecodeSpec) == 1644, "decode spec layout");
static_assert(sizeof(HuffmanDecodeState) == 24, "decode state layout");
static_assert(sizeof(HuffmanEncodeSpec) == 1024, "encode spec layout");
static_assert(sizeof(HuffmanEncodeState) == 1048, "encode state layout");

// Size queries: store the byte size of the record in *size (1644, 24, 1024,
// 1048 respectively). StatusNullPointer for a null size.
int32_t GetHuffmanDecodeSpecSize(int32_t* size);
int32_t GetHuffmanDecodeStateSize(int32_t* size);
int32_t GetHuffmanEncodeSpecSize(int32_t* size);
int32_t GetHuffmanEncodeStateSize(int32_t* size);

// Zeroes the whole decode state (accumulator, bit count, EOB run,
// coefficient count). StatusNullPointer for a null state.
int32_t InitHuffmanDecodeState(HuffmanDecodeState* state);

// Zeroes the whole encode state. StatusNullPointer for a null state.
int32_t InitHuffmanEncodeState(HuffmanEncodeState* state);

// Builds the decoding structure of the table whose code counts are bits
// (bits[i] = number of codes of length i + 1) and whose symbols, in code
// order, are the first sum(bits) entries of vals (only those are read).
// Fails with StatusNullPointer for a null argument, StatusBadTable when the
// counts add up to more than 256. Codes that overflow their length are not
// rejected here; they simply never decode through the 8-bit lookup.
int32_t BuildHuffmanDecodeSpec(const uint8_t* bits, const uint8_t* vals, HuffmanDecodeSpec* spec);

// Builds the encoding structure of the same table description. Fails with
// StatusNullPointer for a null argument, StatusBadTable when the counts add
// up to more than 256 or a code does not fit its length (code >= 2^length).
// Symbols without a code get the entry 0. A symbol listed twice keeps the
// later code.
int32_t BuildHuffmanEncodeSpec(const uint8_t* bits, const uint8_t* vals, HuffmanEncodeSpec* spec);

// The standard tables of T.81 Annex K.3 (Tables K.3 to K.6): code counts and
// symbols. The symbol arrays are zero-padded to 256 entries so that callers
// can copy them like any table read from a stream.
extern const uint8_t kStdDcLuminanceBits[16];
extern const uint8_t kStdDcLuminanceValues[256];
extern const uint8_t kStdDcChrominanceBits[16];
extern const uint8_t kStdDcChrominanceValues[256];
extern const uint8_t kStdAcLuminanceBits[16];
extern const uint8_t kStdAcLuminanceValues[256];
extern const uint8_t kStdAcChrominanceBits[16];
extern const uint8_t kStdAcChrominanceValues[256];

}  // namespace vv
