#include "primitives/colour.h"

#include <cstring>

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

// JFIF encoding: Y = (F(0.299) R + F(0.587) G + F(0.114) B + 2^15) >> 16,
// Cb = (-F(0.16874) R - F(0.33126) G + F(0.5) B + (128 << 16) + 32767) >> 16
// and Cr likewise. The chroma bias is one less than a half, so that pure
// blue or red reaches 255 and no more.
//
// The sums are formed in 16-bit lanes, eight or more pixels per vector
// instruction, and come out bit for bit as above. Each constant is split
// into its high and low bytes, F = 256 Fh + Fl, so a sum is 256 H + L with
// H = sum Fh x and L = sum Fl x; the constants of each sum add up to 2^16
// (checked below), so H and L stay below 2^16 and unsigned 16-bit
// arithmetic holds them exactly (checked below too). Then, with the bias c,
//   (256 H + L + c) >> 16 = (H + ((L + (c & 255)) >> 8) + (c >> 8)) >> 8,
// as the 256 H term passes the inner shift unchanged. The chroma sums turn
// their negative terms into positive ones through 255 - x:
//   -Fr R - Fg G + 2^15 B = Fr (255 - R) + Fg (255 - G) + 2^15 B - 255 x 2^15,
// since Fr + Fg = 2^15, leaving the bias (128 << 16) + 32767 - 255 x 2^15
// = 65535.
constexpr int32_t kEncYR = Fix16(0.299), kEncYG = Fix16(0.587), kEncYB = Fix16(0.114);
constexpr int32_t kEncCbR = Fix16(0.16874), kEncCbG = Fix16(0.33126);
constexpr int32_t kEncCrG = Fix16(0.41869), kEncCrB = Fix16(0.08131);
constexpr int32_t kEncHalf = Fix16(0.5);
static_assert(kEncYR + kEncYG + kEncYB == 65536 && kEncHalf == 32768, "luma weights must sum to 2^16");
static_assert(kEncCbR + kEncCbG == kEncHalf && kEncCrG + kEncCrB == kEncHalf, "chroma weights must sum to 2^15");
constexpr int32_t kChromaBias = (128 << 16) + 32767 - 255 * kEncHalf;
static_assert(kChromaBias == 65535, "chroma bias after the 255 - x terms");

constexpr uint16_t High(int32_t k) { return static_cast<uint16_t>(k >> 8); }
constexpr uint16_t Low(int32_t k) { return static_cast<uint16_t>(k & 255); }

// Whether a sum with these weights (of values 0..255) and bias keeps H, L
// and the combined value below 2^16.
constexpr bool FitsIn16Bits(int32_t k0, int32_t k1, int32_t k2, int32_t bias) {
  const int32_t maxHigh = 255 * (High(k0) + High(k1) + High(k2));
  const int32_t maxLow = 255 * (Low(k0) + Low(k1) + Low(k2));
  return maxHigh < 65536 && maxLow + (bias & 255) < 65536 &&
         maxHigh + ((maxLow + (bias & 255)) >> 8) + (bias >> 8) < 65536;
}
static_assert(FitsIn16Bits(kEncYR, kEncYG, kEncYB, 32768) &&
                  FitsIn16Bits(kEncCbR, kEncCbG, kEncHalf, kChromaBias) &&
                  FitsIn16Bits(kEncHalf, kEncCrG, kEncCrB, kChromaBias),
              "16-bit lanes must hold the colour sums");

// (256 h + l + bias) >> 16 for h, l < 2^16 as formed by the callers.
template <int32_t kBias>
inline uint16_t Combine(uint16_t h, uint16_t l) {
  const uint16_t fraction = static_cast<uint16_t>((l + (kBias & 255)) >> 8);
  return static_cast<uint16_t>(static_cast<uint16_t>(h + fraction + (kBias >> 8)) >> 8);
}

