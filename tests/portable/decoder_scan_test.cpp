// Scan decoding: MCU geometry, restarts, damaged and truncated data, default
// Huffman tables, scan kinds the decoder refuses, and output rules that need
// no reference decoder.
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

TEST(DecoderGeometry, McuGridFromSamplingAndSize) {
  struct Row {
    int width, height;
    uint8_t h, v;
    int mcuWidth, mcuHeight, across, down, padX, padY;
  } rows[] = {
      {640, 480, 2, 2, 16, 16, 40, 30, 0, 0},
      {100, 75, 2, 1, 16, 8, 7, 10, 12, 5},
      {1, 1, 1, 1, 8, 8, 1, 1, 7, 7},
      {17, 9, 1, 2, 8, 16, 3, 1, 7, 7},
  };
  for (const Row& row : rows) {
    DecoderHarness harness;
    const Bytes stream = JpegBuilder()
                             .Soi()
                             .Dqt8(0, 1)
                             .Sof(0xC0, 8, row.width, row.height, YCbCr(row.h, row.v))
                             .Sos(ScanOf(3))
                             .ScanData()
                             .Eoi()
                             .bytes();
    ASSERT_EQ(harness.Run(stream, 0), 0);
    CJPEGDecoder& d = harness.decoder;
    ASSERT_EQ(d.SetupGeometry(), 0);
    EXPECT_EQ(d.mcuWidth, row.mcuWidth);
    EXPECT_EQ(d.mcuHeight, row.mcuHeight);
    EXPECT_EQ(d.bandHeight, row.mcuHeight);
    EXPECT_EQ(d.mcusAcross, row.across);
    EXPECT_EQ(d.mcusDown, row.down);
    EXPECT_EQ(d.paddedWidth, row.across * row.mcuWidth);
    EXPECT_EQ(d.padX, row.padX);
    EXPECT_EQ(d.padY, row.padY);
  }
}

TEST(DecoderGeometry, LosslessMcuIsOneSample) {
  DecoderHarness harness;
  const Bytes stream = JpegBuilder()
                           .Soi()
                           .Sof(0xC3, 12, 33, 7, {{1, 1, 1, 0}})
                           .Sos({{1, 0, 0}}, 1, 0, 0, 0)
                           .Eoi()
                           .bytes();
  ASSERT_EQ(harness.Run(stream, 0), 0);
  harness.decoder.SetupGeometry();
  EXPECT_EQ(harness.decoder.mcuWidth, 1);
  EXPECT_EQ(harness.decoder.mcusAcross, 33);
  EXPECT_EQ(harness.decoder.mcusDown, 7);
  EXPECT_EQ(harness.decoder.padX, 0);
}

// Every real sample decodes; truncations at every length and single-bit
// errors in the entropy-coded data end with a status, never a crash, and
// never write outside the destination (the guard bytes behind it).
TEST(DecoderRobustness, TruncatedAndBitFlippedSamples) {
  const SampleJpeg samples[] = {kSampleBaseline420, kSampleProgressive420, kSampleGrayRestart,
                                kSampleAdobeRgb, kSampleAdobeYcck};
  for (const SampleJpeg& sample : samples) {
    const Bytes jpeg = sample.bytes();
    OutputRequest request;
    request.dstColor = 0;
    CJPEGDecoder decoder;  // reused across frames, as the viewer does
    const DecodedPicture whole = DecodeJpeg(&decoder, jpeg, request);
    ASSERT_EQ(whole.status, 0);
    for (int dstColor : {0, 1, 2, 5, 7}) {
      request.dstColor = dstColor;
      for (size_t length = 0; length < jpeg.size(); ++length) {
        const DecodedPicture cut = DecodeJpeg(&decoder, Bytes(jpeg.begin(), jpeg.begin() + length), request);
        // A cut inside the headers or data runs out of bytes; EOI is gone.
        EXPECT_TRUE(cut.headerStatus != 0 || cut.status == -4 || cut.status == -2)
            << "length " << length << " status " << cut.status;
        EXPECT_TRUE(GuardIntact(cut));
      }
      for (size_t i = ScanDataStart(jpeg); i + 2 < jpeg.size(); ++i) {
        for (int bit = 0; bit < 8; ++bit) {
          Bytes damaged = jpeg;
          damaged[i] ^= static_cast<uint8_t>(1 << bit);
          const DecodedPicture out = DecodeJpeg(&decoder, damaged, request);
          EXPECT_TRUE(GuardIntact(out));
          EXPECT_LE(out.status, 0);
        }
      }
    }
  }
}

