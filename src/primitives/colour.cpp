#include "primitives/colour.h"

#include <cstring>

#include "primitives/colour_bgr_body.h"
#include "primitives/colour_levels.h"
#include "primitives/colour_pixels.h"
#include "primitives/dispatch.h"
#include "primitives/fixed_point.h"

namespace vv {
namespace {

// One 32-bit entry per byte value. Every colour table below is computed by
// the compiler, so the library carries them as constant data and nothing is
// initialised (or shared and written) at run time.
struct ByteTable {
  int32_t at[256];
  constexpr int32_t operator[](int i) const { return at[i]; }
};

template <typename Entry>
constexpr ByteTable MakeByteTable(Entry entry) {
  ByteTable table{};
  for (int i = 0; i < 256; ++i) table.at[i] = entry(i);
  return table;
}

// k in 16-bit fixed point, rounded (k > 0).
constexpr int32_t Fix16(double k) { return static_cast<int32_t>(k * 65536.0 + 0.5); }

// Saturation to 0..255 by lookup. Every conversion here lands in
// -227..480 before clamping (full-range blue is the widest; checked below), so
// an offset of 384 into 1024 entries covers all of them with room to spare.
constexpr int kSaturateOffset = 384;
struct SaturateTable {
  uint8_t at[1024];
};
constexpr SaturateTable MakeSaturateTable() {
  SaturateTable table{};
  for (int i = 0; i < 1024; ++i) {
    const int v = i - kSaturateOffset;
    table.at[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
  return table;
}
constexpr SaturateTable kSaturate = MakeSaturateTable();
inline uint8_t Saturate(int32_t v) { return kSaturate.at[v + kSaturateOffset]; }

// JFIF decoding. Red and blue fold their rounding into the table and keep
// only the integer part; green sums two 16-bit fractions first (the 32768 of
// CbG rounds the sum), so it is the only component with a shift per sample.
// Right shifts of negative values are arithmetic (floor) on every compiler
// this library is built with.
constexpr ByteTable kCrR = MakeByteTable([](int i) { return (Fix16(1.402) * (i - 128) + 32768) >> 16; });
constexpr ByteTable kCbB = MakeByteTable([](int i) { return (Fix16(1.772) * (i - 128) + 32768) >> 16; });
constexpr ByteTable kCrG = MakeByteTable([](int i) { return -Fix16(0.71414) * (i - 128); });
constexpr ByteTable kCbG = MakeByteTable([](int i) { return -Fix16(0.34414) * (i - 128) + 32768; });


// The saturation table must cover every value a conversion can produce.
constexpr bool InSaturateRange(int32_t v) { return v >= -kSaturateOffset && v < 1024 - kSaturateOffset; }
static_assert(InSaturateRange(0 + kCrR[0]) && InSaturateRange(255 + kCrR[255]) &&
                  InSaturateRange(0 + kCbB[0]) && InSaturateRange(255 + kCbB[255]) &&
                  InSaturateRange(0 + ((kCbG[255] + kCrG[255]) >> 16)) &&
                  InSaturateRange(255 + ((kCbG[0] + kCrG[0]) >> 16)),
              "full-range results outside the saturation table");
// Byte offsets of the red and blue components in a pixel.
struct RgbOrder {
  int red, blue;
};
constexpr RgbOrder kRgb{0, 2};
constexpr RgbOrder kBgr{2, 0};

}  // namespace

namespace level0 {

namespace {

template <int PixelBytes>
int32_t FullRangeToPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size, RgbOrder order) {
  const int32_t status = CheckPlanar(src, 3, dst, size, true, srcStep, dstStep);
  if (status != StatusOk) return status;
  const uint8_t* yRow = src[0];
  const uint8_t* cbRow = src[1];
  const uint8_t* crRow = src[2];
  for (int32_t row = 0; row < size.height; ++row) {
    uint8_t* out = dst;
    for (int32_t x = 0; x < size.width; ++x, out += PixelBytes) {
      const int32_t y = yRow[x], cb = cbRow[x], cr = crRow[x];
      out[order.red] = Saturate(y + kCrR[cr]);
      out[1] = Saturate(y + ((kCbG[cb] + kCrG[cr]) >> 16));
      out[order.blue] = Saturate(y + kCbB[cb]);
    }
    yRow += srcStep;
    cbRow += srcStep;
    crRow += srcStep;
    dst += dstStep;
  }
  return StatusOk;
}

// Video-range conversion in a form the compiler turns into vector code of
// 16-bit lanes, eight pixels per instruction. Each coefficient of the
// integer formula is split into a multiple of 2^16 and a remainder that fits
// a signed 16-bit factor, e.g.
//   76282 = 2^16 + 10746,  104593 = 2 * 2^16 - 26479,
//   53279 = 2^16 - 12257,  132184 = 2 * 2^16 + 1112,
// so that (sum of products + 32768) >> 16 equals the whole multiples added
// to (sum of remainder products + 32768) >> 16 exactly (a multiple of 2^16
// passes through the floor unchanged). Each remainder product a k in turn is
// H 2^16 + L, with H its signed high half (floor(a k / 2^16)) and L its low
// half read as unsigned, so the floor of the remainders' sum is the sum of
// the H plus the carry out of the L and 32768: no lane ever needs 32 bits.
// (Checked for all 2^24 inputs against the 32-bit formula by the colour
// tests.)
// floor((a + b + 32768) / 2^16), 0..2, for unsigned 16-bit a and b: from
// h = floor((a + b) / 2) it is floor((h + 16384) / 2^15) (the dropped half
// cannot cross a multiple of 2^15), which maps the quarters of h's range to
// 0, 1, 1, 2.
inline uint16_t CarryOfTwo(uint16_t a, uint16_t b) {
  const uint16_t half = static_cast<uint16_t>((a & b) + ((a ^ b) >> 1));
  return static_cast<uint16_t>(((half >> 14) + 1) >> 1);
}

// floor((a + b + c + 32768) / 2^16): the carry out of a + b, then the two.
inline uint16_t CarryOfThree(uint16_t a, uint16_t b, uint16_t c) {
  const uint16_t sum = static_cast<uint16_t>(a + b);
  const uint16_t wrapped = sum < a;
  return static_cast<uint16_t>(wrapped + CarryOfTwo(sum, c));
}

inline uint8_t ClampVideo(int16_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// The three components of one pixel (results lie in -277..535 before the
// clamps).
inline PixelRgb VideoRangeComponents(int32_t luma, int32_t cb, int32_t cr) {
  const int16_t y = static_cast<int16_t>(luma - 16);
  const int16_t u = static_cast<int16_t>(cb - 128);
  const int16_t v = static_cast<int16_t>(cr - 128);
  const int16_t yHigh = HighHalf(y, 10746);
  const uint16_t yLow = LowHalf(y, 10746);
  const int32_t r = y + 2 * v + yHigh + HighHalf(v, -26479) + CarryOfTwo(yLow, LowHalf(v, -26479));
  const int32_t g = y - v + yHigh + HighHalf(u, -25689) + HighHalf(v, 12257) +
                    CarryOfThree(yLow, LowHalf(u, -25689), LowHalf(v, 12257));
  const int32_t b = y + 2 * u + yHigh + HighHalf(u, 1112) + CarryOfTwo(yLow, LowHalf(u, 1112));
  return {ClampVideo(static_cast<int16_t>(r)), ClampVideo(static_cast<int16_t>(g)),
          ClampVideo(static_cast<int16_t>(b))};
}

// A lambda rather than the function's address, so that it is inlined into
// the vector loop.
constexpr auto kVideoRange = [](int32_t y, int32_t cb, int32_t cr) {
  return VideoRangeComponents(y, cb, cr);
};

}  // namespace

int32_t YCbCrToRgb(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size) {
  return FullRangeToPixels<3>(src, srcStep, dst, dstStep, size, kRgb);
}

int32_t YCbCrToBgr(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size) {
  return FullRangeToPixels<3>(src, srcStep, dst, dstStep, size, kBgr);
}

int32_t YcckToCmyk(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size) {
  const int32_t status = CheckPlanar(src, 4, dst, size, true, srcStep, dstStep);
  if (status != StatusOk) return status;
  const uint8_t* yRow = src[0];
  const uint8_t* cbRow = src[1];
  const uint8_t* crRow = src[2];
  const uint8_t* kRow = src[3];
  for (int32_t row = 0; row < size.height; ++row) {
    uint8_t* out = dst;
    for (int32_t x = 0; x < size.width; ++x, out += 4) {
      const int32_t y = yRow[x], cb = cbRow[x], cr = crRow[x];
      out[0] = static_cast<uint8_t>(255 - Saturate(y + kCrR[cr]));
      out[1] = static_cast<uint8_t>(255 - Saturate(y + ((kCbG[cb] + kCrG[cr]) >> 16)));
      out[2] = static_cast<uint8_t>(255 - Saturate(y + kCbB[cb]));
      out[3] = kRow[x];
    }
    yRow += srcStep;
    cbRow += srcStep;
    crRow += srcStep;
    kRow += srcStep;
    dst += dstStep;
  }
  return StatusOk;
}

int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return PlanesToPixels<0, 16>(src, srcStep, dst, dstStep, size, alpha, kVideoRange);
}

int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return PlanesToPixels<16, 0>(src, srcStep, dst, dstStep, size, alpha, kVideoRange);
}

int32_t YCbCr422ToYuy2(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                       int32_t dstStep, ImageSize size) {
  if (src == nullptr || srcStep == nullptr || dst == nullptr || AnyNull(src, 3)) {
    return StatusNullPointer;
  }
  if (size.width < 2 || size.height < 1) return StatusSizeError;
  const uint8_t* yRow = src[0];
  const uint8_t* cbRow = src[1];
  const uint8_t* crRow = src[2];
  const int32_t pairs = size.width / 2;
  for (int32_t row = 0; row < size.height; ++row) {
    uint8_t* out = dst;
    for (int32_t x = 0; x < pairs; ++x, out += 4) {
      out[0] = yRow[2 * x];
      out[1] = cbRow[x];
      out[2] = yRow[2 * x + 1];
      out[3] = crRow[x];
    }
    yRow += srcStep[0];
    cbRow += srcStep[1];
    crRow += srcStep[2];
    dst += dstStep;
  }
  return StatusOk;
}

int32_t BgrToYCbCr(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                   ImageSize size) {
  return BgrRowsToYCbCr(src, srcStep, dst, dstStep, size, kGatherBgr);
}

}  // namespace level0

namespace {

using PlanarToPixelsFn = int32_t(const uint8_t* const*, int32_t, uint8_t*, int32_t, ImageSize);
using VideoToPixelsFn = int32_t(const uint8_t* const*, int32_t, uint8_t*, int32_t, ImageSize, uint8_t);
using ToYuy2Fn = int32_t(const uint8_t* const*, const int32_t*, uint8_t*, int32_t, ImageSize);
using PixelsToPlanarFn = int32_t(const uint8_t*, int32_t, uint8_t* const*, int32_t, ImageSize);

// The vector levels convert video range in 16-bit lanes (colour_sse3.cpp),
// which may differ from level 0 in the last bit; every other conversion is
// the same at every level.
constexpr PlanarToPixelsFn* kYCbCrToRgb[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YCbCrToRgb);
constexpr PlanarToPixelsFn* kYCbCrToBgr[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YCbCrToBgr);
constexpr PlanarToPixelsFn* kYcckToCmyk[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YcckToCmyk);
constexpr VideoToPixelsFn* kYCbCrToRgbaVideo[kLevelTableSize] = VV_LEVEL_TABLE(
    level0::YCbCrToRgbaVideo, sse3::YCbCrToRgbaVideo, sse3::YCbCrToRgbaVideo, sse3::YCbCrToRgbaVideo);
constexpr VideoToPixelsFn* kYCbCrToBgraVideo[kLevelTableSize] = VV_LEVEL_TABLE(
    level0::YCbCrToBgraVideo, sse3::YCbCrToBgraVideo, sse3::YCbCrToBgraVideo, sse3::YCbCrToBgraVideo);
constexpr ToYuy2Fn* kYCbCr422ToYuy2[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YCbCr422ToYuy2);
constexpr PixelsToPlanarFn* kBgrToYCbCr[kLevelTableSize] = VV_LEVEL_TABLE(
    level0::BgrToYCbCr, level0::BgrToYCbCr, ssse3::BgrToYCbCr, ssse3::BgrToYCbCr);

}  // namespace

int32_t YCbCrToRgb(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size) {
  return kYCbCrToRgb[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t YCbCrToBgr(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size) {
  return kYCbCrToBgr[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t YcckToCmyk(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size) {
  return kYcckToCmyk[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return kYCbCrToRgbaVideo[ProcessorLevel()](src, srcStep, dst, dstStep, size, alpha);
}

int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return kYCbCrToBgraVideo[ProcessorLevel()](src, srcStep, dst, dstStep, size, alpha);
}

int32_t YCbCr422ToYuy2(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                       int32_t dstStep, ImageSize size) {
  return kYCbCr422ToYuy2[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

int32_t BgrToYCbCr(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                   ImageSize size) {
  return kBgrToYCbCr[ProcessorLevel()](src, srcStep, dst, dstStep, size);
}

}  // namespace vv
