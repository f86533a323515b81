// Marker parsing and scan decoding: every status code, sampling and colour-space decisions, cuts, restarts.
#include <gtest/gtest.h>

#include <algorithm>

#include "decoder_test_util.h"
#include "encoder_test_util.h"
#include "jpeg/decoder.h"
#include "jpeg_builder_util.h"

namespace {

using namespace vv;
using namespace vv::test;

// 16x16, pixel (x, y) = R 16x + 8, G 16y + 8, B 16(x ^ y) + 8: 4:2:2 by our encoder; gray by cjpeg 2.1.5.
Bytes Baseline422() {
  Bytes bgr;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) bgr.insert(bgr.end(), {uint8_t(16 * (x ^ y) + 8), uint8_t(16 * y + 8), uint8_t(16 * x + 8)});
  }
  return EncodeBgr(EncodeRequest(bgr.data(), 16, 16, 50)).bytes;
}
// cjpeg -quality 50 -optimize -grayscale -restart 1B
const uint8_t kGrayRestartData[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x10, 0x0b, 0x0c, 0x0e, 0x0c, 0x0a, 0x10,
    0x0e, 0x0d, 0x0e, 0x12, 0x11, 0x10, 0x13, 0x18, 0x28, 0x1a, 0x18, 0x16, 0x16, 0x18, 0x31, 0x23,
    0x25, 0x1d, 0x28, 0x3a, 0x33, 0x3d, 0x3c, 0x39, 0x33, 0x38, 0x37, 0x40, 0x48, 0x5c, 0x4e, 0x40,
    0x44, 0x57, 0x45, 0x37, 0x38, 0x50, 0x6d, 0x51, 0x57, 0x5f, 0x62, 0x67, 0x68, 0x67, 0x3e, 0x4d,
    0x71, 0x79, 0x70, 0x64, 0x78, 0x5c, 0x65, 0x67, 0x63, 0xff, 0xc0, 0x00, 0x0b, 0x08, 0x00, 0x10,
    0x00, 0x10, 0x01, 0x01, 0x11, 0x00, 0xff, 0xc4, 0x00, 0x17, 0x00, 0x00, 0x03, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x04, 0x05, 0x06, 0xff,
    0xc4, 0x00, 0x18, 0x10, 0x00, 0x02, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x11, 0x12, 0x21, 0xff, 0xdd, 0x00, 0x04, 0x00, 0x01, 0xff,
    0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3f, 0x00, 0xcf, 0xae, 0x8d, 0x63, 0x0f, 0xff, 0xd0,
    0x0a, 0xe8, 0xd6, 0x30, 0xff, 0xd1, 0x75, 0x74, 0x6b, 0x18, 0x7f, 0xff, 0xd2, 0xb2, 0xba, 0x35,
    0x8c, 0x3f, 0xff, 0xd9,
};
const Bytes kBaseline422 = Baseline422();
const Bytes kGrayRestart(kGrayRestartData, kGrayRestartData + sizeof kGrayRestartData);

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

int32_t FirstSosOffset(const Bytes& b) {
  const uint8_t sos[] = {0xFF, 0xDA};
  return int32_t(std::search(b.begin(), b.end(), sos, sos + 2) - b.begin());
}
int32_t SosEnd(const Bytes& b) {  // start of the entropy-coded data
  const int32_t sos = FirstSosOffset(b);
  return sos + 2 + (b[sos + 2] << 8 | b[sos + 3]);
}

