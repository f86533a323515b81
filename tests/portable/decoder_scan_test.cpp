// Scan decoding of damaged real frames, and restarts.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "jpeg_builder_util.h"
#include "jpeg_samples_util.h"

namespace vv::test {
namespace {

// Offset just behind the first SOS segment (start of entropy-coded data).
size_t ScanDataStart(const Bytes& jpeg) {
  for (size_t i = 0; i + 3 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
  }
  return jpeg.size();
}

// Cut or bit-flipped frames end with their status and never write outside
// the destination.
TEST(DecoderRobustness, DamagedSamplesEndWithTheirStatus) {
  const struct {
    const SampleJpeg* sample;
    int cutFromEnd, flipInData;  // flipInData: offset into the scan data, -1 none
    int32_t status;
  } rows[] = {
      {&kSampleBaseline422, 2, -1, -4}, {&kSampleBaseline422, 40, -1, -4},
      {&kSampleBaseline422, 0, 5, 0},   {&kSampleGrayRestart, 10, -1, -4},
  };
  for (const auto& row : rows) {
    Bytes jpeg = row.sample->bytes();
    jpeg.resize(jpeg.size() - row.cutFromEnd);
    if (row.flipInData >= 0) jpeg[ScanDataStart(jpeg) + row.flipInData] ^= 0x5A;
    for (int dstColor : {0, 2, 7}) {
      OutputRequest request;
      request.dstColor = dstColor;
      const DecodedPicture out = DecodeJpeg(jpeg, request);
      EXPECT_EQ(out.status, row.status) << row.cutFromEnd << " " << dstColor;
      EXPECT_TRUE(std::all_of(out.pixels.end() - std::min<size_t>(64, out.pixels.size()), out.pixels.end(),
                              [](uint8_t b) { return b == 0xA5; }));
    }
  }
}

// The restart sample: 16x16 gray, DRI 1, RST0..RST2 between its four MCUs.
// Catches DC predictions not reset at the markers (each block keeps the mean
// of its source), markers out of order taken as they come, and garbage in
// one interval spreading past the next marker.
TEST(DecoderRestart, MarkersResetPredictionAndConfineDamage) {
  const Bytes jpeg = kSampleGrayRestart.bytes();
  OutputRequest request;
  request.dstColor = 1;
  const DecodedPicture original = DecodeJpeg(jpeg, request);
  ASSERT_EQ(original.status, 0);
  const auto at = [](const DecodedPicture& p, int x, int y) { return p.pixels[y * p.step + x]; };
  for (int block = 0; block < 4; ++block) {
    double got = 0, want = 0;
    for (int y = block / 2 * 8; y < block / 2 * 8 + 8; ++y) {
      for (int x = block % 2 * 8; x < block % 2 * 8 + 8; ++x) {
        got += at(original, x, y);
        want += 0.299 * (16 * x + 8) + 0.587 * (16 * y + 8) + 0.114 * (16 * (x ^ y) + 8);
      }
    }
    EXPECT_NEAR(got / 64, want / 64, 3) << "block " << block;
  }
  Bytes shuffled = jpeg;
  int seen = 0;
  size_t firstRst = 0;
  for (size_t i = ScanDataStart(jpeg); i + 1 < shuffled.size(); ++i) {
    if (shuffled[i] == 0xFF && shuffled[i + 1] >= 0xD0 && shuffled[i + 1] <= 0xD7) {
      if (seen == 0) firstRst = i;
      shuffled[i + 1] = static_cast<uint8_t>(0xD7 - seen++);
    }
  }
  ASSERT_EQ(seen, 3);
  const DecodedPicture out = DecodeJpeg(shuffled, request);
  ASSERT_EQ(out.status, 0);
  EXPECT_EQ(out.pixels, original.pixels);
  // Garbage without 0xFF behind the first RST damages the top right block only.
  Bytes damaged = jpeg;
  const Bytes garbage = {0x13, 0x57, 0x9B, 0xDF, 0x24, 0x68, 0xAC, 0x11, 0x22, 0x33};
  damaged.insert(damaged.begin() + firstRst + 3, garbage.begin(), garbage.end());
  const DecodedPicture hit = DecodeJpeg(damaged, request);
  ASSERT_EQ(hit.status, 0);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      if (y >= 8 || x < 8) EXPECT_EQ(at(hit, x, y), at(original, x, y)) << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace vv::test
