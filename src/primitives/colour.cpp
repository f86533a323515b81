#include "primitives/colour.h"

#include <cstring>

#include "primitives/dispatch.h"

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
// -277..535 before clamping (video-range blue is the widest; checked below), so
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

// The same saturation with the result already moved to byte 0, 1 or 2 of a
// 32-bit pixel, which spares the shifts when a pixel is assembled.
struct ShiftedSaturateTable {
  uint32_t at[1024];
};
constexpr ShiftedSaturateTable MakeShiftedSaturateTable(int shift) {
  ShiftedSaturateTable table{};
  for (int i = 0; i < 1024; ++i) table.at[i] = static_cast<uint32_t>(kSaturate.at[i]) << shift;
  return table;
}
constexpr ShiftedSaturateTable kSaturateShifted[3] = {
    MakeShiftedSaturateTable(0), MakeShiftedSaturateTable(8), MakeShiftedSaturateTable(16)};

// Byte order fixed, whatever the host's: byte 0 is the low byte of `word`.
inline void StoreLittleEndian32(uint8_t* p, uint32_t word) {
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) || defined(_WIN32)
  std::memcpy(p, &word, 4);
#else
  p[0] = static_cast<uint8_t>(word);
  p[1] = static_cast<uint8_t>(word >> 8);
  p[2] = static_cast<uint8_t>(word >> 16);
  p[3] = static_cast<uint8_t>(word >> 24);
#endif
}

// JFIF decoding. Red and blue fold their rounding into the table and keep
// only the integer part; green sums two 16-bit fractions first (the 32768 of
// CbG rounds the sum), so it is the only component with a shift per sample.
// Right shifts of negative values are arithmetic (floor) on every compiler
// this library is built with.
constexpr ByteTable kCrR = MakeByteTable([](int i) { return (Fix16(1.402) * (i - 128) + 32768) >> 16; });
constexpr ByteTable kCbB = MakeByteTable([](int i) { return (Fix16(1.772) * (i - 128) + 32768) >> 16; });
constexpr ByteTable kCrG = MakeByteTable([](int i) { return -Fix16(0.71414) * (i - 128); });
constexpr ByteTable kCbG = MakeByteTable([](int i) { return -Fix16(0.34414) * (i - 128) + 32768; });

// Video-range decoding: each product of the integer formula is one table, the
// rounding constant rides on the luma table.
constexpr ByteTable kVideoY = MakeByteTable([](int i) { return 76282 * (i - 16) + 32768; });
constexpr ByteTable kVideoCrR = MakeByteTable([](int i) { return 104593 * (i - 128); });
constexpr ByteTable kVideoCbG = MakeByteTable([](int i) { return -25689 * (i - 128); });
constexpr ByteTable kVideoCrG = MakeByteTable([](int i) { return -53279 * (i - 128); });
constexpr ByteTable kVideoCbB = MakeByteTable([](int i) { return 132184 * (i - 128); });

// JFIF encoding, one table per product term. The 0.5 table serves both B->Cb
// and R->Cr and carries the chroma offset 128 << 16 plus a bias of 32767
// (one less than a half, so that pure blue or red reaches 255 and no more);
// the rounding constant of Y rides on B->Y.
constexpr ByteTable kRToY = MakeByteTable([](int i) { return Fix16(0.299) * i; });
constexpr ByteTable kGToY = MakeByteTable([](int i) { return Fix16(0.587) * i; });
constexpr ByteTable kBToY = MakeByteTable([](int i) { return Fix16(0.114) * i + 32768; });
constexpr ByteTable kRToCb = MakeByteTable([](int i) { return -Fix16(0.16874) * i; });
constexpr ByteTable kGToCb = MakeByteTable([](int i) { return -Fix16(0.33126) * i; });
constexpr ByteTable kHalfToChroma = MakeByteTable([](int i) { return Fix16(0.5) * i + (128 << 16) + 32767; });
constexpr ByteTable kGToCr = MakeByteTable([](int i) { return -Fix16(0.41869) * i; });
constexpr ByteTable kBToCr = MakeByteTable([](int i) { return -Fix16(0.08131) * i; });

// The saturation table must cover every value a conversion can produce.
constexpr bool InSaturateRange(int32_t v) { return v >= -kSaturateOffset && v < 1024 - kSaturateOffset; }
static_assert(InSaturateRange(0 + kCrR[0]) && InSaturateRange(255 + kCrR[255]) &&
                  InSaturateRange(0 + kCbB[0]) && InSaturateRange(255 + kCbB[255]) &&
                  InSaturateRange(0 + ((kCbG[255] + kCrG[255]) >> 16)) &&
                  InSaturateRange(255 + ((kCbG[0] + kCrG[0]) >> 16)),
              "full-range results outside the saturation table");
static_assert(InSaturateRange((kVideoY[0] + kVideoCbB[0]) >> 16) &&
                  InSaturateRange((kVideoY[255] + kVideoCbB[255]) >> 16) &&
                  InSaturateRange((kVideoY[0] + kVideoCrR[0]) >> 16) &&
                  InSaturateRange((kVideoY[255] + kVideoCrR[255]) >> 16) &&
                  InSaturateRange((kVideoY[0] + kVideoCbG[255] + kVideoCrG[255]) >> 16) &&
                  InSaturateRange((kVideoY[255] + kVideoCbG[0] + kVideoCrG[0]) >> 16),
              "video-range results outside the saturation table");