// The restart sample: 16x16 gray, DRI 1, RST0..RST2 between its four MCUs.
TEST(DecoderRestart, MarkersOutOfOrderDecodeTheSame) {
  const Bytes jpeg = kSampleGrayRestart.bytes();
  OutputRequest request;
  request.dstColor = 1;
  const DecodedPicture original = DecodeJpeg(jpeg, request);
  ASSERT_EQ(original.status, 0);
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

// The 4:2:0 sample uses the standard tables: without its DHT segments it
// must decode identically from the built-in defaults.
TEST(DecoderTables, MissingDhtFallsBackToStandardTables) {
  const Bytes jpeg = kSampleBaseline420.bytes();
  OutputRequest request;
  request.dstColor = 2;
  const DecodedPicture original = DecodeJpeg(jpeg, request);
  ASSERT_EQ(original.status, 0);
  Bytes stripped;
  for (size_t i = 0; i < jpeg.size();) {
    if (i < ScanDataStart(jpeg) && jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) {
      i += 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
      continue;
    }
    stripped.push_back(jpeg[i++]);
  }
  ASSERT_LT(stripped.size(), jpeg.size());
  const DecodedPicture out = DecodeJpeg(stripped, request);
  ASSERT_EQ(out.status, 0);
  EXPECT_EQ(out.pixels, original.pixels);
}

TEST(DecoderTables, UndefinedTableAndRefusedScans) {
  struct Row {
    const char* what;
    Bytes stream;
    int32_t status;
  } rows[] = {
      {"AC table 2 has no default",
       JpegBuilder().Soi().Dqt8(0, 1).Sof(0xC0, 8, 16, 16, {{1, 1, 1, 0}}).Sos({{1, 0, 2}}).ScanData().Eoi().bytes(),
       -7},
      {"progressive DC scan without its table",
       JpegBuilder().Soi().Dqt8(0, 1).Sof(0xC2, 8, 16, 16, {{1, 1, 1, 0}}).Sos({{1, 0, 0}}, 0, 0, 0, 0).ScanData().Eoi().bytes(),
       -7},
      {"single-component scan after an interleaved one",
       JpegBuilder().Soi().Dqt8(0, 1).Dqt8(1, 1).Sof(0xC0, 8, 16, 16, YCbCr(1, 1)).StandardDht()
           .Sos(ScanOf(3)).Raw(Bytes(64, 0x00)).Sos({{2, 1, 1}}).Raw(Bytes(8, 0x00)).Eoi().bytes(),
       -1},
      {"sampling 3 against 2 has no upsampler",
       JpegBuilder().Soi().Dqt8(0, 1).Sof(0xC0, 8, 16, 16, {{1, 3, 1, 0}, {2, 2, 1, 0}, {3, 1, 1, 0}})
           .Sos(ScanOf(3)).ScanData().Eoi().bytes(),
       -1},
  };
  for (const Row& row : rows) {
    OutputRequest request;
    request.dstColor = 0;
    EXPECT_EQ(DecodeJpeg(row.stream, request).status, row.status) << row.what;
  }
}

// Pairs without a conversion leave the destination as it was; a gray frame
// asked for as RGB or BGR gets its plane in all three channels.
TEST(DecoderOutput, ConversionTableEdges) {
  OutputRequest request;
  request.dstColor = 7;
  const DecodedPicture rgbAsBgra = DecodeJpeg(kSampleAdobeRgb.bytes(), request);
  ASSERT_EQ(rgbAsBgra.status, 0);
  EXPECT_TRUE(std::all_of(rgbAsBgra.pixels.begin(), rgbAsBgra.pixels.end(), [](uint8_t b) { return b == 0xA5; }));

  request.dstColor = 1;
  const DecodedPicture gray = DecodeJpeg(kSampleGrayRestart.bytes(), request);
  for (int dstColor : {2, 3}) {
    request.dstColor = dstColor;
    const DecodedPicture rgb = DecodeJpeg(kSampleGrayRestart.bytes(), request);
    ASSERT_EQ(rgb.status, 0);
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(rgb.pixels[y * rgb.step + x * 3 + c], gray.pixels[y * gray.step + x]);
        }
      }
    }
  }
}

// Eighth scale: one pixel per block, the DC mean clamped to 0..255.
TEST(DecoderOutput, EighthScaleClampsTheDcMean) {
  // A DC table whose only code (1 bit, '0') is category 11; the AC table's
  // only code is EOB. Quantiser 8: DC +-2047 * 8 / 8 + 128 leaves 0..255.
  const uint8_t dcBits[16] = {1};
  const uint8_t dcValues[256] = {11};
  const uint8_t acBits[16] = {1};
  const uint8_t acValues[256] = {0x00};
  for (const auto& [bits, expected] : {std::pair<Bytes, uint8_t>{{0x7F, 0xF0}, 255},
                                       std::pair<Bytes, uint8_t>{{0x00, 0x00}, 0}}) {
    // '0' + 11 magnitude bits + '0' (EOB): 13 bits.
    Bytes data = bits;
    const Bytes stream = JpegBuilder()
                             .Soi()
                             .Dqt8(0, 8)
                             .Sof(0xC0, 8, 8, 8, {{1, 1, 1, 0}})
                             .Segment(0xC4, DhtBody(0, 0, dcBits, dcValues))
                             .Segment(0xC4, DhtBody(1, 0, acBits, acValues))
                             .Sos({{1, 0, 0}})
                             .Raw(data)
                             .Eoi()
                             .bytes();
    OutputRequest request;
    request.dstColor = 1;
    request.scale = 3;
    const DecodedPicture out = DecodeJpeg(stream, request);
    ASSERT_EQ(out.status, 0);
    ASSERT_EQ(out.width, 1);
    EXPECT_EQ(out.pixels[0], expected);
  }
}

}  // namespace
}  // namespace vv::test
