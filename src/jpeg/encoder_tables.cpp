#include "jpeg/encoder_tables.h"

#include <cstring>

#include "primitives/aligned_memory.h"
#include "primitives/quant_tables.h"
#include "primitives/tables.h"

namespace vv {

CJPEGEncoderQuantTable::CJPEGEncoderQuantTable() {
  std::memset(tableStorage_, 0, sizeof tableStorage_);
  std::memset(derivedStorage_, 0, sizeof derivedStorage_);
  table8_ = static_cast<uint8_t*>(AlignPointer(tableStorage_, 32));
  table16_ = reinterpret_cast<uint16_t*>(table8_);
  reciprocal16_ = static_cast<uint16_t*>(AlignPointer(derivedStorage_, 32));
  // Room for a float table is kept so that 16-bit (12-bit sample) tables
  // could share the layout; 8-bit baseline output never fills it.
  derivedFloat_ = reinterpret_cast<float*>(reciprocal16_);
}

CJPEGEncoderQuantTable::~CJPEGEncoderQuantTable() {
  ready = id = precision = 0;
  std::memset(tableStorage_, 0, sizeof tableStorage_);
  std::memset(derivedStorage_, 0, sizeof derivedStorage_);
}

int32_t CJPEGEncoderQuantTable::Load(const uint8_t* natural, int32_t tableId, int32_t quality) {
  ready = 0;
  id = tableId;
  precision = 0;
  for (int32_t k = 0; k < 64; ++k) table8_[k] = natural[kZigzagToNatural[k]];
  if (quality != 0 && ScaleQuantTable8u(table8_, quality) != StatusOk) return -2;
  // Any non-zero status counts, the zero-divisor warning included: scaled
  // entries are at least 1, so it would mean a damaged table.
  if (BuildQuantTableFwd8u(table8_, reciprocal16_) != StatusOk) return -2;
  ready = 1;
  return 0;
}

CJPEGEncoderHuffmanTable::~CJPEGEncoderHuffmanTable() { Clear(); }

int32_t CJPEGEncoderHuffmanTable::Create() {
  int32_t bytes = 0;
  if (GetHuffmanEncodeSpecSize(&bytes) != StatusOk) return -2;
  AlignedFree(encodeSpec);
  encodeSpec = static_cast<HuffmanEncodeSpec*>(AlignedAlloc(bytes));
  return encodeSpec != nullptr ? 0 : -6;
}

int32_t CJPEGEncoderHuffmanTable::Init(int32_t tableId, int32_t tableClassValue,
                                       const uint8_t* bitCounts, const uint8_t* symbolValues) {
  id = tableId & 15;
  tableClass = tableClassValue & 15;
  std::memcpy(bits, bitCounts, sizeof bits);
  std::memcpy(values, symbolValues, sizeof values);
  if (encodeSpec == nullptr) return -2;
  return BuildHuffmanEncodeSpec(bits, values, encodeSpec) == StatusOk ? 0 : -2;
}

void CJPEGEncoderHuffmanTable::Clear() {
  AlignedFree(encodeSpec);
  encodeSpec = nullptr;
  id = tableClass = 0;
  std::memset(bits, 0, sizeof bits);
  std::memset(values, 0, sizeof values);
}

int32_t CJPEGEncoderHuffmanTable::SymbolCount() const {
  int32_t count = 0;
  for (uint8_t n : bits) count += n;
  return count;
}

CJPEGEncoderHuffmanState::~CJPEGEncoderHuffmanState() { Release(); }

int32_t CJPEGEncoderHuffmanState::Allocate() {
  int32_t bytes = 0;
  if (GetHuffmanEncodeStateSize(&bytes) != StatusOk) return -2;
  Release();
  state = static_cast<HuffmanEncodeState*>(AlignedAlloc(bytes));
  return state != nullptr ? 0 : -6;
}

void CJPEGEncoderHuffmanState::Release() {
  AlignedFree(state);
  state = nullptr;
}

CBitStreamOutput::~CBitStreamOutput() {
  Release();
  stream = nullptr;
}

int32_t CBitStreamOutput::Allocate(int32_t bytes) {
  Release();
  buffer = static_cast<uint8_t*>(AlignedAlloc(bytes));
  if (buffer == nullptr) return -6;
  capacity = bytes;
  return 0;
}

void CBitStreamOutput::Release() {
  AlignedFree(buffer);
  buffer = nullptr;
  capacity = position = 0;
  flushed = 0;
}

int32_t CBitStreamOutput::Drain() {
  if (position == 0) return 0;
  if (stream == nullptr) return -5;
  int32_t written = 0;
  const int32_t status = stream->Write(buffer, position, &written);
  if (written > 0) flushed += static_cast<uint32_t>(written);
  if (status != 0 || written != position) return -5;
  position = 0;
  return 0;
}

int32_t CBitStreamOutput::WriteByte(uint8_t value) {
  if (position >= capacity) {
    if (position > capacity) return -4;
    const int32_t status = Drain();
    if (status != 0) return status;
  }
  // Without a buffer (capacity 0) nothing can be stored; the stream never
  // sees the byte, which is a short write.
  if (buffer == nullptr || position >= capacity) return -5;
  buffer[position++] = value;
  return 0;
}

int32_t CBitStreamOutput::FlushBuffer(int32_t minFree) {
  if (position > capacity) return -4;
  if (minFree != 0 && capacity - position > minFree) return 0;
  return Drain();
}

}  // namespace vv
