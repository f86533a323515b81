// The capture bitmap: a 24-bit top-down DIB section selected into a memory
// device context compatible with the screen, and the JPEG buffer sized like
// the raw picture. Both live in the capture fields of the viewer record.
#pragma once

#include <cstdint>

#include "api/viewer_record.h"

namespace vv {

// Bytes per row of a 24-bit DIB `width` pixels wide: 3 × width rounded up
// to a multiple of 4, written as ((width + 1) × 3) rounded down. 0 when the
// row would not fit 32 bits or width < 1.
uint32_t CaptureStride(int32_t width);

// Creates the bitmap for captureWidth × captureHeight and everything that
// goes with it: captureStride, captureImageSize, captureHeader, screenDc,
// captureDc, captureBitmap (selected, previousBitmap keeping what it
// displaced), captureBits and jpegBuffer (captureImageSize bytes).
// Returns true when all of them exist. On failure (a size below 1, a picture
// over 2 GiB, or any GDI or heap failure) whatever was created is released
// again, so the six object fields are all null; the size fields keep the
// requested size.
bool CreateCaptureBitmap(ViewerRecord* viewer);

// Releases what CreateCaptureBitmap created (each only if present) and nulls
// previousBitmap, captureBitmap, captureDc, screenDc, jpegBuffer and
// captureBits. The size fields are untouched.
void DestroyCaptureBitmap(ViewerRecord* viewer);

// True while the bitmap, its device contexts and the JPEG buffer all exist,
// which is what copying and encoding need.
bool HasCaptureBitmap(const ViewerRecord* viewer);

}  // namespace vv
