// JFIF full-range encoding at levels 2 and 3: level 0's arithmetic, bit for
// bit, with the B, G, R bytes of sixteen pixels split into three vectors by
// byte shuffles instead of one byte at a time.
#include <tmmintrin.h>

#include "primitives/colour_bgr_body.h"
#include "primitives/colour_levels.h"

namespace vv {
namespace ssse3 {
namespace {

// Shuffle controls that move the bytes of one channel (0 = B, 1 = G, 2 = R)
// found in the 16-byte part `part` of 48 bytes of pixels to their pixel's
// lane; -1 clears a lane (pshufb zeroes it), to be filled from another part.
struct ChannelShuffles {
  int8_t at[3][3][16];  // [channel][part][lane]
};
constexpr ChannelShuffles MakeChannelShuffles() {
  ChannelShuffles s{};
  for (int channel = 0; channel < 3; ++channel) {
    for (int part = 0; part < 3; ++part) {
      for (int lane = 0; lane < 16; ++lane) {
        const int byte = 3 * lane + channel - 16 * part;
        s.at[channel][part][lane] = static_cast<int8_t>(byte >= 0 && byte < 16 ? byte : -1);
      }
    }
  }
  return s;
}
constexpr ChannelShuffles kShuffles = MakeChannelShuffles();

inline __m128i Control(int channel, int part) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kShuffles.at[channel][part]));
}

// Whole groups of sixteen pixels by shuffles, the rest byte by byte.
constexpr auto kGatherShuffled = [](const uint8_t* in, uint8_t* b, uint8_t* g, uint8_t* r,
                                   int count) {
  uint8_t* const planes[3] = {b, g, r};
  int i = 0;
  for (; i + 16 <= count; i += 16) {
    const uint8_t* p = in + 3 * i;
    const __m128i parts[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
    for (int channel = 0; channel < 3; ++channel) {
      const __m128i lanes =
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(parts[0], Control(channel, 0)),
                                    _mm_shuffle_epi8(parts[1], Control(channel, 1))),
                       _mm_shuffle_epi8(parts[2], Control(channel, 2)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(planes[channel] + i), lanes);
    }
  }
  kGatherBgr(in + 3 * i, b + i, g + i, r + i, count - i);
};

}  // namespace

int32_t BgrToYCbCr(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                   ImageSize size) {
  return BgrRowsToYCbCr(src, srcStep, dst, dstStep, size, kGatherShuffled);
}

}  // namespace ssse3
}  // namespace vv