// One row per status a frame can produce, and segment edge cases that pass.
TEST(DecoderMarkers, StatusOfEachMalformedOrUnsupportedStream) {
  const uint8_t twoCodes[16] = {2}, oneCode[16] = {1}, values[2] = {0, 1};
  const auto y = std::vector<ScanComponentSpec>{{1, 0, 0}};
  // Segment `code` with `body` (length off by `delta`) before a valid frame.
  const auto before = [](uint8_t code, const Bytes& body, int delta = 0) {
    return JpegBuilder().Soi().Segment(code, body, delta).Sof(0xC0, 8, 16, 16, YCbCr(2, 2))
        .Sos(ScanOf(3)).ScanData().Eoi().bytes();
  };
  const auto frame = [](uint8_t code, int precision, std::vector<FrameComponentSpec> comps, int delta = 0) {
    return JpegBuilder().Soi().Segment(code, SofBody(precision, 8, 8, comps), delta).Eoi().bytes();
  };
  const auto scan = [](uint8_t sof, const Bytes& sosBody, int delta = 0) {
    return JpegBuilder().Soi().Sof(sof, 8, 16, 16, YCbCr(2, 2)).Segment(0xDA, sosBody, delta)
        .ScanData().Eoi().bytes();
  };
  const auto ycc = YCbCr(1, 1);
  const struct {
    const char* what;
    Bytes stream;
    int32_t status;
  } rows[] = {
      {"arithmetic coding", frame(0xC9, 8, ycc), -1},
      {"12 bit to 8-bit output", JpegBuilder().Soi().Dqt8(0, 1).Sof(0xC1, 12, 8, 8, {{1, 1, 1, 0}})
           .StandardDht().Sos(ScanOf(1)).ScanData().Eoi().bytes(), -1},
      {"scan data matching no code", JpegBuilder().Soi().Dqt8(0, 1).Sof(0xC0, 8, 8, 8, ycc)
           .Segment(0xC4, DhtBody(0, 0, oneCode, values)).Segment(0xC4, DhtBody(1, 0, oneCode, values))
           .Sos(y).Raw({0xFE, 0xFE, 0xFE}).Eoi().bytes(), -2},
      {"no EOI", Bytes(kBaseline422.begin(), kBaseline422.end() - 2), -4},
      {"segment length 1", before(0xE5, {}, -1), -7},
      {"DHT class 2", before(0xC4, DhtBody(2, 0, twoCodes, values)), -7},
      {"undefined AC table 2", JpegBuilder().Soi().Dqt8(0, 1).Sof(0xC0, 8, 16, 16, {{1, 1, 1, 0}})
           .Sos({{1, 0, 2}}).ScanData().Eoi().bytes(), -7},
      {"SOF length one more", frame(0xC0, 8, ycc, 1), -8},
      {"baseline 16 bit", frame(0xC0, 16, ycc), -8},
      {"second frame header", JpegBuilder().Soi().Sof(0xC0, 8, 8, 8, ycc).Sof(0xC0, 8, 16, 16, ycc).Eoi().bytes(), -8},
      {"DQT trailing byte", before(0xDB, Concat({DqtBody8(0, 1), {0}})), -9},
      {"DHT values beyond the segment", before(0xC4, DhtBody(0, 0, twoCodes, values), -1), -10},
      {"component twice in SOS", scan(0xC0, SosBody({{1, 0, 0}, {1, 0, 0}, {2, 1, 1}}, 0, 63, 0, 0)), -11},
      {"baseline Se 62", scan(0xC0, SosBody(y, 0, 62, 0, 0)), -11},
      {"progressive Ah 1 Al 2", scan(0xC2, SosBody(y, 1, 63, 1, 2)), -11},
      {"lossless predictor 8", scan(0xC3, SosBody(ScanOf(3), 8, 0, 0, 0)), -11},
      {"DRI length 5", before(0xDD, {0, 9, 0}), -12},
      {"DQT 16 bit and 8 bit in one segment", before(0xDB, Concat({DqtBody8(0, 1), {0x11}, Bytes(128, 1)})), 0},
      {"empty DQT and DHT", JpegBuilder().Soi().Segment(0xDB, {}).Segment(0xC4, {}).Sof(0xC0, 8, 16, 16, YCbCr(2, 2))
           .Sos(ScanOf(3)).ScanData().Eoi().bytes(), 0},
      {"JPG0, DNL and APP5 skipped", JpegBuilder().Soi().Segment(0xF0, {0xFF, 0xD9}).Segment(0xDC, {0, 16})
           .Segment(0xE5, {1, 2, 3}).Sof(0xC0, 8, 16, 16, YCbCr(2, 2)).Sos(ScanOf(3)).ScanData().Eoi().bytes(), 0},
      {"fill bytes, garbage and a stray RST between segments",
       JpegBuilder().Raw({0x00, 0x12}).Soi().Raw({0x55, 0xFF, 0x00, 0xAA}).Marker(0xD3).Raw({0xFF, 0xFF, 0xFF})
           .Sof(0xC0, 8, 16, 16, YCbCr(2, 2)).Sos(ScanOf(3)).ScanData().Raw({0xFF, 0xFF, 0xD9}).bytes(), 0},
  };
  for (const auto& row : rows) {
    const DecodedPicture picture = DecodeJpeg(row.stream, OutputRequest{});
    EXPECT_EQ(picture.headerStatus != 0 ? picture.headerStatus : picture.status, row.status) << row.what;
  }
  // Coefficients over 512 MiB.
  DecoderHarness h;
  ASSERT_EQ(h.Run(JpegBuilder().Soi().Sof(0xC2, 8, 65535, 65535, YCbCr(1, 1)).Sos(ScanOf(3), 0, 0)
                      .ScanData().Eoi().bytes(), 0), 0);
  h.decoder.SetupGeometry();
  EXPECT_EQ(h.decoder.Decode(1), -6);
}

