// Picture files for the command-line tools: binary PGM/PPM, PAM and 32-bit
// BMP writers, PPM/PGM and BMP readers. The codec never touches files; only
// the tools do, so these may allocate and use stdio.
#pragma once

#include <cstdint>
#include <vector>

namespace vv {

// Byte order of the samples of one pixel in memory.
enum class PixelLayout {
  kGray,       // 1 sample
  kRgb,        // 3 samples
  kBgr,        // 3 samples
  kRgba,       // 4 samples
  kBgra,       // 4 samples
  kBgrx,       // 4 samples, the fourth without meaning
  kCmyk,       // 4 samples
  kChannels4,  // 4 samples of no particular meaning (components as stored)
};

// Samples per pixel of a layout.
int32_t LayoutChannels(PixelLayout layout);

// A picture in caller memory: `height` rows of `width` pixels, row r
// starting at pixels + r * step, top row first. maxValue 1..255 means one
// byte a sample; 256..65535 two bytes a sample in the machine's order.
struct ImageView {
  const uint8_t* pixels = nullptr;
  int32_t step = 0;
  int32_t width = 0;
  int32_t height = 0;
  PixelLayout layout = PixelLayout::kGray;
  int32_t maxValue = 255;
};

// Binary PGM (P5) from kGray, or binary PPM (P6, red-green-blue) from the
// colour layouts (kRgb, kBgr, kRgba, kBgra, kBgrx; the fourth sample is dropped). Samples above
// 255 are written big-endian as the format wants. False when the layout
// does not fit the format, the view is empty or the file cannot be written
// (a partly written file may remain).
bool WritePnm(const char* path, const ImageView& image);

// PAM (P7) of any layout: GRAYSCALE, RGB, RGB_ALPHA or CMYK tuples (kBgrx as RGB); kChannels4
// gets depth 4 without a tuple type. Same failures as WritePnm.
bool WritePam(const char* path, const ImageView& image);

// Uncompressed 32-bit BMP with a 40-byte info header, rows bottom-up, every
// pixel blue, green, red, 0, from kGray or a colour layout with 8-bit
// samples. False for kCmyk, kChannels4, deeper samples, an empty view or a
// write failure.
bool WriteBmp(const char* path, const ImageView& image);

// A picture read from a file: top-down rows of width * channels bytes.
struct LoadedImage {
  int32_t width = 0;
  int32_t height = 0;
  PixelLayout layout = PixelLayout::kGray;  // kGray or kRgb
  std::vector<uint8_t> pixels;
};

// The largest picture the readers accept, in pixels; anything larger is
// taken as a damaged header rather than allocated.
constexpr int64_t kMaxLoadedPixels = int64_t{1} << 28;

// Reads a binary PGM (P5, kGray) or PPM (P6, kRgb) with maxval 1..255
// (samples are taken as they are, not rescaled to 255). Comments in the
// header are skipped. False for other formats, truncated or oversized files;
// *image is untouched then.
bool ReadPnm(const char* path, LoadedImage* image);

// Reads an uncompressed BMP of 24 or 32 bits a pixel (BI_RGB, or
// BI_BITFIELDS with the usual masks), bottom-up or top-down, into kRgb; the
// fourth byte of 32-bit pixels is ignored. False for other kinds, truncated
// or oversized files; *image is untouched then.
bool ReadBmp(const char* path, LoadedImage* image);

}  // namespace vv
