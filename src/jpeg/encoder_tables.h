// The encoder's own records: its quantisation and Huffman tables, the
// Huffman coder state and the byte buffer between the entropy coder and the
// output stream. CJPEGEncoder embeds them by value.
//
// Every operation returns an encoder status: 0, -2 a primitive failed,
// -4 the buffer position lies beyond its capacity, -5 the stream took fewer
// bytes than it was given, -6 an allocation failed.
#pragma once

#include <cstdint>

#include "jpeg/streams.h"
#include "primitives/huffman_tables.h"

namespace vv {

class CJPEGEncoderQuantTable {
 public:
  // Zeroes both storage areas and fixes the aligned views into them.
  CJPEGEncoderQuantTable();
  virtual ~CJPEGEncoderQuantTable();
  CJPEGEncoderQuantTable(const CJPEGEncoderQuantTable&) = delete;
  CJPEGEncoderQuantTable& operator=(const CJPEGEncoderQuantTable&) = delete;

  // Loads one of the tables of T.81 Annex K (64 bytes, natural order) as
  // table `tableId`: stores it in zig-zag order as the DQT segment carries
  // it, scales it for `quality` unless quality is 0, and builds the forward
  // transform's reciprocals. 0, or -2 when the scaling rejects the quality
  // (quality < 0) or a primitive fails; ready is set only on success.
  int32_t Load(const uint8_t* natural, int32_t tableId, int32_t quality);

  // The 64 entries in zig-zag order, as written into the DQT segment.
  const uint8_t* Zigzag8() const { return table8_; }
  // Q15 reciprocals in natural order for FdctQuant8x8FromU8.
  const uint16_t* Reciprocals() const { return reciprocal16_; }

  int32_t ready = 0;
  int32_t id = 0;         // Tq
  int32_t precision = 0;  // Pq: always 0, 8-bit entries

 private:
  uint8_t tableStorage_[128 + 31];
  uint8_t derivedStorage_[256 + 31];
  uint8_t* table8_;          // aligned inside tableStorage_
  uint16_t* table16_;        // the same address, 16-bit view
  uint16_t* reciprocal16_;   // aligned inside derivedStorage_
  float* derivedFloat_;      // the same address, float view (unused by 8-bit tables)
};

class CJPEGEncoderHuffmanTable {
 public:
  CJPEGEncoderHuffmanTable() = default;
  virtual ~CJPEGEncoderHuffmanTable();
  CJPEGEncoderHuffmanTable(const CJPEGEncoderHuffmanTable&) = delete;
  CJPEGEncoderHuffmanTable& operator=(const CJPEGEncoderHuffmanTable&) = delete;

  // Takes a new encode spec of the size the primitive layer reports,
  // releasing any old one: 0, -2 (size query failed), -6 (no memory; then
  // no spec is held).
  int32_t Create();
  // Stores id and class (each masked to 4 bits), copies 16 code counts and
  // 256 symbols and builds the encode spec: 0, or -2 when there is no spec
  // or the table is rejected.
  int32_t Init(int32_t tableId, int32_t tableClassValue, const uint8_t* bitCounts,
               const uint8_t* symbolValues);
  // Back to the zeroed state, without a spec.
  void Clear();

  // Number of symbols: the sum of the 16 counts.
  int32_t SymbolCount() const;

  HuffmanEncodeSpec* encodeSpec = nullptr;  // aligned memory, owned
  int32_t id = 0;          // Th
  int32_t tableClass = 0;  // 0 DC, 1 AC
  uint8_t bits[16] = {};
  uint8_t values[256] = {};
};

class CJPEGEncoderHuffmanState {
 public:
  CJPEGEncoderHuffmanState() = default;
  virtual ~CJPEGEncoderHuffmanState();
  CJPEGEncoderHuffmanState(const CJPEGEncoderHuffmanState&) = delete;
  CJPEGEncoderHuffmanState& operator=(const CJPEGEncoderHuffmanState&) = delete;

  // Replaces the state block with a new one of the size the primitive
  // layer reports: 0, -2 (size query failed), -6 (no memory).
  int32_t Allocate();
  void Release();

  HuffmanEncodeState* state = nullptr;  // aligned memory, owned
};

// Bytes on their way to the output stream. Header bytes arrive through
// WriteByte; the entropy coder writes into `buffer` at `position` directly.
class CBitStreamOutput {
 public:
  CBitStreamOutput() = default;
  virtual ~CBitStreamOutput();
  CBitStreamOutput(const CBitStreamOutput&) = delete;
  CBitStreamOutput& operator=(const CBitStreamOutput&) = delete;

  // Releases any old buffer and takes a new one of `bytes` bytes, empty and
  // with nothing flushed: 0, or -6 with capacity 0 and no buffer.
  int32_t Allocate(int32_t bytes);
  // Releases the buffer and zeroes capacity, position and flushed; the
  // stream stays attached.
  void Release();

  // Stores one byte, first handing the whole buffer to the stream when it
  // is full: 0, -4 (position beyond capacity), -5 (short write, or no
  // stream or buffer).
  int32_t WriteByte(uint8_t value);
  // Hands the held bytes to the stream unless minFree is non-zero and more
  // than minFree bytes are still free: 0, -4, -5.
  int32_t FlushBuffer(int32_t minFree);

  CBaseStreamOutput* stream = nullptr;  // not owned
  uint8_t* buffer = nullptr;            // aligned memory, owned
  int32_t capacity = 0;
  int32_t position = 0;   // bytes held
  uint32_t flushed = 0;   // bytes handed to the stream so far

 private:
  // Hands the position bytes to the stream and empties the buffer.
  int32_t Drain();
};

}  // namespace vv