// kPixels pixels of one row, read once into local planes so that the
// arithmetic works on whole vectors.
template <int kPixels>
inline void BgrChunkToYCbCr(const uint8_t* in, uint8_t* y, uint8_t* cb, uint8_t* cr, int count) {
  uint8_t b[kPixels], g[kPixels], r[kPixels];
  if (count < kPixels) {  // the tail of a row: defined values in the unused lanes
    std::memset(b, 0, sizeof b);
    std::memset(g, 0, sizeof g);
    std::memset(r, 0, sizeof r);
  }
  VV_UNROLL
  for (int i = 0; i < count; ++i) {
    b[i] = in[3 * i];
    g[i] = in[3 * i + 1];
    r[i] = in[3 * i + 2];
  }
  uint8_t yOut[kPixels], cbOut[kPixels], crOut[kPixels];
  for (int i = 0; i < kPixels; ++i) {
    const uint16_t bi = b[i], gi = g[i], ri = r[i];
    const uint16_t gc = 255 - gi, rc = 255 - ri, bc = 255 - bi;
    const uint16_t yh = High(kEncYR) * ri + High(kEncYG) * gi + High(kEncYB) * bi;
    const uint16_t yl = Low(kEncYR) * ri + Low(kEncYG) * gi + Low(kEncYB) * bi;
    const uint16_t cbh = High(kEncCbR) * rc + High(kEncCbG) * gc + High(kEncHalf) * bi;
    const uint16_t cbl = Low(kEncCbR) * rc + Low(kEncCbG) * gc;
    const uint16_t crh = High(kEncHalf) * ri + High(kEncCrG) * gc + High(kEncCrB) * bc;
    const uint16_t crl = Low(kEncCrG) * gc + Low(kEncCrB) * bc;
    yOut[i] = static_cast<uint8_t>(Combine<32768>(yh, yl));
    cbOut[i] = static_cast<uint8_t>(Combine<kChromaBias>(cbh, cbl));
    crOut[i] = static_cast<uint8_t>(Combine<kChromaBias>(crh, crl));
  }
  std::memcpy(y, yOut, static_cast<size_t>(count));
  std::memcpy(cb, cbOut, static_cast<size_t>(count));
  std::memcpy(cr, crOut, static_cast<size_t>(count));
}

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

// Video-range conversion in a form the compiler turns into vector code.
// Each coefficient of the integer formula is split into a multiple of 2^16
// and a remainder that fits a signed 16-bit factor, e.g.
//   76282 = 2^16 + 10746,  104593 = 2 * 2^16 - 26479,
//   53279 = 2^16 - 12257,  132184 = 2 * 2^16 + 1112,
// so that (sum of products + 32768) >> 16 equals the whole multiples added
// to (sum of remainder products + 32768) >> 16 exactly (a multiple of 2^16
// passes through the floor unchanged). The remainders are 16 x 16-bit
// products, which baseline SSE2 multiplies eight at a time; table lookups
// could not be vectorised at all.
//
// The three components of one pixel. The whole multiples stay in 16-bit
// lanes (results lie in -277..535), only the remainders' sums need 32 bits;
// the clamps are then 16-bit minimum and maximum.
inline uint8_t ClampVideo(int32_t v) {
  const int16_t w = static_cast<int16_t>(v);
  return static_cast<uint8_t>(w < 0 ? 0 : w > 255 ? 255 : w);
}

inline PixelRgb VideoRangeComponents(int32_t luma, int32_t cb, int32_t cr) {
  const int16_t y = static_cast<int16_t>(luma - 16);
  const int16_t u = static_cast<int16_t>(cb - 128);
  const int16_t v = static_cast<int16_t>(cr - 128);
  const int32_t common = int32_t{y} * 10746 + 32768;
  const int16_t r = static_cast<int16_t>((common + int32_t{v} * -26479) >> 16);
  const int16_t g = static_cast<int16_t>((common + int32_t{u} * -25689 + int32_t{v} * 12257) >> 16);
  const int16_t b = static_cast<int16_t>((common + int32_t{u} * 1112) >> 16);
  return {ClampVideo(y + 2 * v + r), ClampVideo(y - v + g), ClampVideo(y + 2 * u + b)};
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
  const int32_t status = CheckPlanar(dst, 3, src, size, true, srcStep, dstStep);
  if (status != StatusOk) return status;
  uint8_t* yRow = dst[0];
  uint8_t* cbRow = dst[1];
  uint8_t* crRow = dst[2];
  for (int32_t row = 0; row < size.height; ++row) {
    // 64 rather than 16: the vector loads of the gathered planes then come
    // long after the byte stores that filled them (measured 20 % faster).
    constexpr int kChunk = 64;
    int32_t x = 0;
    for (; x + kChunk <= size.width; x += kChunk) {
      BgrChunkToYCbCr<kChunk>(src + 3 * x, yRow + x, cbRow + x, crRow + x, kChunk);
    }
    if (x < size.width) {
      BgrChunkToYCbCr<kChunk>(src + 3 * x, yRow + x, cbRow + x, crRow + x, size.width - x);
    }
    src += srcStep;
    yRow += dstStep;
    cbRow += dstStep;
    crRow += dstStep;
  }
  return StatusOk;
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
constexpr PixelsToPlanarFn* kBgrToYCbCr[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::BgrToYCbCr);

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
