// The vector-level implementations of the colour primitives, for the
// dispatch tables in colour.cpp (internal to the primitive layer). Each has
// the contract of the entry point of the same name in colour.h.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {
namespace sse3 {

// Video range in 16-bit lanes (see colour_sse3.cpp); levels 1 to 3.
int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha);
int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha);

}  // namespace sse3

namespace ssse3 {

// Level 0's arithmetic, the pixels split by byte shuffles; levels 2 and 3.
int32_t BgrToYCbCr(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                   ImageSize size);

}  // namespace ssse3
}  // namespace vv
