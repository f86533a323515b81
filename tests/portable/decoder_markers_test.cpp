// The decoder's marker parsing: the frame description of real files, the
// status codes, the sampling and colour-space decisions, truncated headers.
#include <gtest/gtest.h>

#include "decoder_test_util.h"
#include "jpeg/decoder.h"
#include "jpeg_builder_util.h"
#include "jpeg_samples_util.h"

namespace {

using namespace vv;
using namespace vv::test;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

int32_t FirstSosOffset(const Bytes& bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) return int32_t(i);
  }
  return -1;
}

// Expected values as libjpeg-turbo's djpeg -verbose reports them.
TEST(DecoderMarkers, RealFilesDescribeTheFrameAndStopOnTheFirstScan) {
  const struct {
    const SampleJpeg* sample;
    int mode, components, samplingClass, colorSpace, restartInterval;
  } samples[] = {
      {&kSampleBaseline422, 1, 3, 1, 4, 0}, {&kSampleGrayRestart, 1, 1, 0, 1, 1},
  };
  for (const auto& s : samples) {
    SCOPED_TRACE(s.mode * 10 + s.colorSpace);
    DecoderHarness h;
    const Bytes bytes = s.sample->bytes();
    ASSERT_EQ(h.Run(bytes, 0), 0);
    EXPECT_EQ(h.decoder.width, 16);
    EXPECT_EQ(h.decoder.height, 16);
    EXPECT_EQ(h.decoder.mode, s.mode);
    EXPECT_EQ(h.decoder.componentCount, s.components);
    EXPECT_EQ(h.decoder.samplingClass, s.samplingClass);
    EXPECT_EQ(h.decoder.colorSpace, s.colorSpace);
    EXPECT_EQ(h.decoder.restartInterval, s.restartInterval);
    EXPECT_EQ(h.StreamOffset(), FirstSosOffset(bytes));
    // Skipping every scan walks to EOI through RST markers and later DHTs.
    ASSERT_EQ(h.Run(bytes, 2), 0);
    EXPECT_EQ(h.StreamOffset(), int32_t(bytes.size()));
  }
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
      {"no EOI", Bytes(kSampleBaseline422.data, kSampleBaseline422.data + kSampleBaseline422.size - 2), -4},
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
      {"DQT 16 bit and 8 bit in one segment", before(0xDB, Concat({DqtBody8(0, 1), DqtBody16(1, 300)})), 0},
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
  // A frame whose coefficients would take more than 512 MiB.
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

// A header cut anywhere ends with the end of data, also through a window
// refilled 3 bytes at a time.
TEST(DecoderMarkers, EveryTruncationEndsWithEndOfData) {
  for (const Bytes& full : {kSampleBaseline422.bytes(), kSampleGrayRestart.bytes()}) {
    const int32_t sos = FirstSosOffset(full);
    const int32_t sosEnd = sos + 2 + (full[sos + 2] << 8 | full[sos + 3]);
    for (size_t length = 0; length < full.size(); ++length) {
      const Bytes prefix(full.begin(), full.begin() + length);
      for (int32_t window : {16384, 3}) {
        DecoderHarness h;
        if (int32_t(length) < sosEnd) {
          EXPECT_EQ(h.Run(prefix, 0, window), -4) << "header cut at " << length;
        }
        EXPECT_EQ(h.Run(prefix, 2, window), -4) << "stream cut at " << length;
      }
    }
  }
}

}  // namespace