// The common samplings are in the libjpeg-turbo comparisons.
TEST(DecoderMarkers, SamplingClassesAndBlockCounts) {
  const struct {
    const char* what;
    std::vector<FrameComponentSpec> comps;
    int samplingClass, blocksPerMcu, hRatio1, vRatio1;  // ratios of the second component
  } cases[] = {
      {"4:1:1", YCbCr(4, 1), 4, 6, 4, 1},
      {"luma 3x1 chroma 2x1 (ratio rounds down)", {{1, 3, 1, 0}, {2, 2, 1, 1}, {3, 1, 1, 1}}, 4, 6, 1, 1},
      {"CMYK 2x2", {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 2, 0}}, 3, 10, 2, 2},
      {"CMYK fourth unlike first", {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 1, 0}}, 4, 7, 2, 2},
      {"gray 2x2 forced to 1x1", {{1, 2, 2, 0}}, 0, 1, 0, 0},
  };
  for (const auto& c : cases) {
    DecoderHarness h;
    ASSERT_EQ(h.Run(JpegBuilder().Soi().Sof(0xC0, 8, 64, 64, c.comps).Eoi().bytes(), 2), 0) << c.what;
    EXPECT_EQ(h.decoder.samplingClass, c.samplingClass) << c.what;
    EXPECT_EQ(h.decoder.blocksPerMcu, c.blocksPerMcu) << c.what;
    if (c.comps.size() > 1) {
      EXPECT_EQ(h.decoder.components[1].hRatio, c.hRatio1) << c.what;
      EXPECT_EQ(h.decoder.components[1].vRatio, c.vRatio1) << c.what;
    }
  }
}

TEST(DecoderMarkers, ColourSpaceDecision) {
  const struct {
    bool jfif;
    int adobeTransform;  // -1: no Adobe segment
    uint8_t sof;
    int precision, components, colorSpace;
  } cases[] = {
      {true, -1, 0xC0, 8, 1, 1},  {true, -1, 0xC0, 8, 3, 4},  {true, -1, 0xC0, 8, 4, 0},
      {true, 0, 0xC0, 8, 3, 2},   {false, 0, 0xC0, 8, 4, 5},  {false, 1, 0xC0, 8, 3, 4},
      {false, 2, 0xC0, 8, 4, 6},  {true, 3, 0xC0, 8, 3, 0},   {false, -1, 0xC3, 16, 1, 1},
      {false, -1, 0xC0, 8, 3, 4}, {false, -1, 0xC1, 12, 3, 0}, {false, -1, 0xC3, 8, 3, 0},
  };
  for (const auto& c : cases) {
    std::vector<FrameComponentSpec> comps;
    for (int i = 0; i < c.components; ++i) comps.push_back({uint8_t(i + 1), 1, 1, 0});
    JpegBuilder b;
    b.Soi();
    if (c.jfif) b.Jfif();
    if (c.adobeTransform >= 0) b.Segment(0xEE, AdobeBody(c.adobeTransform));
    const int ss = c.sof == 0xC3 ? 1 : 0, se = c.sof == 0xC3 ? 0 : 63;
    b.Sof(c.sof, c.precision, 8, 8, comps).Sos(ScanOf(c.components), ss, se).Eoi();
    DecoderHarness h;
    ASSERT_EQ(h.Run(b.bytes(), 0), 0);
    EXPECT_EQ(h.decoder.colorSpace, c.colorSpace)
        << c.jfif << " " << c.adobeTransform << " " << c.components << " " << c.precision;
  }
}

// Header pass stops on the first SOS, skipping scans walks to EOI through RSTs; any cut gives -4 (also 3-byte window).
TEST(DecoderMarkers, PassesStopWhereTheyShouldAndTruncationEndsTheData) {
  for (const Bytes& full : {kBaseline422, kGrayRestart}) {
    DecoderHarness h;
    ASSERT_EQ(h.Run(full, 0), 0);
    EXPECT_EQ(h.StreamOffset(), FirstSosOffset(full));
    ASSERT_EQ(h.Run(full, 2), 0);
    EXPECT_EQ(h.StreamOffset(), int32_t(full.size()));
    for (size_t length = 0; length < full.size(); ++length) {
      const Bytes prefix(full.begin(), full.begin() + length);
      for (int32_t window : {16384, 3}) {
        if (int32_t(length) < SosEnd(full)) {
          EXPECT_EQ(h.Run(prefix, 0, window), -4) << "header cut at " << length;
        }
        EXPECT_EQ(h.Run(prefix, 2, window), -4) << "stream cut at " << length;
      }
    }
  }
}

// DRI 1: DC prediction reset at each RST (block means), RSTs out of order taken as they come, damage
// confined to its interval.
TEST(DecoderRestart, MarkersResetPredictionAndConfineDamage) {
  const Bytes& jpeg = kGrayRestart;
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
  for (size_t i = SosEnd(jpeg); i + 1 < shuffled.size(); ++i) {
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
  int changedOutside = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) changedOutside += (y >= 8 || x < 8) && at(hit, x, y) != at(original, x, y);
  }
  EXPECT_EQ(changedOutside, 0);
}

}  // namespace
