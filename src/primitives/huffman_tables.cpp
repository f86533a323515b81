#include "primitives/huffman_tables.h"

#include <cstring>

#include "primitives/dispatch.h"

namespace vv {

const uint8_t kStdDcLuminanceBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kStdDcLuminanceValues[256] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

const uint8_t kStdDcChrominanceBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kStdDcChrominanceValues[256] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

const uint8_t kStdAcLuminanceBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kStdAcLuminanceValues[256] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

const uint8_t kStdAcChrominanceBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t kStdAcChrominanceValues[256] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

namespace {

constexpr uint16_t kNoCode = 0xFFFF;

int32_t TotalCodes(const uint8_t* bits) {
  int32_t total = 0;
  for (int i = 0; i < 16; ++i) total += bits[i];
  return total;
}

}  // namespace

namespace level0 {

int32_t GetHuffmanDecodeSpecSize(int32_t* size) {
  if (size == nullptr) return StatusNullPointer;
  *size = static_cast<int32_t>(sizeof(HuffmanDecodeSpec));
  return StatusOk;
}

int32_t GetHuffmanDecodeStateSize(int32_t* size) {
  if (size == nullptr) return StatusNullPointer;
  *size = static_cast<int32_t>(sizeof(HuffmanDecodeState));
  return StatusOk;
}

int32_t GetHuffmanEncodeSpecSize(int32_t* size) {
  if (size == nullptr) return StatusNullPointer;
  *size = static_cast<int32_t>(sizeof(HuffmanEncodeSpec));
  return StatusOk;
}

int32_t GetHuffmanEncodeStateSize(int32_t* size) {
  if (size == nullptr) return StatusNullPointer;
  *size = static_cast<int32_t>(sizeof(HuffmanEncodeState));
  return StatusOk;
}

int32_t InitHuffmanDecodeState(HuffmanDecodeState* state) {
  if (state == nullptr) return StatusNullPointer;
  std::memset(state, 0, sizeof *state);
  return StatusOk;
}

int32_t InitHuffmanEncodeState(HuffmanEncodeState* state) {
  if (state == nullptr) return StatusNullPointer;
  std::memset(state, 0, sizeof *state);
  return StatusOk;
}

int32_t BuildHuffmanDecodeSpec(const uint8_t* bits, const uint8_t* vals, HuffmanDecodeSpec* spec) {
  if (bits == nullptr || vals == nullptr || spec == nullptr) return StatusNullPointer;
  const int32_t total = TotalCodes(bits);
  if (total > 256) return StatusBadTable;

  std::memset(spec, 0, sizeof *spec);
  for (int32_t k = 0; k < total; ++k) spec->symbols[k] = vals[k];

  // Codes are generated as in T.81 C.2 (consecutive within a length, shifted
  // left at each new length). They are kept in 32 bits: an over-full table
  // would carry them past 16 bits, and such codes must neither be matched nor
  // index the lookup beyond its end.
  uint32_t code = 0;
  int32_t k = 0;
  spec->maxCode[0] = kNoCode;
  for (int32_t length = 1; length <= 16; ++length) {
    const int32_t count = bits[length - 1];
    spec->valPtr[length] = static_cast<uint16_t>(k);
    spec->minCode[length] = static_cast<uint16_t>(code);
    if (count == 0) {
      spec->maxCode[length] = kNoCode;
    } else {
      for (int32_t i = 0; i < count; ++i, ++k, ++code) {
        if (length <= 8 && code < (1u << length)) {
          const uint32_t entry = spec->symbols[k] | static_cast<uint32_t>(length) << 16;
          const uint32_t first = code << (8 - length);
          for (uint32_t j = 0; j < (1u << (8 - length)); ++j) spec->fastLookup[first + j] = entry;
        }
      }
      // A last code beyond 16 bits can never be read; mark the length empty.
      spec->maxCode[length] = code - 1 < kNoCode ? static_cast<uint16_t>(code - 1) : kNoCode;
    }
    code <<= 1;
  }
  spec->maxCode[17] = kNoCode;
  spec->valPtr[17] = static_cast<uint16_t>(total);
  return StatusOk;
}

int32_t BuildHuffmanEncodeSpec(const uint8_t* bits, const uint8_t* vals, HuffmanEncodeSpec* spec) {
  if (bits == nullptr || vals == nullptr || spec == nullptr) return StatusNullPointer;
  if (TotalCodes(bits) > 256) return StatusBadTable;

  // First pass: T.81 C.2 only to find an overflowing code, so that a
  // rejected table leaves the decode table untouched.
  uint32_t code = 0;
  for (int32_t length = 1; length <= 16; ++length) {
    code += bits[length - 1];
    if (bits[length - 1] != 0 && code > (1u << length)) return StatusBadTable;
    code <<= 1;
  }

  std::memset(spec, 0, sizeof *spec);
  code = 0;
  int32_t k = 0;
  for (int32_t length = 1; length <= 16; ++length) {
    for (int32_t i = 0; i < bits[length - 1]; ++i, ++k, ++code)
      spec->codes[vals[k]] = code | static_cast<uint32_t>(length) << 16;
    code <<= 1;
  }
  return StatusOk;
}

}  // namespace level0

namespace {

using SizeQueryFn = int32_t(int32_t*);
using InitDecodeStateFn = int32_t(HuffmanDecodeState*);
using InitEncodeStateFn = int32_t(HuffmanEncodeState*);
using BuildDecodeSpecFn = int32_t(const uint8_t*, const uint8_t*, HuffmanDecodeSpec*);
using BuildEncodeSpecFn = int32_t(const uint8_t*, const uint8_t*, HuffmanEncodeSpec*);

constexpr SizeQueryFn* kGetHuffmanDecodeSpecSize[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::GetHuffmanDecodeSpecSize);
constexpr SizeQueryFn* kGetHuffmanDecodeStateSize[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::GetHuffmanDecodeStateSize);
constexpr SizeQueryFn* kGetHuffmanEncodeSpecSize[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::GetHuffmanEncodeSpecSize);
constexpr SizeQueryFn* kGetHuffmanEncodeStateSize[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::GetHuffmanEncodeStateSize);
constexpr InitDecodeStateFn* kInitHuffmanDecodeState[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::InitHuffmanDecodeState);
constexpr InitEncodeStateFn* kInitHuffmanEncodeState[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::InitHuffmanEncodeState);
constexpr BuildDecodeSpecFn* kBuildHuffmanDecodeSpec[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::BuildHuffmanDecodeSpec);
constexpr BuildEncodeSpecFn* kBuildHuffmanEncodeSpec[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::BuildHuffmanEncodeSpec);

}  // namespace

int32_t GetHuffmanDecodeSpecSize(int32_t* size) {
  return kGetHuffmanDecodeSpecSize[ProcessorLevel()](size);
}
int32_t GetHuffmanDecodeStateSize(int32_t* size) {
  return kGetHuffmanDecodeStateSize[ProcessorLevel()](size);
}
int32_t GetHuffmanEncodeSpecSize(int32_t* size) {
  return kGetHuffmanEncodeSpecSize[ProcessorLevel()](size);
}
int32_t GetHuffmanEncodeStateSize(int32_t* size) {
  return kGetHuffmanEncodeStateSize[ProcessorLevel()](size);
}
int32_t InitHuffmanDecodeState(HuffmanDecodeState* state) {
  return kInitHuffmanDecodeState[ProcessorLevel()](state);
}
int32_t InitHuffmanEncodeState(HuffmanEncodeState* state) {
  return kInitHuffmanEncodeState[ProcessorLevel()](state);
}
int32_t BuildHuffmanDecodeSpec(const uint8_t* bits, const uint8_t* vals, HuffmanDecodeSpec* spec) {
  return kBuildHuffmanDecodeSpec[ProcessorLevel()](bits, vals, spec);
}
int32_t BuildHuffmanEncodeSpec(const uint8_t* bits, const uint8_t* vals, HuffmanEncodeSpec* spec) {
  return kBuildHuffmanEncodeSpec[ProcessorLevel()](bits, vals, spec);
}

}  // namespace vv
