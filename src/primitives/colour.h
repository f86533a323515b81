// Colour conversion between component planes and interleaved pixels.
//
// Planar arguments are an array of 3 (or 4) plane pointers sharing one row
// step, except YCbCr422ToYuy2, which takes one step per plane. Steps are in
// bytes. Checks run before any work, in this order: a null pointer (the
// array or any plane) gives StatusNullPointer, a width or height below 1
// StatusSizeError, and, where a contract says so, a step below 1
// StatusStepError. A failing call writes nothing.
//
// Full range is JFIF: Y, Cb and Cr use all of 0..255, chroma centred on 128.
// Video range is BT.601 studio swing: luma 16..235, chroma 16..240.
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// Y, Cb, Cr planes -> 3-byte pixels R, G, B (YCbCrToRgb) or B, G, R
// (YCbCrToBgr), JFIF full range, each component clamped to 0..255.
// src: 3 planes, srcStep their common row step; dst, dstStep: the pixels.
// Fails with StatusNullPointer, StatusSizeError, or StatusStepError when
// srcStep or dstStep is below 1.
int32_t YCbCrToRgb(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size);
int32_t YCbCrToBgr(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size);

// Y, Cb, Cr, K planes (Adobe YCCK) -> 4-byte pixels C, M, Y, K: the JFIF
// conversion to R, G, B, then C = 255 - R, M = 255 - G, Y = 255 - B; K is
// copied. Same failures as YCbCrToRgb.
int32_t YcckToCmyk(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst, int32_t dstStep,
                   ImageSize size);

// Y, Cb, Cr planes, video range -> 4-byte pixels R, G, B, alpha
// (YCbCrToRgbaVideo) or B, G, R, alpha (YCbCrToBgraVideo):
//   R = (76282 (Y-16) + 104593 (Cr-128) + 32768) >> 16
//   G = (76282 (Y-16) - 25689 (Cb-128) - 53279 (Cr-128) + 32768) >> 16
//   B = (76282 (Y-16) + 132184 (Cb-128) + 32768) >> 16, each clamped to 0..255.
// That is processor level 0; from level 1 on, the conversion runs in 16-bit
// lanes with coefficients scaled by 2^13 (colour_sse3.cpp) and may differ
// from it in the last bit.
// Steps are not checked (negative steps walk upwards). Fails with
// StatusNullPointer or StatusSizeError.
int32_t YCbCrToRgbaVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha);
int32_t YCbCrToBgraVideo(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                         int32_t dstStep, ImageSize size, uint8_t alpha);

// Y plane (full width) and Cb, Cr planes (half width) -> pixel pairs
// Y0 Cb Y1 Cr. srcStep holds one step per plane. For an odd width the last
// column has no pair and its 2 bytes are left unwritten. Steps are not
// checked. Fails with StatusNullPointer (also a null srcStep) or
// StatusSizeError (width below 2, height below 1).
int32_t YCbCr422ToYuy2(const uint8_t* const src[3], const int32_t srcStep[3], uint8_t* dst,
                       int32_t dstStep, ImageSize size);

// 3-byte pixels B, G, R -> Y, Cb, Cr planes, JFIF full range:
//   Y  = ( 0.299 R + 0.587 G + 0.114 B) in 16-bit fixed point, rounded
//   Cb = (-0.16874 R - 0.33126 G + 0.5 B) + 128, Cr = (0.5 R - 0.41869 G - 0.08131 B) + 128,
// chroma rounded with a bias just under one half, so results never leave
// 0..255. dst: 3 planes sharing dstStep. Fails with StatusNullPointer,
// StatusSizeError, or StatusStepError when a step is below 1.
int32_t BgrToYCbCr(const uint8_t* src, int32_t srcStep, uint8_t* const dst[3], int32_t dstStep,
                   ImageSize size);

}  // namespace vv
