#include "encoder_test_util.h"

#include <algorithm>
#include <memory>

#include "jpeg/streams.h"

namespace vv::test {

EncodedImage EncodeBgr(const EncodeRequest& request) {
  constexpr int32_t kGuard = 256;
  constexpr uint8_t kGuardByte = 0xA5;
  const int32_t capacity =
      request.capacity >= 0 ? request.capacity : request.width * request.height * 8 + 65536;
  std::vector<uint8_t> buffer(static_cast<size_t>(capacity) + kGuard, kGuardByte);
  CMemBuffOutput stream(buffer.data(), capacity);

  EncodedImage result;
  auto encoder = std::make_unique<CJPEGEncoder>();
  encoder->Reset();
  encoder->srcData = request.bgr;
  encoder->width = request.width;
  encoder->height = request.height;
  encoder->srcStep = request.width * 3;
  encoder->srcPrecision = 8;
  encoder->srcChannels = 3;
  encoder->srcColor = 3;
  result.paramsStatus = encoder->SetParams(request.quality);
  if (result.paramsStatus == 0) {
    encoder->bitOutput.stream = &stream;
    encoder->bitOutput.Release();
    if (!request.comment.empty()) {
      encoder->comment = reinterpret_cast<const uint8_t*>(request.comment.data());
      encoder->commentLength = static_cast<int32_t>(request.comment.size());
    }
    result.headerStatus = encoder->WriteHeader();
    if (result.headerStatus == 0) result.dataStatus = encoder->WriteData();
  }
  result.bytes.assign(buffer.begin(), buffer.begin() + stream.position);
  result.guardIntact = std::all_of(buffer.begin() + capacity, buffer.end(),
                                   [](uint8_t b) { return b == kGuardByte; });
  return result;
}

SegmentList HeaderSegments(const std::vector<uint8_t>& jpeg) {
  SegmentList found;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
    const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    found.push_back({jpeg[at + 1], {jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length}});
    if (jpeg[at + 1] == 0xDA) break;
    at += 2 + length;
  }
  return found;
}

std::vector<uint8_t> NoiseRgb(int width, int height, uint32_t seed) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& sample : rgb) {
    state = state * 1664525u + 1013904223u;
    sample = static_cast<uint8_t>(state >> 24);
  }
  return rgb;
}

}  // namespace vv::test
