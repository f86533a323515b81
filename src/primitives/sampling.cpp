#include "primitives/sampling.h"

#include "primitives/dispatch.h"

namespace vv {
namespace level0 {

int32_t DownsampleRowH2(const uint8_t* src, int32_t srcWidth, uint8_t* dst) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (srcWidth < 1) return StatusSizeError;
  const int32_t pairs = srcWidth / 2;
  // Sixteen outputs at a time through local copies, which cannot overlap,
  // so the compiler averages them in vector registers; chunks start at even
  // j, so the bias keeps its phase.
  constexpr int32_t kChunk = 16;
  int32_t j = 0;
  for (; j + kChunk <= pairs; j += kChunk) {
    uint8_t in[2 * kChunk], out[kChunk];
    for (int32_t k = 0; k < 2 * kChunk; ++k) in[k] = src[2 * j + k];
    for (int32_t i = 0; i < kChunk; ++i) {
      out[i] = static_cast<uint8_t>((in[2 * i] + in[2 * i + 1] + (i & 1)) >> 1);
    }
    for (int32_t i = 0; i < kChunk; ++i) dst[j + i] = out[i];
  }
  for (; j < pairs; ++j) dst[j] = static_cast<uint8_t>((src[2 * j] + src[2 * j + 1] + (j & 1)) >> 1);
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
  // Neighbours are carried in registers, two columns per step.
  int32_t before = src[0];
  int32_t here = src[1];
  int32_t c = 1;
  for (; c + 2 < width; c += 2) {
    const int32_t after = src[c + 1];
    int32_t centre = 3 * here;
    dst[2 * c] = static_cast<uint8_t>((centre + before + 1) >> 2);
    dst[2 * c + 1] = static_cast<uint8_t>((centre + after + 2) >> 2);
    // Read after the stores above, which keeps them plain byte stores (see
    // UpsampleRowH2V2).
    const int32_t afterNext = src[c + 2];
    centre = 3 * after;
    dst[2 * c + 2] = static_cast<uint8_t>((centre + here + 1) >> 2);
    dst[2 * c + 3] = static_cast<uint8_t>((centre + afterNext + 2) >> 2);
    before = after;
    here = afterNext;
  }
  if (c < width - 1) {
    const int32_t after = src[c + 1];
    const int32_t centre = 3 * here;
    dst[2 * c] = static_cast<uint8_t>((centre + before + 1) >> 2);
    dst[2 * c + 1] = static_cast<uint8_t>((centre + after + 2) >> 2);
    before = here;
    here = after;
  }
  const int32_t last = width - 1;
  dst[2 * last] = static_cast<uint8_t>((3 * here + before + 1) >> 2);
  dst[2 * last + 1] = static_cast<uint8_t>(here);
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
  // Column sums are formed once each and carried along in registers, two
  // columns per step: `before` and `here` are the sums of columns c-1 and c.
  int32_t before = first;
  int32_t here = 3 * nearRow[1] + farRow[1];
  dst[1] = static_cast<uint8_t>((3 * first + here + 7) >> 4);
  int32_t c = 1;
  for (; c + 2 < width; c += 2) {
    const int32_t after = 3 * nearRow[c + 1] + farRow[c + 1];
    int32_t centre = 3 * here;
    dst[2 * c] = static_cast<uint8_t>((centre + before + 8) >> 4);
    dst[2 * c + 1] = static_cast<uint8_t>((centre + after + 7) >> 4);
    // Read after the stores above (which may alias the rows for all the
    // compiler knows), so it keeps them as plain byte stores instead of
    // assembling one wide store.
    const int32_t afterNext = 3 * nearRow[c + 2] + farRow[c + 2];
    centre = 3 * after;
    dst[2 * c + 2] = static_cast<uint8_t>((centre + here + 8) >> 4);
    dst[2 * c + 3] = static_cast<uint8_t>((centre + afterNext + 7) >> 4);
    before = after;
    here = afterNext;
  }
  if (c < width - 1) {
    const int32_t after = 3 * nearRow[c + 1] + farRow[c + 1];
    const int32_t centre = 3 * here;
    dst[2 * c] = static_cast<uint8_t>((centre + before + 8) >> 4);
    dst[2 * c + 1] = static_cast<uint8_t>((centre + after + 7) >> 4);
    before = here;
    here = after;
  }
  const int32_t last = width - 1;
  dst[2 * last] = static_cast<uint8_t>((3 * here + before + 8) >> 4);
  dst[2 * last + 1] = static_cast<uint8_t>((4 * here + 7) >> 4);
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
