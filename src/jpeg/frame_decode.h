// The viewer's decode path, portable: one complete JPEG sample into a 32-bit
// picture (blue, green, red, 0 or alpha), rows of exactly width × 4 bytes,
// with the frame buffers reused while the size stays. The DLL's rendering
// exports and the native tools and tests run the same code.
#pragma once

#include <cstdint>

#include "jpeg/decoder.h"

namespace vv {

// Layout of a 40-byte BITMAPINFOHEADER, so the header can be lent to
// Windows hosts as it is.
struct FrameHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;  // negative while rows are top-down, positive bottom-up
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};
static_assert(sizeof(FrameHeader) == 40, "BITMAPINFOHEADER layout");

// The frame buffers of one viewer: header, pixels and one row of scratch,
// allocated together from aligned memory for one size and released together.
struct FrameBuffers {
  uint32_t frameWidth = 0;
  uint32_t frameHeight = 0;
  FrameHeader* frameHeader = nullptr;
  uint8_t* frameBits = nullptr;
  uint8_t* rowScratch = nullptr;
  uint32_t frameSize = 0;
};

// Releases the three buffers and zeroes the record.
void ReleaseFrameBuffers(FrameBuffers* frame);

// Decodes `size` bytes at `data` (null: an empty sample) with `decoder`
// into `frame`, top-down: reads the headers, accepts 8-bit frames of 1, 3 or
// 4 components, reallocates the buffers when the size differs (setting
// *sizeChanged; frameWidth/frameHeight then name the new size even when the
// rest of the sample fails), decodes, widens gray pictures (at least 40
// pixels wide) to g, g, g, 0 and fills the header with biHeight = -height.
// Returns true when frameBits holds the complete picture.
bool DecodeViewerFrame(CJPEGDecoder* decoder, const uint8_t* data, uint32_t size,
                       FrameBuffers* frame, bool* sizeChanged);

// Brings a top-down picture into bottom-up order through rowScratch and sets
// biHeight = +height.
void FlipFrameRows(FrameBuffers* frame);

}  // namespace vv
