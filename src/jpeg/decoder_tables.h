// The records the marker parser fills and scan decoding and reconstruction
// read: quantisation tables, Huffman tables, the Huffman decode state and the
// colour-component records. The decoder embeds them as fixed arrays of four,
// indexed by the table or component number of the stream.
#pragma once

#include <cstdint>

#include "jpeg/streams.h"
#include "primitives/huffman_tables.h"

namespace vv {

class CJPEGDecoderQuantTable {
 public:
  CJPEGDecoderQuantTable();
  virtual ~CJPEGDecoderQuantTable();

  // 64 zig-zag 8-bit values: precision 0, dequant = widened, natural order.
  int32_t LoadQuant8(const uint8_t* zigzag);
  // 64 zig-zag 16-bit values: precision 1, dequant = floats, natural order.
  int32_t LoadQuant16(const uint16_t* zigzag);
  // Before scans of 12-bit frames: an 8-bit form becomes the float form.
  int32_t ConvertQuant8To16();
  // Before scans of 8-bit sequential frames: a 16-bit form becomes the
  // 16-bit integer dequant form, values kept as they are (no clamp to 255).
  int32_t ConvertQuant16To8();

  // Views of the two aligned storage areas.
  uint8_t* Raw8() { return raw_; }
  uint16_t* Raw16() { return reinterpret_cast<uint16_t*>(raw_); }
  uint16_t* Dequant16() { return reinterpret_cast<uint16_t*>(dequant_); }
  float* DequantFloat() { return reinterpret_cast<float*>(dequant_); }
  // The table for the fixed-point inverse transforms: null while the table
  // is in its 16-bit (float) form, which makes them fail.
  const uint16_t* IntegerDequant() { return precision == 0 ? Dequant16() : nullptr; }

  int32_t id = 0;
  int32_t precision = 0;  // 0: 8-bit form, 1: 16-bit form
  int32_t ready = 0;      // loaded at least once

 private:
  int32_t ConvertQuantToFloat();
  uint8_t rawStorage_[128 + 32];
  uint8_t dequantStorage_[256 + 32];
  uint8_t* raw_;      // 32-byte aligned inside rawStorage_: 64 bytes or 64 words
  uint8_t* dequant_;  // 32-byte aligned inside dequantStorage_: 64 words or 64 floats
};

class CJPEGDecoderHuffmanTable {
 public:
  CJPEGDecoderHuffmanTable() = default;
  virtual ~CJPEGDecoderHuffmanTable();

  // Takes a decode structure of the size the primitive layer reports: 0, -2
  // when the size query fails, -6 when the allocation fails.
  int32_t AllocateHuffmanTable();
  // Defines the table from BITS and HUFFVAL (allocating first when needed):
  // 0, -6, or -10 when the counts are rejected.
  int32_t BuildHuffmanTable(const uint8_t* bitCounts, const uint8_t* huffValues, int32_t tableId,
                            int32_t tableClassValue);
  // Back to undefined, without a decode structure (every frame starts so).
  void ResetHuffmanTable();

  uint8_t storageMissing = 1;
  uint8_t defined = 0;
  uint8_t bits[16] = {};
  uint8_t values[256] = {};
  HuffmanDecodeSpec* decodeSpec = nullptr;  // aligned memory, owned
  int32_t id = 0;
  int32_t tableClass = 0;  // 0 DC, 1 AC
};

class CJPEGDecoderHuffmanState {
 public:
  CJPEGDecoderHuffmanState() = default;
  virtual ~CJPEGDecoderHuffmanState();
  // Takes the block once per frame; a failure is not reported here (the
  // first Reset then fails).
  void Allocate();
  void Release();
  // Zeroes the state at the start of a scan and at every restart: 0 or -2.
  int32_t Reset();

  HuffmanDecodeState* state = nullptr;  // aligned memory, owned
};

// One frame component, shared by decoder and encoder.
class CJPEGColorComponent {
 public:
  CJPEGColorComponent() = default;
  virtual ~CJPEGColorComponent();
  // Releases the buffers (per frame, and at destruction).
  void ReleaseBuffers();

  int32_t id = 0;
  int32_t index = 0;
  int32_t hSampling = 0;
  int32_t vSampling = 0;
  int32_t hRatio = 0;
  int32_t vRatio = 0;
  int32_t blocksInMcu = 0;
  int32_t quantSelector = 0;
  int32_t dcSelector = 0;
  int32_t acSelector = 0;
  int32_t scanComplete = 0;
  int32_t mcuLines = 0;
  int32_t planeStep = 0;
  int32_t planeSize = 0;
  int32_t ownLines = 0;
  int32_t ownStep = 0;
  int32_t ownSize = 0;
  int32_t needsUpsampling = 0;
  int16_t lastDc = 0;
  CMemoryBuffer plane;
  CMemoryBuffer ownPlane;
  CMemoryBuffer blockInfo;
  int32_t blocksInMcuRow = 0;
  uint16_t* losslessRows[2] = {nullptr, nullptr};  // aligned memory, owned
};

}  // namespace vv
