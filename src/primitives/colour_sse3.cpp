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

}  // namespace

int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return PlanesToPixels<0, 16>(src, srcStep, dst, dstStep, size, alpha, kVideoRange);
}

int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return PlanesToPixels<16, 0>(src, srcStep, dst, dstStep, size, alpha, kVideoRange);
}

}  // namespace sse3
}  // namespace vv
