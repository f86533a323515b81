#include "primitives/data_movement.h"

#include <cstddef>
#include <cstring>

#include "primitives/dispatch.h"

namespace vv {
namespace {

// Rows are walked as bytes and 16-bit samples are moved with memcpy, so an
// odd row step (which these primitives accept) never makes a misaligned
// 16-bit access; compilers turn each memcpy into one plain load or store.
inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, sizeof v); }

// The rows to walk: an image whose source and destination rows both follow
// each other without gaps is one long row, which keeps the inner loops long.
struct RowWalk {
  ptrdiff_t length;  // samples per row
  int32_t rows;
};

RowWalk WalkRows(ImageSize size, int32_t srcStep, ptrdiff_t srcRowBytes, int32_t dstStep,
                 ptrdiff_t dstRowBytes) {
  if (srcStep == srcRowBytes && dstStep == dstRowBytes) {
    return {static_cast<ptrdiff_t>(size.width) * size.height, 1};
  }
  return {size.width, size.height};
}

inline bool BadSize(ImageSize size) { return size.width < 1 || size.height < 1; }

template <typename Sample, int Channels>
int32_t PlanarToPixel(const Sample* const* src, int32_t srcStep, Sample* dst, int32_t dstStep,
                      ImageSize size) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  for (int c = 0; c < Channels; ++c) {
    if (src[c] == nullptr) return StatusNullPointer;
  }
  if (BadSize(size)) return StatusSizeError;
  constexpr ptrdiff_t kSampleBytes = sizeof(Sample);
  const RowWalk walk = WalkRows(size, srcStep, size.width * kSampleBytes, dstStep,
                                size.width * kSampleBytes * Channels);
  const uint8_t* planes[Channels];
  for (int c = 0; c < Channels; ++c) planes[c] = reinterpret_cast<const uint8_t*>(src[c]);
  uint8_t* out = reinterpret_cast<uint8_t*>(dst);
  for (int32_t row = 0; row < walk.rows; ++row) {
    uint8_t* pixel = out;
    for (ptrdiff_t x = 0; x < walk.length; ++x) {
      for (int c = 0; c < Channels; ++c) {
        std::memcpy(pixel, planes[c] + x * kSampleBytes, kSampleBytes);
        pixel += kSampleBytes;
      }
    }
    for (int c = 0; c < Channels; ++c) planes[c] += srcStep;
    out += dstStep;
  }
  return StatusOk;
}

template <typename Sample>
int32_t CopyImage(const Sample* src, int32_t srcStep, Sample* dst, int32_t dstStep, ImageSize size) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (BadSize(size)) return StatusSizeError;
  const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(size.width) * sizeof(Sample);
  const RowWalk walk = WalkRows(size, srcStep, rowBytes, dstStep, rowBytes);
  const uint8_t* in = reinterpret_cast<const uint8_t*>(src);
  uint8_t* out = reinterpret_cast<uint8_t*>(dst);
  for (int32_t row = 0; row < walk.rows; ++row) {
    std::memcpy(out, in, static_cast<size_t>(walk.length) * sizeof(Sample));
    in += srcStep;
    out += dstStep;
  }
  return StatusOk;
}

int32_t CheckLength(const void* a, const void* b, int32_t length) {
  if (a == nullptr || b == nullptr) return StatusNullPointer;
  if (length < 1) return StatusSizeError;
  return StatusOk;
}

}  // namespace

namespace level0 {

int32_t PlanarToPixel3x8u(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size) {
  return PlanarToPixel<uint8_t, 3>(src, srcStep, dst, dstStep, size);
}

int32_t PlanarToPixel4x8u(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size) {
  return PlanarToPixel<uint8_t, 4>(src, srcStep, dst, dstStep, size);
}

int32_t PlanarToPixel3x16u(const uint16_t* const src[3], int32_t srcStep, uint16_t* dst,
                           int32_t dstStep, ImageSize size) {
  return PlanarToPixel<uint16_t, 3>(src, srcStep, dst, dstStep, size);
}

int32_t PlanarToPixel4x16u(const uint16_t* const src[4], int32_t srcStep, uint16_t* dst,
                           int32_t dstStep, ImageSize size) {
  return PlanarToPixel<uint16_t, 4>(src, srcStep, dst, dstStep, size);
}

int32_t CopyImage8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                    ImageSize size) {
  return CopyImage(src, srcStep, dst, dstStep, size);
}

int32_t CopyImage16(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep,
                    ImageSize size) {
  return CopyImage(src, srcStep, dst, dstStep, size);
}

