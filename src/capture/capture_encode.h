// Driving the JPEG encoder for one captured picture: the capture bitmap in,
// JPEG bytes into jpegBuffer out.
#pragma once

#include <cstdint>

#include "api/viewer_record.h"

namespace vv {

// Prepares the viewer's encoder for a new picture (also drops the comment
// of the previous one). The encoder must exist.
void ResetCaptureEncoder(ViewerRecord* viewer);

// Encodes the capture bitmap (captureBits, captureWidth × captureHeight,
// captureStride, blue-green-red) as a baseline 4:2:2 JPEG at `quality` into
// jpegBuffer, whose capacity is captureImageSize; with `withMark` the
// cursorMark goes into a comment segment. Returns 0 and sets *byteCount to
// the bytes written, or -1 when the encoder refused the set-up or the image
// did not fit (jpegBuffer then holds an incomplete image; *byteCount is
// untouched). The encoder and the capture bitmap must exist.
int32_t EncodeCaptureBitmap(ViewerRecord* viewer, uint32_t quality, bool withMark,
                            uint32_t* byteCount);

}  // namespace vv
