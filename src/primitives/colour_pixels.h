// The argument checks of the planar converters and the drive shared by the
// video-range converters of every level (internal to the primitive layer):
// Y, Cb, Cr planes into 4-byte pixels, with the per-pixel arithmetic passed
// in. Each level's file includes it and compiles it with its own
// instruction set.
#pragma once
#include <cstdint>
#include <cstring>

#include "primitives/compiler.h"
#include "primitives/status.h"

namespace vv {
namespace {

inline bool AnyNull(const uint8_t* const* planes, int count) {
  for (int i = 0; i < count; ++i) {
    if (planes[i] == nullptr) return true;
  }
  return false;
}

// Checks shared by the planar converters of every level; steps only where
// the caller asks.
inline int32_t CheckPlanar(const uint8_t* const* planes, int planeCount, const void* other,
                    ImageSize size, bool checkSteps, int32_t step1, int32_t step2) {
  if (planes == nullptr || other == nullptr || AnyNull(planes, planeCount)) return StatusNullPointer;
  if (size.width < 1 || size.height < 1) return StatusSizeError;
  if (checkSteps && (step1 < 1 || step2 < 1)) return StatusStepError;
  return StatusOk;
}

struct PixelRgb {
  uint8_t r, g, b;
};

template <int RedShift, int BlueShift>
inline uint32_t PackPixel(PixelRgb c, uint32_t alphaBits) {
  return uint32_t{c.r} << RedShift | uint32_t{c.g} << 8 | uint32_t{c.b} << BlueShift | alphaBits;
}

// Pixels go to memory with byte 0 the low byte of the word.
inline void StorePixels(uint8_t* out, uint32_t* pixels, int count) {
  if (!kLittleEndian) {
    for (int i = 0; i < count; ++i) pixels[i] = __builtin_bswap32(pixels[i]);
  }
  std::memcpy(out, pixels, 4 * static_cast<size_t>(count));
}

constexpr int32_t kPixelChunk = 16;  // pixels per vector step

// kPixelChunk pixels. The samples are copied into locals first so that the
// compiler knows the stores cannot reach them and vectorises without
// run-time overlap checks.
template <int RedShift, int BlueShift, typename Convert>
inline void PixelChunk(const uint8_t* yIn, const uint8_t* cbIn, const uint8_t* crIn, uint8_t* out,
                       uint32_t alphaBits, Convert convert) {
  uint8_t y[kPixelChunk], cb[kPixelChunk], cr[kPixelChunk];
  std::memcpy(y, yIn, kPixelChunk);
  std::memcpy(cb, cbIn, kPixelChunk);
  std::memcpy(cr, crIn, kPixelChunk);
  uint8_t r[kPixelChunk], g[kPixelChunk], b[kPixelChunk];
  for (int i = 0; i < kPixelChunk; ++i) {
    const PixelRgb c = convert(y[i], cb[i], cr[i]);
    r[i] = c.r;
    g[i] = c.g;
    b[i] = c.b;
  }
  uint32_t pixels[kPixelChunk];
  for (int i = 0; i < kPixelChunk; ++i) {
    pixels[i] = PackPixel<RedShift, BlueShift>({r[i], g[i], b[i]}, alphaBits);
  }
  StorePixels(out, pixels, kPixelChunk);
}

// convert(y, cb, cr) gives one pixel's components; chunk(y, cb, cr, out,
// alphaBits) converts kPixelChunk pixels at once, with the same result.
// Checks: null planes or destination, then the size; steps are not checked.
template <int RedShift, int BlueShift, typename Convert, typename Chunk>
int32_t PlanesToPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                       ImageSize size, uint8_t alpha, Convert convert, Chunk chunk) {
  const int32_t status = CheckPlanar(src, 3, dst, size, false, 0, 0);
  if (status != StatusOk) return status;
  const uint8_t* yRow = src[0];
  const uint8_t* cbRow = src[1];
  const uint8_t* crRow = src[2];
  const uint32_t alphaBits = uint32_t{alpha} << 24;
  for (int32_t row = 0; row < size.height; ++row) {
    int32_t x = 0;
    for (; x + kPixelChunk <= size.width; x += kPixelChunk) {
      chunk(yRow + x, cbRow + x, crRow + x, dst + 4 * x, alphaBits);
    }
    for (; x < size.width; ++x) {
      uint32_t pixel = PackPixel<RedShift, BlueShift>(convert(yRow[x], cbRow[x], crRow[x]), alphaBits);
      StorePixels(dst + 4 * x, &pixel, 1);
    }
    yRow += srcStep;
    cbRow += srcStep;
    crRow += srcStep;
    dst += dstStep;
  }
  return StatusOk;
}

// The same with the chunks computed by the compiler from convert.
template <int RedShift, int BlueShift, typename Convert>
int32_t PlanesToPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                       ImageSize size, uint8_t alpha, Convert convert) {
  return PlanesToPixels<RedShift, BlueShift>(
      src, srcStep, dst, dstStep, size, alpha, convert,
      [convert](const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out,
                uint32_t alphaBits) {
        PixelChunk<RedShift, BlueShift>(y, cb, cr, out, alphaBits, convert);
      });
}

}  // namespace
}  // namespace vv
