// Small real JPEG files (16x16) made by an independent encoder, embedded as
// byte arrays (jpeg_samples_util.cpp says how each was made).
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

extern const SampleJpeg kSampleBaseline420;     // SOF0, JFIF, 2x2/1x1/1x1, K.1/K.2 tables (quality 50), K.3-K.6 Huffman
extern const SampleJpeg kSampleProgressive420;  // SOF2, JFIF, 2x2/1x1/1x1, 10 scans
extern const SampleJpeg kSampleGrayRestart;     // SOF0, JFIF, gray, DRI 1, RST0..RST2 in the data

}  // namespace vv::test
