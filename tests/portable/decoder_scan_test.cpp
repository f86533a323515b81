// Scan decoding of damaged and truncated real frames, and restarts. Frames
// without DHT segments (the standard tables) are in the conformance corpus.
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

bool GuardIntact(const DecodedPicture& picture) {
  if (picture.pixels.size() < 64) return true;
  return std::all_of(picture.pixels.end() - 64, picture.pixels.end(),
                     [](uint8_t b) { return b == 0xA5; });
}

// Damaged real frames end with their documented status and never write
// outside the destination (random damage is the fuzz targets' work).
TEST(DecoderRobustness, DamagedSamplesEndWithTheirStatus) {
  const struct {
    const char* what;
    const SampleJpeg* sample;
    int cutFromEnd;   // bytes removed at the end
    int flipInData;   // offset into the scan data of a flipped byte, -1 none
    int32_t status;
  } rows[] = {
      {"baseline without EOI", &kSampleBaseline422, 2, -1, -4},
      {"baseline cut in the data", &kSampleBaseline422, 40, -1, -4},
      {"baseline bit errors", &kSampleBaseline422, 0, 5, 0},
      {"progressive cut in a later scan", &kSampleProgressive420, 30, -1, -4},
      {"progressive bit errors", &kSampleProgressive420, 0, 3, 0},
      {"gray restart cut", &kSampleGrayRestart, 10, -1, -4},
  };
  for (const auto& row : rows) {
    Bytes jpeg = row.sample->bytes();
    jpeg.resize(jpeg.size() - row.cutFromEnd);
    if (row.flipInData >= 0) jpeg[ScanDataStart(jpeg) + row.flipInData] ^= 0x5A;
    for (int dstColor : {0, 2, 7}) {
      OutputRequest request;
      request.dstColor = dstColor;
      const DecodedPicture out = DecodeJpeg(jpeg, request);
      EXPECT_EQ(out.status, row.status) << row.what << " dstColor " << dstColor;
      EXPECT_TRUE(GuardIntact(out)) << row.what;
    }
  }
}

// The restart sample: 16x16 gray, DRI 1, RST0..RST2 between its four MCUs.
// Each block keeps the mean of the picture it was made from (catches DC
// predictions not reset at the markers), also with the markers out of order.
TEST(DecoderRestart, MarkersResetPredictionAndMayComeOutOfOrder) {
  const Bytes jpeg = kSampleGrayRestart.bytes();
  OutputRequest request;
  request.dstColor = 1;
  const DecodedPicture original = DecodeJpeg(jpeg, request);
  ASSERT_EQ(original.status, 0);
  for (int block = 0; block < 4; ++block) {
    double got = 0, want = 0;  // sums over the block
    for (int y = block / 2 * 8; y < block / 2 * 8 + 8; ++y) {
      for (int x = block % 2 * 8; x < block % 2 * 8 + 8; ++x) {
        got += original.pixels[y * original.step + x];
        want += 0.299 * (16 * x + 8) + 0.587 * (16 * y + 8) + 0.114 * (16 * (x ^ y) + 8);
      }
    }
    EXPECT_NEAR(got / 64, want / 64, 3) << "block " << block;
  }
  Bytes shuffled = jpeg;
  int seen = 0;
  for (size_t i = ScanDataStart(jpeg); i + 1 < shuffled.size(); ++i) {
    if (shuffled[i] == 0xFF && shuffled[i + 1] >= 0xD0 && shuffled[i + 1] <= 0xD7) {
      shuffled[i + 1] = static_cast<uint8_t>(0xD7 - seen++);
    }
  }
  ASSERT_EQ(seen, 3);
  const DecodedPicture out = DecodeJpeg(shuffled, request);
  ASSERT_EQ(out.status, 0);
  EXPECT_EQ(out.pixels, original.pixels);
}

// Garbage without 0xFF inside one restart interval damages that interval
// only: the next RST realigns decoding, and EOI still ends the frame well.
TEST(DecoderRestart, GarbageIsConfinedToItsInterval) {
  const Bytes jpeg = kSampleGrayRestart.bytes();
  OutputRequest request;
  request.dstColor = 1;
  const DecodedPicture original = DecodeJpeg(jpeg, request);
  ASSERT_EQ(original.status, 0);
  // Behind the first RST (the second MCU, top right 8x8).
  size_t rst = ScanDataStart(jpeg);
  while (!(jpeg[rst] == 0xFF && jpeg[rst + 1] == 0xD0)) ++rst;
  Bytes damaged = jpeg;
  const Bytes garbage = {0x13, 0x57, 0x9B, 0xDF, 0x24, 0x68, 0xAC, 0x11, 0x22, 0x33};
  damaged.insert(damaged.begin() + rst + 3, garbage.begin(), garbage.end());
  const DecodedPicture out = DecodeJpeg(damaged, request);
  ASSERT_EQ(out.status, 0);
  int changedOutside = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool inDamagedBlock = y < 8 && x >= 8;
      if (!inDamagedBlock) changedOutside += out.pixels[y * out.step + x] != original.pixels[y * original.step + x];
    }
  }
  EXPECT_EQ(changedOutside, 0);
}

// A frame whose data is cut in the middle fails with the end of data, but the
// rows decoded before the cut are in the destination.
TEST(DecoderRobustness, TruncatedFrameKeepsDecodedRows) {
  const Bytes jpeg = kSampleGrayRestart.bytes();
  OutputRequest request;
  request.dstColor = 1;
  const DecodedPicture original = DecodeJpeg(jpeg, request);
  size_t rst = ScanDataStart(jpeg);
  while (!(jpeg[rst] == 0xFF && jpeg[rst + 1] == 0xD1)) ++rst;  // after the first MCU row
  const DecodedPicture cut = DecodeJpeg(Bytes(jpeg.begin(), jpeg.begin() + rst + 2), request);
  EXPECT_EQ(cut.status, -4);
  for (int y = 0; y < 8; ++y) {
    EXPECT_TRUE(std::equal(cut.pixels.begin() + y * cut.step, cut.pixels.begin() + y * cut.step + 16,
                           original.pixels.begin() + y * original.step));
  }
}

}  // namespace
}  // namespace vv::test
