// Interleaving, copying, widening and clearing of samples.
//
// Image arguments are (pointer, row step in bytes, ImageSize). Steps may be
// any value (negative walks upwards) except where a contract says a step
// below 1 fails. Checks run before any work, in this order: a null pointer
// (the plane array or any plane) gives StatusNullPointer, a size below 1
// StatusSizeError, then the step or shift checks; a failing call writes
// nothing. Unless a contract says otherwise, source and destination must not
// overlap. Names ending in 16u take unsigned samples; names ending in a bare
// 16 only move bits and take int16_t (cast freely between the two).
#pragma once
#include <cstdint>

#include "primitives/status.h"

namespace vv {

// Planes -> interleaved pixels: sample i of each pixel comes from plane i.
// src: 3 or 4 planes sharing srcStep. Fails with StatusNullPointer or
// StatusSizeError.
int32_t PlanarToPixel3x8u(const uint8_t* const src[3], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size);
int32_t PlanarToPixel4x8u(const uint8_t* const src[4], int32_t srcStep, uint8_t* dst,
                          int32_t dstStep, ImageSize size);
int32_t PlanarToPixel3x16u(const uint16_t* const src[3], int32_t srcStep, uint16_t* dst,
                           int32_t dstStep, ImageSize size);
int32_t PlanarToPixel4x16u(const uint16_t* const src[4], int32_t srcStep, uint16_t* dst,
                           int32_t dstStep, ImageSize size);

// One-channel image copies. Fail with StatusNullPointer or StatusSizeError.
int32_t CopyImage8u(const uint8_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                    ImageSize size);
int32_t CopyImage16(const int16_t* src, int32_t srcStep, int16_t* dst, int32_t dstStep,
                    ImageSize size);

// Widens bytes to 16-bit samples of the same value. Fails with
// StatusNullPointer, StatusSizeError, or StatusStepError when a step is
// below 1.
int32_t Convert8uTo16uImage(const uint8_t* src, int32_t srcStep, uint16_t* dst, int32_t dstStep,
                            ImageSize size);

// Narrows 16-bit samples to bytes; values above 255 become 255. Fails like
// Convert8uTo16uImage.
int32_t Convert16uTo8uSat(const uint16_t* src, int32_t srcStep, uint8_t* dst, int32_t dstStep,
                          ImageSize size);

// Every sample of the image &= value. Fails with StatusNullPointer or
// StatusSizeError.
int32_t AndConstImage16uInPlace(uint16_t value, uint16_t* image, int32_t step, ImageSize size);

// Copies length bytes; the ranges may overlap (the copy runs backwards when
// dst lies above src). Fails with StatusNullPointer, or StatusSizeError when
// length < 1.
int32_t MoveBytes(const uint8_t* src, uint8_t* dst, int32_t length);

// Copies or clears length bytes (ranges must not overlap). Fail with
// StatusNullPointer, or StatusSizeError when length < 1.
int32_t CopyBytes(const uint8_t* src, uint8_t* dst, int32_t length);
int32_t ZeroBytes(uint8_t* dst, int32_t length);

// Copies or clears count 16-bit values. Fail with StatusNullPointer, or
// StatusSizeError when count < 1.
int32_t Copy16(const int16_t* src, int16_t* dst, int32_t count);
int32_t Zero16(int16_t* dst, int32_t count);

// dst[i] = src[i] << shift, truncated to 16 bits: shift 0 copies, shift 16
// or more gives zeros. dst may equal src. Fails with StatusNullPointer,
// StatusSizeError when count < 1, or StatusShiftError when shift < 0.
int32_t ShiftLeft16u(const uint16_t* src, int32_t shift, uint16_t* dst, int32_t count);

}  // namespace vv
