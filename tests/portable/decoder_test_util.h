// The decoder's two passes with a chosen output, a synthetic picture, pixel comparison.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "jpeg/decoder.h"

namespace vv::test {

// What the owner sets between the header pass and the decoding pass.
struct OutputRequest {
  int32_t dstColor = 2;
  int32_t scale = 0;
  int32_t sparseIdct = 0;
  int32_t keep422 = 0;
  int32_t planarOutput = 0;
  int32_t dstPrecision = 8;
};

struct DecodedPicture {
  int32_t headerStatus = 0;  // Decode(0)
  int32_t status = 0;        // Decode(1)
  int32_t width = 0;         // output width at the chosen scale
  int32_t height = 0;
  int32_t channels = 0;
  int32_t step = 0;
  std::vector<uint8_t> pixels;                 // interleaved output, step * height bytes
  std::vector<std::vector<uint8_t>> planes;    // planar output
  std::vector<int32_t> planeSteps;
};

// Decode(0), SetupGeometry, the output (lines padded to 4 bytes, 64 guard bytes 0xA5), Decode(1).
DecodedPicture DecodeJpeg(CJPEGDecoder* decoder, const std::vector<uint8_t>& jpeg,
                          const OutputRequest& request);
DecodedPicture DecodeJpeg(const std::vector<uint8_t>& jpeg, const OutputRequest& request);

// A smooth colour picture with some texture, 3 bytes R, G, B per pixel.
std::vector<uint8_t> SyntheticRgb(int width, int height, int seed = 0);

struct Difference {
  int maxDiff = 0;
  double psnr = 0;  // 99 for identical
};
Difference Compare(const uint8_t* a, int32_t aStep, const uint8_t* b, int32_t bStep, int width,
                   int height, int channels);

}  // namespace vv::test
