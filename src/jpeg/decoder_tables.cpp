#include "jpeg/decoder_tables.h"

#include <cstring>

#include "primitives/aligned_memory.h"
#include "primitives/data_movement.h"
#include "primitives/quant_tables.h"

namespace vv {

CJPEGDecoderQuantTable::CJPEGDecoderQuantTable() {
  std::memset(rawStorage_, 0, sizeof rawStorage_);
  std::memset(dequantStorage_, 0, sizeof dequantStorage_);
  raw_ = static_cast<uint8_t*>(AlignPointer(rawStorage_, 32));
  dequant_ = static_cast<uint8_t*>(AlignPointer(dequantStorage_, 32));
}

CJPEGDecoderQuantTable::~CJPEGDecoderQuantTable() {
  id = precision = ready = 0;
  std::memset(rawStorage_, 0, sizeof rawStorage_);
  std::memset(dequantStorage_, 0, sizeof dequantStorage_);
}

int32_t CJPEGDecoderQuantTable::LoadQuant8(const uint8_t* zigzag) {
  if (CopyBytes(zigzag, raw_, 64) != 0) return -2;
  precision = 0;
  return BuildDequantTable8u(raw_, Dequant16()) == 0 ? 0 : -2;
}

int32_t CJPEGDecoderQuantTable::LoadQuant16(const uint16_t* zigzag) {
  if (Copy16(reinterpret_cast<const int16_t*>(zigzag), reinterpret_cast<int16_t*>(raw_), 64) != 0)
    return -2;
  precision = 1;
  return ConvertQuantToFloat();
}

int32_t CJPEGDecoderQuantTable::ConvertQuantToFloat() {
  alignas(32) uint16_t natural[64];
  if (ZigzagToNatural16(Raw16(), natural) != 0) return -2;
  float* out = DequantFloat();
  for (int i = 0; i < 64; ++i) out[i] = static_cast<float>(natural[i]);
  return 0;
}

int32_t CJPEGDecoderQuantTable::ConvertQuant8To16() {
  alignas(32) uint16_t widened[64];
  const ImageSize block{8, 8};
  if (Convert8uTo16uImage(raw_, 8, widened, 16, block) != 0) return -2;
  if (CopyImage16(reinterpret_cast<const int16_t*>(widened), 16,
                  reinterpret_cast<int16_t*>(raw_), 16, block) != 0) {
    return -2;
  }
  if (ConvertQuantToFloat() != 0) return -2;
  precision = 1;
  ready = 1;
  return 0;
}

int32_t CJPEGDecoderQuantTable::ConvertQuant16To8() {
  if (ZigzagToNatural16(Raw16(), Dequant16()) != 0) return -2;
  precision = 0;
  ready = 1;
  return 0;
}

CJPEGDecoderHuffmanTable::~CJPEGDecoderHuffmanTable() {
  AlignedFree(decodeSpec);
  decodeSpec = nullptr;
}

int32_t CJPEGDecoderHuffmanTable::AllocateHuffmanTable() {
  int32_t bytes = 0;
  if (GetHuffmanDecodeSpecSize(&bytes) != 0) return -2;
  AlignedFree(decodeSpec);
  decodeSpec = static_cast<HuffmanDecodeSpec*>(AlignedAlloc(bytes));
  if (decodeSpec == nullptr) {
    storageMissing = 1;
    defined = 0;
    return -6;
  }
  storageMissing = 0;
  defined = 0;
  return 0;
}

int32_t CJPEGDecoderHuffmanTable::BuildHuffmanTable(const uint8_t* bitCounts,
                                                    const uint8_t* huffValues, int32_t tableId,
                                                    int32_t tableClassValue) {
  if (storageMissing) {
    const int32_t status = AllocateHuffmanTable();
    if (status != 0) return status;
  }
  id = tableId;
  tableClass = tableClassValue;
  CopyBytes(bitCounts, bits, 16);
  CopyBytes(huffValues, values, 256);
  if (BuildHuffmanDecodeSpec(bits, values, decodeSpec) != 0) return -10;
  storageMissing = 0;
  defined = 1;
  return 0;
}

void CJPEGDecoderHuffmanTable::ResetHuffmanTable() {
  id = 0;
  tableClass = 0;
  std::memset(bits, 0, sizeof bits);
  std::memset(values, 0, sizeof values);
  AlignedFree(decodeSpec);
  decodeSpec = nullptr;
  storageMissing = 1;
  defined = 0;
}

CJPEGDecoderHuffmanState::~CJPEGDecoderHuffmanState() { Release(); }

void CJPEGDecoderHuffmanState::Allocate() {
  Release();
  int32_t bytes = 0;
  if (GetHuffmanDecodeStateSize(&bytes) != 0) return;
  state = static_cast<HuffmanDecodeState*>(AlignedAlloc(bytes));
}

void CJPEGDecoderHuffmanState::Release() {
  AlignedFree(state);
  state = nullptr;
}

int32_t CJPEGDecoderHuffmanState::Reset() {
  return InitHuffmanDecodeState(state) == 0 ? 0 : -2;
}

CJPEGColorComponent::~CJPEGColorComponent() { ReleaseBuffers(); }

void CJPEGColorComponent::ReleaseBuffers() {
  plane.Release();
  ownPlane.Release();
  blockInfo.Release();
  AlignedFree(losslessRows[0]);
  AlignedFree(losslessRows[1]);
  losslessRows[0] = losslessRows[1] = nullptr;
}

}  // namespace vv
