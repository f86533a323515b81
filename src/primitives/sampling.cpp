#include "primitives/sampling.h"

#include "primitives/dispatch.h"

namespace vv {
namespace level0 {

int32_t DownsampleRowH2(const uint8_t* src, int32_t srcWidth, uint8_t* dst) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (srcWidth < 1) return StatusSizeError;
  const int32_t pairs = srcWidth / 2;
  int32_t bias = 0;
  for (int32_t j = 0; j < pairs; ++j) {
    dst[j] = static_cast<uint8_t>((src[2 * j] + src[2 * j + 1] + bias) >> 1);
    bias ^= 1;
  }
  // Pairing the odd sample with itself gives (2v + b) >> 1 = v for either bias.
  if (srcWidth & 1) dst[pairs] = src[srcWidth - 1];
  return StatusOk;
}

int32_t UpsampleRowH2(const uint8_t* src, int32_t width, uint8_t* dst) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (width < 1) return StatusSizeError;
  if (width == 1) {
    // The interior formulas with both neighbours replaced by the sample
    // itself reduce to a copy; nothing beyond the row is touched.
    dst[0] = dst[1] = src[0];
    return StatusOk;
  }
  dst[0] = src[0];
  dst[1] = static_cast<uint8_t>((3 * src[0] + src[1] + 2) >> 2);
  for (int32_t c = 1; c < width - 1; ++c) {
    const int32_t centre = 3 * src[c];
    dst[2 * c] = static_cast<uint8_t>((centre + src[c - 1] + 1) >> 2);
    dst[2 * c + 1] = static_cast<uint8_t>((centre + src[c + 1] + 2) >> 2);
  }
  const int32_t last = width - 1;
  dst[2 * last] = static_cast<uint8_t>((3 * src[last] + src[last - 1] + 1) >> 2);
  dst[2 * last + 1] = src[last];
  return StatusOk;
}

int32_t UpsampleRowH2V2(const uint8_t* nearRow, const uint8_t* farRow, int32_t width, uint8_t* dst) {
  if (nearRow == nullptr || farRow == nullptr || dst == nullptr) return StatusNullPointer;
  if (width < 1) return StatusSizeError;
  const int32_t first = 3 * nearRow[0] + farRow[0];
  dst[0] = static_cast<uint8_t>((4 * first + 8) >> 4);
  if (width == 1) {
    dst[1] = static_cast<uint8_t>((4 * first + 7) >> 4);
    return StatusOk;
  }
  // Column sums are formed once each and carried along in three registers.
  int32_t previous = first;
  int32_t current = first;
  int32_t next = 3 * nearRow[1] + farRow[1];
  dst[1] = static_cast<uint8_t>((3 * current + next + 7) >> 4);
  for (int32_t c = 1; c < width - 1; ++c) {
    previous = current;
    current = next;
    next = 3 * nearRow[c + 1] + farRow[c + 1];
    dst[2 * c] = static_cast<uint8_t>((3 * current + previous + 8) >> 4);
    dst[2 * c + 1] = static_cast<uint8_t>((3 * current + next + 7) >> 4);
  }
  const int32_t last = width - 1;
  dst[2 * last] = static_cast<uint8_t>((3 * next + current + 8) >> 4);
  dst[2 * last + 1] = static_cast<uint8_t>((4 * next + 7) >> 4);
  return StatusOk;
}

}  // namespace level0

namespace {

using DownsampleFn = int32_t(const uint8_t*, int32_t, uint8_t*);
using UpsampleFn = int32_t(const uint8_t*, int32_t, uint8_t*);
using Upsample2DFn = int32_t(const uint8_t*, const uint8_t*, int32_t, uint8_t*);

constexpr DownsampleFn* kDownsampleRowH2[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::DownsampleRowH2);
constexpr UpsampleFn* kUpsampleRowH2[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::UpsampleRowH2);
constexpr Upsample2DFn* kUpsampleRowH2V2[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::UpsampleRowH2V2);

}  // namespace

int32_t DownsampleRowH2(const uint8_t* src, int32_t srcWidth, uint8_t* dst) {
  return kDownsampleRowH2[ProcessorLevel()](src, srcWidth, dst);
}

int32_t UpsampleRowH2(const uint8_t* src, int32_t width, uint8_t* dst) {
  return kUpsampleRowH2[ProcessorLevel()](src, width, dst);
}

int32_t UpsampleRowH2V2(const uint8_t* nearRow, const uint8_t* farRow, int32_t width, uint8_t* dst) {
  return kUpsampleRowH2V2[ProcessorLevel()](nearRow, farRow, width, dst);
}

}  // namespace vv
