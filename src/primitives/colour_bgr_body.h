// JFIF full-range encoding of 3-byte B, G, R pixels into Y, Cb, Cr planes,
// as every level computes it (internal to the primitive layer): the level
// files pass their own way of splitting the pixels into planes and compile
// the arithmetic, the same bit for bit, for their instruction set.
#pragma once
#include <cstdint>
#include <cstring>

#include "primitives/colour_pixels.h"
#include "primitives/compiler.h"
#include "primitives/status.h"

namespace vv {
namespace {

// k in 16-bit fixed point, rounded (k > 0).
constexpr int32_t EncodeFix16(double k) { return static_cast<int32_t>(k * 65536.0 + 0.5); }

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
constexpr int32_t kEncYR = EncodeFix16(0.299), kEncYG = EncodeFix16(0.587), kEncYB = EncodeFix16(0.114);
constexpr int32_t kEncCbR = EncodeFix16(0.16874), kEncCbG = EncodeFix16(0.33126);
constexpr int32_t kEncCrG = EncodeFix16(0.41869), kEncCrB = EncodeFix16(0.08131);
constexpr int32_t kEncHalf = EncodeFix16(0.5);
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
// arithmetic works on whole vectors; gather(in, b, g, r, count) splits the
// count pixels there.
template <int kPixels, typename Gather>
inline void BgrChunkToYCbCr(const uint8_t* in, uint8_t* y, uint8_t* cb, uint8_t* cr, int count,
                            Gather gather) {
  uint8_t b[kPixels], g[kPixels], r[kPixels];
  if (count < kPixels) {  // the tail of a row: defined values in the unused lanes
    std::memset(b, 0, sizeof b);
    std::memset(g, 0, sizeof g);
    std::memset(r, 0, sizeof r);
  }
  gather(in, b, g, r, count);
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

// The portable split: count pixels, byte by byte. Gathers are lambdas, so
// that each is inlined into every chunk rather than called through a
// pointer.
constexpr auto kGatherBgr = [](const uint8_t* in, uint8_t* b, uint8_t* g, uint8_t* r, int count) {
  VV_UNROLL
  for (int i = 0; i < count; ++i) {
    b[i] = in[3 * i];
    g[i] = in[3 * i + 1];
    r[i] = in[3 * i + 2];
  }
};

// The whole primitive, argument checks included, with the level's gather.
template <typename Gather>
int32_t BgrRowsToYCbCr(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                       ImageSize size, Gather gather) {
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
      BgrChunkToYCbCr<kChunk>(src + 3 * x, yRow + x, cbRow + x, crRow + x, kChunk, gather);
    }
    if (x < size.width) {
      BgrChunkToYCbCr<kChunk>(src + 3 * x, yRow + x, cbRow + x, crRow + x, size.width - x,
                              gather);
    }
    src += srcStep;
    yRow += dstStep;
    cbRow += dstStep;
    crRow += dstStep;
  }
  return StatusOk;
}

}  // namespace
}  // namespace vv
