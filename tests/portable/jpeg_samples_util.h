// Small real JPEG files (16x16): a baseline one from this project's encoder,
// a restart one made by an independent encoder (jpeg_samples_util.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vv::test {

struct SampleJpeg {
  const uint8_t* data;
  size_t size;
  std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(data, data + size); }
};

extern const SampleJpeg kSampleBaseline422;     // SOF0, JFIF, 2x1/1x1/1x1, quality 50
extern const SampleJpeg kSampleGrayRestart;     // SOF0, JFIF, gray, DRI 1, RST0..RST2 in the data

}  // namespace vv::test
