// Video-range conversion of the vector levels (1 to 3), in 16-bit lanes:
// every term is floor((s - o) x 128 x k / 2^16) with k the coefficient
// scaled by 2^13 (o = 16, k = 9535 for Y; o = 128 and k = 13074 Cr to R,
// 6660 Cr to G, 3211 Cb to G, 16523 Cb to B), which is the high half of a
// 16 x 16-bit product, eight per instruction; R, G and B are the sums of
// their terms plus 8, shifted right by 4 and clamped to 0..255. Results can
// differ from level 0's 32-bit formula in the last bit.
//
// The sums are meant to saturate at 16 bits, but they never reach that: the
// luma term lies in -298..4451 and the chroma terms within +-4132, so plain
// additions give the same result.
#include <cstring>

#include "primitives/colour_levels.h"
#include "primitives/compiler.h"

namespace vv {
namespace sse3 {
namespace {

constexpr int32_t kChunk = 16;  // pixels per vector step

inline int16_t Term(int32_t sample, int32_t offset, int16_t k) {
  const int16_t scaled = static_cast<int16_t>((sample - offset) * 128);
  return static_cast<int16_t>((int32_t{scaled} * k) >> 16);
}

inline uint8_t Finish(int32_t sum) {
  const int16_t v = static_cast<int16_t>(static_cast<int16_t>(sum + 8) >> 4);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

struct Rgb {
  uint8_t r, g, b;
};

inline Rgb Components(int32_t y, int32_t cb, int32_t cr) {
  const int16_t luma = Term(y, 16, 9535);
  return {Finish(luma + Term(cr, 128, 13074)),
          Finish(luma - Term(cb, 128, 3211) - Term(cr, 128, 6660)),
          Finish(luma + Term(cb, 128, 16523))};
}

template <int RedShift, int BlueShift>
inline uint32_t Pixel(const Rgb& c, uint32_t alphaBits) {
  return uint32_t{c.r} << RedShift | uint32_t{c.g} << 8 | uint32_t{c.b} << BlueShift | alphaBits;
}

inline void StorePixel(uint8_t* p, uint32_t pixel) {
  if (!kLittleEndian) pixel = __builtin_bswap32(pixel);
  std::memcpy(p, &pixel, 4);
}

// kChunk pixels through local copies, which the stores cannot reach, so the
// compiler vectorises without run-time overlap checks.
template <int RedShift, int BlueShift>
inline void Chunk(const uint8_t* yIn, const uint8_t* cbIn, const uint8_t* crIn, uint8_t* out,
                  uint32_t alphaBits) {
  uint8_t y[kChunk], cb[kChunk], cr[kChunk];
  std::memcpy(y, yIn, kChunk);
  std::memcpy(cb, cbIn, kChunk);
  std::memcpy(cr, crIn, kChunk);
  uint8_t r[kChunk], g[kChunk], b[kChunk];
  for (int i = 0; i < kChunk; ++i) {
    const Rgb c = Components(y[i], cb[i], cr[i]);
    r[i] = c.r;
    g[i] = c.g;
    b[i] = c.b;
  }
  uint32_t pixels[kChunk];
  for (int i = 0; i < kChunk; ++i) pixels[i] = Pixel<RedShift, BlueShift>({r[i], g[i], b[i]}, alphaBits);
  if (!kLittleEndian) {
    for (uint32_t& pixel : pixels) pixel = __builtin_bswap32(pixel);
  }
  std::memcpy(out, pixels, sizeof pixels);
}

template <int RedShift, int BlueShift>
int32_t ToPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                 ImageSize size, uint8_t alpha) {
  if (src == nullptr || dst == nullptr || !src[0] || !src[1] || !src[2]) return StatusNullPointer;
  if (size.width < 1 || size.height < 1) return StatusSizeError;
  const uint8_t* yRow = src[0];
  const uint8_t* cbRow = src[1];
  const uint8_t* crRow = src[2];
  const uint32_t alphaBits = uint32_t{alpha} << 24;
  for (int32_t row = 0; row < size.height; ++row) {
    int32_t x = 0;
    for (; x + kChunk <= size.width; x += kChunk) {
      Chunk<RedShift, BlueShift>(yRow + x, cbRow + x, crRow + x, dst + 4 * x, alphaBits);
    }
    for (; x < size.width; ++x) {
      StorePixel(dst + 4 * x,
                 Pixel<RedShift, BlueShift>(Components(yRow[x], cbRow[x], crRow[x]), alphaBits));
    }
    yRow += srcStep;
    cbRow += srcStep;
    crRow += srcStep;
    dst += dstStep;
  }
  return StatusOk;
}

}  // namespace

int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return ToPixels<0, 16>(src, srcStep, dst, dstStep, size, alpha);
}

int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return ToPixels<16, 0>(src, srcStep, dst, dstStep, size, alpha);
}

}  // namespace sse3
}  // namespace vv
