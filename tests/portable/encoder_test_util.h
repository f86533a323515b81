// Test-side helpers for the encoder: the capture's calling sequence over a
// fixed-size output buffer with guard bytes, and test pictures.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vv::test {

struct EncodeRequest {
  const uint8_t* bgr = nullptr;  // rows of width * 3 bytes (or step bytes)
  int32_t width = 0;
  int32_t height = 0;
  int32_t step = 0;  // 0: width * 3
  uint32_t quality = 75;
  std::string comment;  // empty: no comment segment
  bool withComment = false;
  int32_t capacity = -1;  // output buffer size; -1: large enough for anything
};

struct EncodedImage {
  int32_t paramsStatus = 0;  // SetParams
  int32_t headerStatus = 0;  // WriteHeader
  int32_t dataStatus = 0;    // WriteData (not called when an earlier step failed)
  std::vector<uint8_t> bytes;  // what reached the output stream
  bool guardIntact = true;     // nothing was written past the buffer
  bool Ok() const { return paramsStatus == 0 && headerStatus == 0 && dataStatus == 0; }
};

// Reset, source description, SetParams, output attached (fresh buffer),
// optional comment, WriteHeader, WriteData, into a CMemBuffOutput of
// `capacity` bytes followed by guard bytes.
EncodedImage EncodeBgr(const EncodeRequest& request);

// R, G, B pixels to B, G, R (and back: the swap is its own inverse).
std::vector<uint8_t> SwapRedBlue(const std::vector<uint8_t>& pixels);

// Uniform noise in 0..255, 3 samples a pixel, from a fixed seed.
std::vector<uint8_t> NoiseRgb(int width, int height, uint32_t seed);

}  // namespace vv::test
