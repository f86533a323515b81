// The encoder's calling sequence (as capture drives it) over a guarded buffer, and test pictures.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "jpeg/encoder.h"

namespace vv::test {

struct EncodeRequest {
  EncodeRequest(const uint8_t* pixels, int32_t w, int32_t h, uint32_t q = 75)
      : bgr(pixels), width(w), height(h), quality(q) {}
  const uint8_t* bgr = nullptr;  // rows of width * 3 bytes
  int32_t width = 0;
  int32_t height = 0;
  uint32_t quality = 75;
  std::string comment;  // empty: none
  int32_t capacity = -1;  // output buffer size; -1: large enough for anything
};

struct EncodedImage {
  int32_t paramsStatus = 0;  // SetParams
  int32_t headerStatus = 0;  // WriteHeader
  int32_t dataStatus = 0;    // WriteData (not called after an earlier failure)
  std::vector<uint8_t> bytes;  // what reached the output stream
  bool guardIntact = true;     // nothing was written past the buffer
  bool Ok() const { return paramsStatus == 0 && headerStatus == 0 && dataStatus == 0; }
};

// Reset, source, SetParams, output, comment, WriteHeader, WriteData into `capacity` bytes and guards.
EncodedImage EncodeBgr(const EncodeRequest& request);

// (marker, body) of each segment up to and including the first SOS.
using SegmentList = std::vector<std::pair<uint8_t, std::vector<uint8_t>>>;
SegmentList HeaderSegments(const std::vector<uint8_t>& jpeg);

// Uniform noise in 0..255, 3 samples a pixel, from a fixed seed.
std::vector<uint8_t> NoiseRgb(int width, int height, uint32_t seed);

}  // namespace vv::test