bool AnyNull(const uint8_t* const* planes, int count) {
  for (int i = 0; i < count; ++i) {
    if (planes[i] == nullptr) return true;
  }
  return false;
}

// Checks shared by the planar converters; steps only where the caller asks.
int32_t CheckPlanar(const uint8_t* const* planes, int planeCount, const void* other,
                    ImageSize size, bool checkSteps, int32_t step1, int32_t step2) {
  if (planes == nullptr || other == nullptr || AnyNull(planes, planeCount)) return StatusNullPointer;
  if (size.width < 1 || size.height < 1) return StatusSizeError;
  if (checkSteps && (step1 < 1 || step2 < 1)) return StatusStepError;
  return StatusOk;
}

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

// One video-range pixel as a 32-bit word. Sums are formed at pointer width
// so that they index the tables without a widening step (the values fit in
// 32 bits either way, so the results are those of 32-bit arithmetic).
// Every table of the video-range conversion in one object: position
// independent code then reaches all of them from a single base register
// instead of forming each table's address anew inside the loop.
struct VideoRangeTables {
  ByteTable y, crR, cbG, crG, cbB;
  ShiftedSaturateTable saturate[3];
};
constexpr VideoRangeTables kVideoTables{kVideoY, kVideoCrR, kVideoCbG, kVideoCrG, kVideoCbB,
                                        {kSaturateShifted[0], kSaturateShifted[1], kSaturateShifted[2]}};

// One video-range pixel as a 32-bit word. Sums are formed at pointer width
// so that they index the tables without a widening step (the values fit in
// 32 bits either way, so the results are those of 32-bit arithmetic).
template <int RedShift, int BlueShift>
inline uint32_t VideoRangePixel(const VideoRangeTables& t, intptr_t luma, intptr_t cb, intptr_t cr,
                                uint32_t alphaBits) {
  const intptr_t y = t.y.at[luma];
  return t.saturate[RedShift / 8].at[((y + t.crR.at[cr]) >> 16) + kSaturateOffset] |
         t.saturate[1].at[((y + t.cbG.at[cb] + t.crG.at[cr]) >> 16) + kSaturateOffset] |
         t.saturate[BlueShift / 8].at[((y + t.cbB.at[cb]) >> 16) + kSaturateOffset] | alphaBits;
}

// Pixels are assembled in a register and stored as one 32-bit word, two per
// step of the loop; red and blue positions are template arguments so that
// the table choice is made at compile time.
template <int RedShift, int BlueShift>
int32_t VideoRangeToPixels(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                           int32_t dstStep, ImageSize size, uint8_t alpha) {
  const int32_t status = CheckPlanar(src, 3, dst, size, false, 0, 0);
  if (status != StatusOk) return status;
  const uint8_t* yRow = src[0];
  const uint8_t* cbRow = src[1];
  const uint8_t* crRow = src[2];
  const uint32_t alphaBits = static_cast<uint32_t>(alpha) << 24;
  const int32_t width = size.width;
  const VideoRangeTables& tables = kVideoTables;
  for (int32_t row = 0; row < size.height; ++row) {
    uint8_t* out = dst;
    int32_t x = 0;
    for (; x + 1 < width; x += 2, out += 8) {
      const uint32_t first =
          VideoRangePixel<RedShift, BlueShift>(tables, yRow[x], cbRow[x], crRow[x], alphaBits);
      const uint32_t second =
          VideoRangePixel<RedShift, BlueShift>(tables, yRow[x + 1], cbRow[x + 1], crRow[x + 1], alphaBits);
      StoreLittleEndian32(out, first);
      StoreLittleEndian32(out + 4, second);
    }
    if (x < width) {
      StoreLittleEndian32(out, VideoRangePixel<RedShift, BlueShift>(tables, yRow[x], cbRow[x], crRow[x], alphaBits));
    }
    yRow += srcStep;
    cbRow += srcStep;
    crRow += srcStep;
    dst += dstStep;
  }
  return StatusOk;
}

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
  return VideoRangeToPixels<0, 16>(src, srcStep, dst, dstStep, size, alpha);
}

int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha) {
  return VideoRangeToPixels<16, 0>(src, srcStep, dst, dstStep, size, alpha);
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
    const uint8_t* in = src;
    for (int32_t x = 0; x < size.width; ++x, in += 3) {
      const int32_t b = in[0], g = in[1], r = in[2];
      yRow[x] = static_cast<uint8_t>((kRToY[r] + kGToY[g] + kBToY[b]) >> 16);
      cbRow[x] = static_cast<uint8_t>((kRToCb[r] + kGToCb[g] + kHalfToChroma[b]) >> 16);
      crRow[x] = static_cast<uint8_t>((kHalfToChroma[r] + kGToCr[g] + kBToCr[b]) >> 16);
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

// The 16-bit-lane video-range arithmetic (which may differ in the last bit)
// belongs to the vector levels; until they exist every level runs level 0.
constexpr PlanarToPixelsFn* kYCbCrToRgb[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YCbCrToRgb);
constexpr PlanarToPixelsFn* kYCbCrToBgr[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YCbCrToBgr);
constexpr PlanarToPixelsFn* kYcckToCmyk[kLevelTableSize] = VV_SAME_AT_EVERY_LEVEL(level0::YcckToCmyk);
constexpr VideoToPixelsFn* kYCbCrToRgbaVideo[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::YCbCrToRgbaVideo);
constexpr VideoToPixelsFn* kYCbCrToBgraVideo[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::YCbCrToBgraVideo);
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
