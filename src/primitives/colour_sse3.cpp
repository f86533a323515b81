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
#include <emmintrin.h>

#include "primitives/colour_levels.h"
#include "primitives/colour_pixels.h"

namespace vv {
namespace sse3 {
namespace {

inline int16_t Term(int32_t sample, int32_t offset, int16_t k) {
  const int16_t scaled = static_cast<int16_t>((sample - offset) * 128);
  return static_cast<int16_t>((int32_t{scaled} * k) >> 16);
}

inline uint8_t Finish(int32_t sum) {
  const int16_t v = static_cast<int16_t>(static_cast<int16_t>(sum + 8) >> 4);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

constexpr auto kVideoRange = [](int32_t y, int32_t cb, int32_t cr) {
  const int16_t luma = Term(y, 16, 9535);
  return PixelRgb{Finish(luma + Term(cr, 128, 13074)),
                  Finish(luma - Term(cb, 128, 3211) - Term(cr, 128, 6660)),
                  Finish(luma + Term(cb, 128, 16523))};
};

// The same arithmetic on sixteen pixels in vector registers: the terms are
// high halves of products (pmulhw) of (s - o) x 128 with k, the sums
// saturating 16-bit additions and subtractions, the final clamp the
// saturation of the pack to bytes. kBlueFirst orders the bytes B, G, R, A.
template <bool kBlueFirst>
inline void SixteenPixels(const uint8_t* yIn, const uint8_t* cbIn, const uint8_t* crIn,
                          uint8_t* out, __m128i alpha) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yIn));
  const __m128i cb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cbIn));
  const __m128i cr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(crIn));
  // (s - o) x 128 for eight samples widened from bytes.
  auto scaled = [](__m128i bytes, int16_t offset) {
    return _mm_slli_epi16(_mm_sub_epi16(bytes, _mm_set1_epi16(offset)), 7);
  };
  __m128i r[2], g[2], b[2];
  for (int half = 0; half < 2; ++half) {
    const __m128i ys = scaled(half ? _mm_unpackhi_epi8(y, zero) : _mm_unpacklo_epi8(y, zero), 16);
    const __m128i cbs = scaled(half ? _mm_unpackhi_epi8(cb, zero) : _mm_unpacklo_epi8(cb, zero), 128);
    const __m128i crs = scaled(half ? _mm_unpackhi_epi8(cr, zero) : _mm_unpacklo_epi8(cr, zero), 128);
    const __m128i luma = _mm_adds_epi16(_mm_mulhi_epi16(ys, _mm_set1_epi16(9535)), _mm_set1_epi16(8));
    r[half] = _mm_srai_epi16(_mm_adds_epi16(luma, _mm_mulhi_epi16(crs, _mm_set1_epi16(13074))), 4);
    g[half] = _mm_srai_epi16(_mm_subs_epi16(_mm_subs_epi16(luma, _mm_mulhi_epi16(cbs, _mm_set1_epi16(3211))),
                                            _mm_mulhi_epi16(crs, _mm_set1_epi16(6660))),
                             4);
    b[half] = _mm_srai_epi16(_mm_adds_epi16(luma, _mm_mulhi_epi16(cbs, _mm_set1_epi16(16523))), 4);
  }
  const __m128i red = _mm_packus_epi16(r[0], r[1]);
  const __m128i green = _mm_packus_epi16(g[0], g[1]);
  const __m128i blue = _mm_packus_epi16(b[0], b[1]);
  const __m128i first = kBlueFirst ? blue : red, third = kBlueFirst ? red : blue;
  const __m128i firstSecond[2] = {_mm_unpacklo_epi8(first, green), _mm_unpackhi_epi8(first, green)};
  const __m128i thirdAlpha[2] = {_mm_unpacklo_epi8(third, alpha), _mm_unpackhi_epi8(third, alpha)};
  for (int half = 0; half < 2; ++half) {
    __m128i* pixels = reinterpret_cast<__m128i*>(out + 32 * half);
    _mm_storeu_si128(pixels, _mm_unpacklo_epi16(firstSecond[half], thirdAlpha[half]));
    _mm_storeu_si128(pixels + 1, _mm_unpackhi_epi16(firstSecond[half], thirdAlpha[half]));
  }
}

static_assert(kPixelChunk == 16, "a chunk is sixteen pixels");

// Whole chunks in vector registers, the rest of each row one pixel at a time
// with the same arithmetic.
template <bool kBlueFirst>
int32_t VideoRangeRows(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                       ImageSize size, uint8_t alpha) {
  constexpr int kRedShift = kBlueFirst ? 16 : 0, kBlueShift = kBlueFirst ? 0 : 16;
  const __m128i alphaBytes = _mm_set1_epi8(static_cast<char>(alpha));
  return PlanesToPixels<kRedShift, kBlueShift>(
      src, srcStep, dst, dstStep, size, alpha, kVideoRange,
      [alphaBytes](const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint8_t* out, uint32_t) {
        SixteenPixels<kBlueFirst>(y, cb, cr, out, alphaBytes);
      });
}

}  // namespace

int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return VideoRangeRows<false>(src, srcStep, dst, dstStep, size, alpha);
}

int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return VideoRangeRows<true>(src, srcStep, dst, dstStep, size, alpha);
}

}  // namespace sse3
}  // namespace vv