// Whole-image widening could bypass the cache with streaming stores when the
// image is larger than the largest cache; the result is the same, and this
// portable level always stores normally.
int32_t Convert8uTo16uImage(const uint8_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep,
                            ImageSize size) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (BadSize(size)) return StatusSizeError;
  if (srcStep < 1 || dstStep < 1) return StatusStepError;
  const RowWalk walk = WalkRows(size, srcStep, size.width, dstStep, size.width * ptrdiff_t{2});
  uint8_t* out = reinterpret_cast<uint8_t*>(dst);
  for (int32_t row = 0; row < walk.rows; ++row) {
    for (ptrdiff_t x = 0; x < walk.length; ++x) Store16(out + 2 * x, src[x]);
    src += srcStep;
    out += dstStep;
  }
  return StatusOk;
}

int32_t Convert16uTo8uSat(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                          ImageSize size) {
  if (src == nullptr || dst == nullptr) return StatusNullPointer;
  if (BadSize(size)) return StatusSizeError;
  if (srcStep < 1 || dstStep < 1) return StatusStepError;
  const RowWalk walk = WalkRows(size, srcStep, size.width * ptrdiff_t{2}, dstStep, size.width);
  const uint8_t* in = reinterpret_cast<const uint8_t*>(src);
  for (int32_t row = 0; row < walk.rows; ++row) {
    for (ptrdiff_t x = 0; x < walk.length; ++x) {
      const uint16_t v = Load16(in + 2 * x);
      dst[x] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
    in += srcStep;
    dst += dstStep;
  }
  return StatusOk;
}

int32_t AndConstImage16uInPlace(uint16_t value, uint16_t* image, int32_t step, ImageSize size) {
  if (image == nullptr) return StatusNullPointer;
  if (BadSize(size)) return StatusSizeError;
  const ptrdiff_t rowBytes = size.width * ptrdiff_t{2};
  const RowWalk walk = WalkRows(size, step, rowBytes, step, rowBytes);
  uint8_t* row = reinterpret_cast<uint8_t*>(image);
  for (int32_t r = 0; r < walk.rows; ++r) {
    for (ptrdiff_t x = 0; x < walk.length; ++x) {
      Store16(row + 2 * x, static_cast<uint16_t>(Load16(row + 2 * x) & value));
    }
    row += step;
  }
  return StatusOk;
}

int32_t MoveBytes(const uint8_t* src, uint8_t* dst, int32_t length) {
  const int32_t status = CheckLength(src, dst, length);
  if (status != StatusOk) return status;
  std::memmove(dst, src, static_cast<size_t>(length));
  return StatusOk;
}

int32_t CopyBytes(const uint8_t* src, uint8_t* dst, int32_t length) {
  const int32_t status = CheckLength(src, dst, length);
  if (status != StatusOk) return status;
  std::memcpy(dst, src, static_cast<size_t>(length));
  return StatusOk;
}

int32_t ZeroBytes(uint8_t* dst, int32_t length) {
  const int32_t status = CheckLength(dst, dst, length);
  if (status != StatusOk) return status;
  std::memset(dst, 0, static_cast<size_t>(length));
  return StatusOk;
}

int32_t Copy16(const int16_t* src, int16_t* dst, int32_t count) {
  const int32_t status = CheckLength(src, dst, count);
  if (status != StatusOk) return status;
  std::memcpy(dst, src, static_cast<size_t>(count) * sizeof(int16_t));
  return StatusOk;
}

int32_t Zero16(int16_t* dst, int32_t count) {
  const int32_t status = CheckLength(dst, dst, count);
  if (status != StatusOk) return status;
  std::memset(dst, 0, static_cast<size_t>(count) * sizeof(int16_t));
  return StatusOk;
}

int32_t ShiftLeft16u(const uint16_t* src, int32_t shift, uint16_t* dst, int32_t count) {
  const int32_t status = CheckLength(src, dst, count);
  if (status != StatusOk) return status;
  if (shift < 0) return StatusShiftError;
  if (shift >= 16) {
    std::memset(dst, 0, static_cast<size_t>(count) * sizeof(uint16_t));
  } else {
    for (int32_t i = 0; i < count; ++i) dst[i] = static_cast<uint16_t>(src[i] << shift);
  }
  return StatusOk;
}

}  // namespace level0

