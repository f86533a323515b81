#include "primitives/sampling.h"

#include "primitives/dispatch.h"

namespace vv {
namespace {

// Interior columns are done kUpsampleChunk at a time with fixed trip counts
// and rows declared not to overlap the output, which the compiler turns into
// 16-bit vector arithmetic (every sum here stays below 2^12). The values are
// read straight from the rows, at offsets 0, 1 and 2, and never from a copy
// just stored: reloading a freshly stored block at another offset stalls the
// processor's store forwarding for longer than the arithmetic takes.
constexpr int32_t kUpsampleChunk = 16;

// The triangle filter over kUpsampleChunk + 2 values from the column before
// the first (value(i) for i = 0 .. kUpsampleChunk + 1): output pair i is
// ((3 v(i+1) + v(i) + kEvenBias) >> kShift, (3 v(i+1) + v(i+2) + kOddBias) >> kShift).
template <int kShift, int kEvenBias, int kOddBias, typename Value>
inline void InterpolateChunk(Value value, uint8_t* __restrict dst) {
  for (int i = 0; i < kUpsampleChunk; ++i) {
    const uint16_t centre = static_cast<uint16_t>(3 * value(i + 1));
    dst[2 * i] = static_cast<uint8_t>((centre + value(i) + kEvenBias) >> kShift);
    dst[2 * i + 1] = static_cast<uint8_t>((centre + value(i + 2) + kOddBias) >> kShift);
  }
}

// Columns 1..kUpsampleChunk of `src` (which holds kUpsampleChunk + 2
// samples from the column before the first) into 2 * kUpsampleChunk samples.
inline void UpsampleChunkH2(const uint8_t* __restrict src, uint8_t* __restrict dst) {
  InterpolateChunk<2, 1, 2>([src](int i) { return static_cast<uint16_t>(src[i]); }, dst);
}

// The same for the two-row filter, over column sums 3 near + far.
inline void UpsampleChunkH2V2(const uint8_t* __restrict nearRow, const uint8_t* __restrict farRow,
                              uint8_t* __restrict dst) {
  InterpolateChunk<4, 8, 7>(
      [nearRow, farRow](int i) { return static_cast<uint16_t>(3 * nearRow[i] + farRow[i]); }, dst);
}

}  // namespace

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
  int32_t c = 1;
  for (; c + kUpsampleChunk < width; c += kUpsampleChunk) UpsampleChunkH2(src + c - 1, dst + 2 * c);
  for (; c < width - 1; ++c) {
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
  dst[1] = static_cast<uint8_t>((3 * first + 3 * nearRow[1] + farRow[1] + 7) >> 4);
  int32_t c = 1;
  for (; c + kUpsampleChunk < width; c += kUpsampleChunk) {
    UpsampleChunkH2V2(nearRow + c - 1, farRow + c - 1, dst + 2 * c);
  }
  for (; c < width - 1; ++c) {
    const int32_t before = 3 * nearRow[c - 1] + farRow[c - 1];
    const int32_t centre = 3 * (3 * nearRow[c] + farRow[c]);
    const int32_t after = 3 * nearRow[c + 1] + farRow[c + 1];
    dst[2 * c] = static_cast<uint8_t>((centre + before + 8) >> 4);
    dst[2 * c + 1] = static_cast<uint8_t>((centre + after + 7) >> 4);
  }
  const int32_t last = width - 1;
  const int32_t here = 3 * nearRow[last] + farRow[last];
  const int32_t before = 3 * nearRow[last - 1] + farRow[last - 1];
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