namespace {

using Planar8Fn = int32_t(const uint8_t* const*, int32_t, uint8_t*, int32_t, ImageSize);
using Planar16Fn = int32_t(const uint16_t* const*, int32_t, uint16_t*, int32_t, ImageSize);
using Copy8Fn = int32_t(const uint8_t*, int32_t, uint8_t*, int32_t, ImageSize);
using Copy16ImageFn = int32_t(const int16_t*, int32_t, int16_t*, int32_t, ImageSize);
using WidenFn = int32_t(const uint8_t*, int32_t, uint16_t*, int32_t, ImageSize);
using NarrowFn = int32_t(const uint16_t*, int32_t, uint8_t*, int32_t, ImageSize);
using AndFn = int32_t(uint16_t, uint16_t*, int32_t, ImageSize);
using BytesFn = int32_t(const uint8_t*, uint8_t*, int32_t);
using ZeroBytesFn = int32_t(uint8_t*, int32_t);
using Values16Fn = int32_t(const int16_t*, int16_t*, int32_t);
using Zero16Fn = int32_t(int16_t*, int32_t);
using ShiftFn = int32_t(const uint16_t*, int32_t, uint16_t*, int32_t);

constexpr Planar8Fn* kPlanarToPixel3x8u[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::PlanarToPixel3x8u);
constexpr Planar8Fn* kPlanarToPixel4x8u[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::PlanarToPixel4x8u);
constexpr Planar16Fn* kPlanarToPixel3x16u[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::PlanarToPixel3x16u);
constexpr Planar16Fn* kPlanarToPixel4x16u[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::PlanarToPixel4x16u);
constexpr Copy8Fn* kCopyImage8u[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::CopyImage8u);
constexpr Copy16ImageFn* kCopyImage16[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::CopyImage16);
constexpr WidenFn* kConvert8uTo16uImage[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::Convert8uTo16uImage);
constexpr NarrowFn* kConvert16uTo8uSat[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::Convert16uTo8uSat);
constexpr AndFn* kAndConstImage16uInPlace[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::AndConstImage16uInPlace);
constexpr BytesFn* kMoveBytes[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::MoveBytes);
constexpr BytesFn* kCopyBytes[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::CopyBytes);
constexpr ZeroBytesFn* kZeroBytes[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::ZeroBytes);
constexpr Values16Fn* kCopy16[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::Copy16);
constexpr Zero16Fn* kZero16[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::Zero16);
constexpr ShiftFn* kShiftLeft16u[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::ShiftLeft16u);

}  // namespace

int32_t PlanarToPixel3x8u(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size) {
  return kPlanarToPixel3x8u[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t PlanarToPixel4x8u(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size) {
  return kPlanarToPixel4x8u[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t PlanarToPixel3x16u(const uint16_t* const src[3], int32_t srcStep, uint16_t* dst,
                           int32_t dstStep, ImageSize size) {
  return kPlanarToPixel3x16u[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t PlanarToPixel4x16u(const uint16_t* const src[4], int32_t srcStep, uint16_t* dst,
                           int32_t dstStep, ImageSize size) {
  return kPlanarToPixel4x16u[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t CopyImage8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                    ImageSize size) {
  return kCopyImage8u[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t CopyImage16(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep,
                    ImageSize size) {
  return kCopyImage16[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t Convert8uTo16uImage(const uint8_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep,
                            ImageSize size) {
  return kConvert8uTo16uImage[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t Convert16uTo8uSat(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                          ImageSize size) {
  return kConvert16uTo8uSat[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t AndConstImage16uInPlace(uint16_t value, uint16_t* image, int32_t step, ImageSize size) {
  return kAndConstImage16uInPlace[ProcessorLevel()](value, image, step, size);
}

int32_t MoveBytes(const uint8_t* src, uint8_t* dst, int32_t length) {
  return kMoveBytes[ProcessorLevel()](src, dst, length);
}

int32_t CopyBytes(const uint8_t* src, uint8_t* dst, int32_t length) {
  return kCopyBytes[ProcessorLevel()](src, dst, length);
}

int32_t ZeroBytes(uint8_t* dst, int32_t length) { return kZeroBytes[ProcessorLevel()](dst, length); }

int32_t Copy16(const int16_t* src, int16_t* dst, int32_t count) {
  return kCopy16[ProcessorLevel()](src, dst, count);
}

int32_t Zero16(int16_t* dst, int32_t count) { return kZero16[ProcessorLevel()](dst, count); }

int32_t ShiftLeft16u(const uint16_t* src, int32_t shift, uint16_t* dst, int32_t count) {
  return kShiftLeft16u[ProcessorLevel()](src, shift, dst, count);
}

}  // namespace vv
