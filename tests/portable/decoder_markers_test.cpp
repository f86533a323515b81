// The decoder's marker parsing: frame description from real files and
// built streams, segment limits and their codes, colour-space decision,
// per-frame state, and robustness against truncated input (random input is
// the fuzz targets' work).
#include <gtest/gtest.h>

#include <cstring>

#include "jpeg/decoder.h"
#include "jpeg_builder_util.h"
#include "jpeg_samples_util.h"
#include "primitives/huffman_tables.h"

namespace {

using namespace vv;
using namespace vv::test;

// ITU-T T.81 Tables K.1 and K.2 (natural order); cjpeg at quality 50 writes
// exactly these.
const uint16_t kTableK1[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const uint16_t kTableK2Head[32] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                   24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99};

// Offset of the first SOS marker, found by a plain scan of the bytes.
int32_t FirstSosOffset(const Bytes& bytes) {
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xDA) return int32_t(i);
  }
  return -1;
}

struct SampleFacts {
  const char* name;
  const SampleJpeg* sample;
  int mode, components, samplingClass, colorSpace, restartInterval;
  int hasJfif, hasAdobe, adobeTransform;
  uint8_t ids[4];
  uint8_t sampling[4];  // H << 4 | V, as the frame header says
  int firstNs, firstSs, firstSe, firstAh, firstAl;
  int lastSs, lastSe, lastAh, lastAl;  // after all scans were skipped
};

// Expected values as libjpeg-turbo's djpeg -verbose reports them.
const SampleFacts kSamples[] = {
    {"baseline", &kSampleBaseline420, 1, 3, 3, 4, 0, 1, 0, 0, {1, 2, 3}, {0x22, 0x11, 0x11},
     3, 0, 63, 0, 0, 0, 63, 0, 0},
    {"progressive", &kSampleProgressive420, 3, 3, 3, 4, 0, 1, 0, 0, {1, 2, 3}, {0x22, 0x11, 0x11},
     3, 0, 0, 0, 1, 1, 63, 1, 0},
    {"gray+restart", &kSampleGrayRestart, 1, 1, 0, 1, 1, 1, 0, 0, {1}, {0x11},
     1, 0, 63, 0, 0, 0, 63, 0, 0},
    {"adobe rgb", &kSampleAdobeRgb, 1, 3, 0, 2, 0, 0, 1, 0, {'R', 'G', 'B'}, {0x11, 0x11, 0x11},
     3, 0, 63, 0, 0, 0, 63, 0, 0},
    {"adobe ycck", &kSampleAdobeYcck, 1, 4, 3, 6, 0, 0, 1, 2, {1, 2, 3, 4},
     {0x22, 0x11, 0x11, 0x22}, 4, 0, 63, 0, 0, 0, 63, 0, 0},
};

TEST(DecoderMarkers, RealFilesDescribeTheFrameAndStopOnTheFirstScan) {
  for (const SampleFacts& s : kSamples) {
    SCOPED_TRACE(s.name);
    DecoderHarness h;
    const Bytes bytes = s.sample->bytes();
    ASSERT_EQ(h.Run(bytes, 0), 0);
    const CJPEGDecoder& d = h.decoder;
    EXPECT_EQ(d.width, 16);
    EXPECT_EQ(d.height, 16);
    EXPECT_EQ(d.precision, 8);
    EXPECT_EQ(d.mode, s.mode);
    EXPECT_EQ(d.componentCount, s.components);
    EXPECT_EQ(d.samplingClass, s.samplingClass);
    EXPECT_EQ(d.colorSpace, s.colorSpace);
    EXPECT_EQ(d.restartInterval, s.restartInterval);
    EXPECT_EQ(d.hasJfif, s.hasJfif);
    EXPECT_EQ(d.hasAdobe, s.hasAdobe);
    EXPECT_EQ(d.adobeTransform, s.adobeTransform);
    for (int i = 0; i < s.components; ++i) {
      EXPECT_EQ(d.components[i].id, s.ids[i]);
      EXPECT_EQ(d.components[i].hSampling, s.sampling[i] >> 4);
      EXPECT_EQ(d.components[i].vSampling, s.sampling[i] & 15);
    }
    EXPECT_EQ(d.scanComponentCount, s.firstNs);
    EXPECT_EQ(d.Ss, s.firstSs);
    EXPECT_EQ(d.Se, s.firstSe);
    EXPECT_EQ(d.Ah, s.firstAh);
    EXPECT_EQ(d.Al, s.firstAl);
    EXPECT_EQ(h.StreamOffset(), FirstSosOffset(bytes));

    // Skipping every scan walks to EOI through RST markers and later DHTs.
    ASSERT_EQ(h.Run(bytes, 2), 0);
    EXPECT_EQ(h.StreamOffset(), int32_t(bytes.size()));
    EXPECT_EQ(d.Ss, s.lastSs);
    EXPECT_EQ(d.Se, s.lastSe);
    EXPECT_EQ(d.Ah, s.lastAh);
    EXPECT_EQ(d.Al, s.lastAl);
  }
}

TEST(DecoderMarkers, RealBaselineTablesMatchAnnexK) {
  DecoderHarness h;
  ASSERT_EQ(h.Run(kSampleBaseline420.bytes(), 0), 0);
  CJPEGDecoder& d = h.decoder;
  ASSERT_EQ(d.quantTables[0].ready, 1);
  ASSERT_EQ(d.quantTables[1].ready, 1);
  ASSERT_NE(d.quantTables[0].IntegerDequant(), nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(d.quantTables[0].IntegerDequant()[i], kTableK1[i]) << i;
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(d.quantTables[1].IntegerDequant()[i], i < 32 ? kTableK2Head[i] : 99) << i;
  }
  struct {
    CJPEGDecoderHuffmanTable* table;
    const uint8_t* bits;
    const uint8_t* values;
  } const expected[] = {{&d.dcTables[0], kStdDcLuminanceBits, kStdDcLuminanceValues},
                        {&d.dcTables[1], kStdDcChrominanceBits, kStdDcChrominanceValues},
                        {&d.acTables[0], kStdAcLuminanceBits, kStdAcLuminanceValues},
                        {&d.acTables[1], kStdAcChrominanceBits, kStdAcChrominanceValues}};
  for (const auto& e : expected) {
    EXPECT_EQ(e.table->defined, 1);
    EXPECT_EQ(e.table->storageMissing, 0);
    EXPECT_EQ(std::memcmp(e.table->bits, e.bits, 16), 0);
    int total = 0;
    for (int i = 0; i < 16; ++i) total += e.bits[i];
    EXPECT_EQ(std::memcmp(e.table->values, e.values, total), 0);
  }
  EXPECT_EQ(d.dcTables[2].defined, 0);
  EXPECT_EQ(d.components[1].dcSelector, 1);
  EXPECT_EQ(d.components[1].quantSelector, 1);
  EXPECT_EQ(d.components[1].hRatio, 2);
  EXPECT_EQ(d.components[1].vRatio, 2);
  EXPECT_EQ(d.blocksPerMcu, 6);
}

TEST(DecoderMarkers, ArithmeticAndHierarchicalFramesAreNotSupported) {
  DecoderHarness h;
  EXPECT_EQ(h.Run(kSampleArithmetic.bytes(), 0), -1);
  for (uint8_t code : {0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF}) {
    const Bytes bytes = JpegBuilder().Soi().Sof(code, 8, 8, 8, YCbCr(1, 1)).Eoi().bytes();
    EXPECT_EQ(h.Run(bytes, 0), -1) << std::hex << int(code);
  }
}

TEST(DecoderMarkers, ViewerSequenceKeepsQuantTablesAndResetsHuffmanTables) {
  DecoderHarness h;
  const Bytes withTables = JpegBuilder()
                               .Soi()
                               .Jfif()
                               .Segment(0xFE, {'h', 'i'})
                               .Dqt8(0, 5)
                               .Sof(0xC0, 8, 32, 24, YCbCr(2, 1))
                               .StandardDht()
                               .Sos(ScanOf(3))
                               .ScanData()
                               .Eoi()
                               .bytes();
  ASSERT_EQ(h.Run(withTables, 0), 0);
  ASSERT_EQ(h.decoder.acTables[1].defined, 1);
  ASSERT_EQ(h.decoder.hasComment, 1);

  // A Motion-JPEG frame: no DQT, no DHT, no APP0.
  const Bytes bare = JpegBuilder()
                         .Soi()
                         .Sof(0xC0, 8, 48, 16, YCbCr(2, 1))
                         .Sos(ScanOf(3))
                         .ScanData()
                         .Eoi()
                         .bytes();
  ASSERT_EQ(h.Run(bare, 0), 0);
  CJPEGDecoder& d = h.decoder;
  EXPECT_EQ(d.width, 48);
  EXPECT_EQ(d.height, 16);
  EXPECT_EQ(d.samplingClass, 1);
  EXPECT_EQ(d.colorSpace, 4);
  EXPECT_EQ(d.hasComment, 0);
  EXPECT_EQ(d.comment, nullptr);
  EXPECT_EQ(d.hasJfif, 0);
  EXPECT_EQ(d.quantTables[0].ready, 1);
  EXPECT_EQ(d.quantTables[0].IntegerDequant()[1], 6) << "zig-zag 1 is natural 1";
  EXPECT_EQ(d.quantTables[0].IntegerDequant()[8], 7) << "zig-zag 2 is natural 8";
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(d.dcTables[i].storageMissing, 1);
    EXPECT_EQ(d.dcTables[i].defined, 0);
    EXPECT_EQ(d.acTables[i].storageMissing, 1);
    EXPECT_EQ(d.acTables[i].decodeSpec, nullptr);
  }
  EXPECT_EQ(h.Run(bare, 2), 0);
}

TEST(DecoderMarkers, HeaderPassStopsOnTheScanMarkerWhateverTheWindow) {
  const Bytes bytes = BaselineStream();
  const int32_t sos = FirstSosOffset(bytes);
  for (int32_t window : {5, 6, 7, 13, 16, 64, 200, 16384}) {
    SCOPED_TRACE(window);
    DecoderHarness h;
    ASSERT_EQ(h.Run(bytes, 0, window), 0);
    EXPECT_EQ(h.StreamOffset(), sos);
    // A second header pass re-reads the same scan header.
    EXPECT_EQ(h.decoder.Decode(0), 0);
    EXPECT_EQ(h.StreamOffset(), sos);
    EXPECT_EQ(h.decoder.scanComponentCount, 3);
    EXPECT_EQ(h.decoder.sosLength, 12);
    // Skipping from there reaches EOI.
    EXPECT_EQ(h.decoder.Decode(2), 0);
    EXPECT_EQ(h.StreamOffset(), int32_t(bytes.size()));
  }
}

struct SofCase {
  const char* what;
  uint8_t code;
  int precision, width, height;
  std::vector<FrameComponentSpec> comps;
  int lengthDelta;
  int status;
};

TEST(DecoderMarkers, FrameHeaderLimits) {
  const auto ycc = YCbCr(1, 1);
  const SofCase cases[] = {
      {"exact length", 0xC0, 8, 8, 8, ycc, 0, 0},
      {"one byte more", 0xC0, 8, 8, 8, ycc, 1, -8},
      {"one byte less", 0xC0, 8, 8, 8, ycc, -1, -8},
      {"baseline 12 bit", 0xC0, 12, 8, 8, ycc, 0, 0},
      {"baseline 16 bit", 0xC0, 16, 8, 8, ycc, 0, -8},
      {"extended 12 bit", 0xC1, 12, 8, 8, ycc, 0, 0},
      {"extended 7 bit", 0xC1, 7, 8, 8, ycc, 0, -8},
      {"progressive 12 bit", 0xC2, 12, 8, 8, ycc, 0, -1},
      {"lossless 16 bit", 0xC3, 16, 8, 8, ycc, 0, 0},
      {"lossless 2 bit", 0xC3, 2, 8, 8, ycc, 0, 0},
      {"lossless 1 bit", 0xC3, 1, 8, 8, ycc, 0, -8},
      {"lossless 17 bit", 0xC3, 17, 8, 8, ycc, 0, -8},
      {"width 0", 0xC0, 8, 0, 8, ycc, 0, -8},
      {"height 0", 0xC0, 8, 8, 0, ycc, 0, -8},
      {"width 65535", 0xC0, 8, 65535, 1, ycc, 0, 0},
      {"no component", 0xC0, 8, 8, 8, {}, 0, -8},
      {"five components", 0xC0, 8, 8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}, {5, 1, 1, 0}}, 0, -8},
      {"H 0", 0xC0, 8, 8, 8, {{1, 0, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 0, -8},
      {"V 5", 0xC0, 8, 8, 8, {{1, 1, 5, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 0, -8},
      {"H 4 V 4", 0xC0, 8, 8, 8, {{1, 4, 4, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}, 0, 0},
      {"Tq 4", 0xC0, 8, 8, 8, {{1, 1, 1, 0}, {2, 1, 1, 4}, {3, 1, 1, 1}}, 0, -8},
      {"gray 0x0 sampling forced 1x1", 0xC0, 8, 8, 8, {{1, 0, 0, 0}}, 0, 0},
  };
  for (const SofCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes bytes = JpegBuilder()
                            .Soi()
                            .Segment(c.code, SofBody(c.precision, c.width, c.height, c.comps), c.lengthDelta)
                            .Eoi()
                            .bytes();
    DecoderHarness h;
    EXPECT_EQ(h.Run(bytes, 2), c.status);
    if (c.status == 0) {
      EXPECT_EQ(h.decoder.mode, c.code - 0xC0 + 1);
      EXPECT_EQ(h.decoder.precision, c.precision);
      EXPECT_EQ(h.decoder.width, c.width);
    } else {
      EXPECT_EQ(h.decoder.mode, 0) << "a rejected header leaves no frame";
      EXPECT_EQ(h.decoder.componentCount, 0);
    }
  }
}

TEST(DecoderMarkers, SecondFrameHeaderIsRejected) {
  DecoderHarness h;
  const Bytes bytes = JpegBuilder()
                          .Soi()
                          .Sof(0xC0, 8, 8, 8, YCbCr(1, 1))
                          .Sof(0xC0, 8, 16, 16, YCbCr(1, 1))
                          .Eoi()
                          .bytes();
  EXPECT_EQ(h.Run(bytes, 0), -8);
  EXPECT_EQ(h.decoder.width, 8);
  // SOI does not reset the frame either.
  const Bytes again = JpegBuilder().Soi().Sof(0xC0, 8, 8, 8, YCbCr(1, 1)).Soi().Sof(0xC2, 8, 8, 8, YCbCr(1, 1)).bytes();
  EXPECT_EQ(h.Run(again, 0), -8);
}

TEST(DecoderMarkers, SingleComponentSamplingIsForcedToOneByOne) {
  DecoderHarness h;
  const Bytes bytes = JpegBuilder()
                          .Soi()
                          .Sof(0xC0, 8, 20, 10, {{7, 2, 2, 3}})
                          .Sos({{7, 0, 0}})
                          .Eoi()
                          .bytes();
  ASSERT_EQ(h.Run(bytes, 0), 0);
  const CJPEGColorComponent& c = h.decoder.components[0];
  EXPECT_EQ(c.hSampling, 1);
  EXPECT_EQ(c.vSampling, 1);
  EXPECT_EQ(c.hRatio, 1);
  EXPECT_EQ(c.vRatio, 1);
  EXPECT_EQ(c.blocksInMcu, 1);
  EXPECT_EQ(c.quantSelector, 3);
  EXPECT_EQ(h.decoder.maxHSampling, 1);
  EXPECT_EQ(h.decoder.samplingClass, 0);
  EXPECT_EQ(h.decoder.colorSpace, 1);
}

struct SamplingCase {
  const char* what;
  std::vector<FrameComponentSpec> comps;
  int samplingClass, maxH, maxV, blocksPerMcu;
  int hRatio1, vRatio1;  // of the second component
};

TEST(DecoderMarkers, SamplingClassesRatiosAndBlockCounts) {
  const SamplingCase cases[] = {
      {"4:4:4", YCbCr(1, 1), 0, 1, 1, 3, 1, 1},
      {"4:2:2", YCbCr(2, 1), 1, 2, 1, 4, 2, 1},
      {"4:4:0", YCbCr(1, 2), 2, 1, 2, 4, 1, 2},
      {"4:2:0", YCbCr(2, 2), 3, 2, 2, 6, 2, 2},
      {"4:1:1", YCbCr(4, 1), 4, 4, 1, 6, 4, 1},
      {"3x1 luma", YCbCr(3, 1), 4, 3, 1, 5, 3, 1},
      {"chroma 2x1", {{1, 2, 2, 0}, {2, 2, 1, 1}, {3, 1, 1, 1}}, 4, 2, 2, 7, 1, 2},
      {"luma 3x1 chroma 2x1 (ratio rounds down)", {{1, 3, 1, 0}, {2, 2, 1, 1}, {3, 1, 1, 1}}, 4, 3, 1, 6, 1, 1},
      {"two components", {{1, 2, 2, 0}, {2, 1, 1, 1}}, 4, 2, 2, 5, 2, 2},
      {"CMYK 1x1", {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 1, 0}}, 0, 1, 1, 4, 1, 1},
      {"CMYK 2x1", {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 1, 0}}, 1, 2, 1, 6, 2, 1},
      {"CMYK 1x2", {{1, 1, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 2, 0}}, 2, 1, 2, 6, 1, 2},
      {"CMYK 2x2", {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 2, 0}}, 3, 2, 2, 10, 2, 2},
      {"CMYK fourth unlike first", {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 1, 0}}, 4, 2, 2, 7, 2, 2},
      {"CMYK fourth 2x2, first 1x1", {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 2, 0}}, 4, 2, 2, 7, 2, 2},
  };
  for (const SamplingCase& c : cases) {
    SCOPED_TRACE(c.what);
    DecoderHarness h;
    const Bytes bytes = JpegBuilder().Soi().Sof(0xC0, 8, 64, 64, c.comps).Eoi().bytes();
    ASSERT_EQ(h.Run(bytes, 2), 0);
    const CJPEGDecoder& d = h.decoder;
    EXPECT_EQ(d.samplingClass, c.samplingClass);
    EXPECT_EQ(d.maxHSampling, c.maxH);
    EXPECT_EQ(d.maxVSampling, c.maxV);
    EXPECT_EQ(d.blocksPerMcu, c.blocksPerMcu);
    EXPECT_EQ(d.components[1].hRatio, c.hRatio1);
    EXPECT_EQ(d.components[1].vRatio, c.vRatio1);
    for (size_t i = 0; i < c.comps.size(); ++i) {
      EXPECT_EQ(d.components[i].blocksInMcu, c.comps[i].h * c.comps[i].v);
      EXPECT_EQ(d.components[i].index, int(i));
    }
  }
}

struct SegmentCase {
  const char* what;
  uint8_t code;
  Bytes body;
  int lengthDelta;
  int status;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Table segments placed between SOI and a valid 4:2:0 frame; the stream is
// skipped to EOI.
TEST(DecoderMarkers, TableSegmentLimits) {
  uint8_t twoCodes[16] = {2};
  const uint8_t values[2] = {0, 1};
  uint8_t tooMany[16] = {};
  tooMany[15] = 255;
  tooMany[14] = 2;  // 257 values
  const Bytes manyValues(257, 0);
  const SegmentCase cases[] = {
      {"DQT 8 bit", 0xDB, DqtBody8(3, 1), 0, 0},
      {"DQT two tables", 0xDB, Concat({DqtBody8(0, 1), DqtBody16(1, 300)}), 0, 0},
      {"DQT 16 bit, length 2 + 129", 0xDB, DqtBody16(2, 300), 0, 0},
      {"DQT 16 bit, length 2 + 65", 0xDB, DqtBody16(2, 300), -64, -9},
      {"DQT empty", 0xDB, {}, 0, 0},
      {"DQT trailing byte", 0xDB, Concat({DqtBody8(0, 1), {0}}), 0, -9},
      {"DQT Tq 4", 0xDB, DqtBody8(4, 1), 0, -9},
      {"DQT Pq 2", 0xDB, Concat({{0x20}, Bytes(64, 1)}), 0, -9},
      {"DQT length 1", 0xDB, {}, -1, -7},
      {"DHT two tables", 0xC4, Concat({DhtBody(0, 3, twoCodes, values), DhtBody(1, 2, twoCodes, values)}), 0, 0},
      {"DHT trailing byte", 0xC4, Concat({DhtBody(0, 3, twoCodes, values), {0}}), 0, -10},
      {"DHT values beyond the segment", 0xC4, DhtBody(0, 0, twoCodes, values), -1, -10},
      {"DHT 257 values", 0xC4, Concat({{0x00}, Bytes(tooMany, tooMany + 16), manyValues}), 0, -10},
      {"DHT class 2", 0xC4, DhtBody(2, 0, twoCodes, values), 0, -7},
      {"DHT table 4", 0xC4, DhtBody(0, 4, twoCodes, values), 0, -7},
      {"DHT empty", 0xC4, {}, 0, 0},
      {"DHT length 0", 0xC4, {}, -2, -7},
      {"DRI length 4", 0xDD, {0, 9}, 0, 0},
      {"DRI length 5", 0xDD, {0, 9, 0}, 0, -12},
      {"DRI length 3", 0xDD, {0}, 0, -12},
      {"DRI length 1", 0xDD, {}, -1, -7},
      {"APP5 skipped", 0xE5, {1, 2, 3}, 0, 0},
      {"APP5 length 1", 0xE5, {}, -1, -7},
      {"JPG0 skipped", 0xF0, {0xFF, 0xD9}, 0, 0},
      {"DNL skipped", 0xDC, {0, 16}, 0, 0},
      {"APP0 length 1", 0xE0, {}, -1, -7},
      {"COM length 1", 0xFE, {}, -1, -7},
  };
  for (const SegmentCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes bytes = JpegBuilder()
                            .Soi()
                            .Segment(c.code, c.body, c.lengthDelta)
                            .Sof(0xC0, 8, 16, 16, YCbCr(2, 2))
                            .Sos(ScanOf(3))
                            .ScanData()
                            .Eoi()
                            .bytes();
    DecoderHarness h;
    EXPECT_EQ(h.Run(bytes, 2), c.status);
  }
}

TEST(DecoderMarkers, TableSegmentsLoadWhatTheyCarry) {
  uint8_t twoCodes[16] = {2};
  const uint8_t values[2] = {7, 9};
  const Bytes bytes = JpegBuilder()
                          .Soi()
                          .Segment(0xDB, Concat({DqtBody8(0, 1), DqtBody16(3, 300)}))
                          .Segment(0xC4, Concat({DhtBody(0, 3, twoCodes, values), DhtBody(1, 2, twoCodes, values)}))
                          .Dri(7)
                          .Sof(0xC0, 8, 16, 16, YCbCr(2, 2))
                          .Sos(ScanOf(3))
                          .Eoi()
                          .bytes();
  DecoderHarness h;
  ASSERT_EQ(h.Run(bytes, 0), 0);
  CJPEGDecoder& d = h.decoder;
  EXPECT_EQ(d.quantTables[3].id, 3);
  EXPECT_EQ(d.quantTables[3].ready, 1);
  EXPECT_EQ(d.quantTables[3].precision, 1);
  EXPECT_EQ(d.quantTables[3].DequantFloat()[0], 300.0f);
  EXPECT_EQ(d.quantTables[3].DequantFloat()[63], 363.0f);
  EXPECT_EQ(d.quantTables[3].DequantFloat()[16], 303.0f) << "zig-zag 3 is natural 16";
  EXPECT_EQ(d.dcTables[3].defined, 1);
  EXPECT_EQ(d.dcTables[3].id, 3);
  EXPECT_EQ(d.dcTables[3].values[1], 9);
  EXPECT_EQ(d.acTables[2].defined, 1);
  EXPECT_EQ(d.acTables[2].tableClass, 1);
  EXPECT_EQ(d.acTables[3].defined, 0);
  EXPECT_EQ(d.restartInterval, 7);
  EXPECT_EQ(d.restartsLeft, 7);
  EXPECT_EQ(d.nextRestartNumber, 0);
}

struct SosCase {
  const char* what;
  uint8_t sof;
  int precision;
  Bytes sosBody;
  int lengthDelta;
  int status;
};

TEST(DecoderMarkers, ScanHeaderLimits) {
  const auto all = ScanOf(3);
  const std::vector<ScanComponentSpec> y = {{1, 0, 0}};
  const SosCase cases[] = {
      {"baseline interleaved", 0xC0, 8, SosBody(all, 0, 63, 0, 0), 0, 0},
      {"baseline single", 0xC0, 8, SosBody({{3, 1, 1}}, 0, 63, 0, 0), 0, 0},
      {"component twice", 0xC0, 8, SosBody({{1, 0, 0}, {1, 0, 0}, {2, 1, 1}}, 0, 63, 0, 0), 0, -11},
      {"partially interleaved", 0xC0, 8, SosBody({{1, 0, 0}, {2, 1, 1}}, 0, 63, 0, 0), 0, -1},
      {"partially interleaved, extended", 0xC1, 8, SosBody({{1, 0, 0}, {2, 1, 1}}, 0, 63, 0, 0), 0, -1},
      {"Ns 0", 0xC0, 8, SosBody({}, 0, 63, 0, 0), 0, -11},
      {"Ns 5", 0xC2, 8, Concat({{5}, Bytes(10, 1), {0, 0, 0}}), 0, -11},
      {"length one more", 0xC0, 8, SosBody(all, 0, 63, 0, 0), 1, -11},
      {"length 1", 0xC0, 8, {}, -1, -7},
      {"Td 4", 0xC0, 8, SosBody({{1, 4, 0}}, 0, 63, 0, 0), 0, -11},
      {"Ta 4", 0xC0, 8, SosBody({{1, 0, 4}}, 0, 63, 0, 0), 0, -11},
      {"unknown component", 0xC0, 8, SosBody({{9, 0, 0}}, 0, 63, 0, 0), 0, -11},
      {"baseline Se 62", 0xC0, 8, SosBody(y, 0, 62, 0, 0), 0, -11},
      {"baseline Al 1", 0xC0, 8, SosBody(y, 0, 63, 0, 1), 0, -11},
      {"progressive partial DC scan", 0xC2, 8, SosBody({{1, 0, 0}, {2, 1, 0}}, 0, 0, 0, 1), 0, 0},
      {"progressive DC first Al 1", 0xC2, 8, SosBody(all, 0, 0, 0, 1), 0, 0},
      {"progressive refinement Ah 1 Al 2", 0xC2, 8, SosBody(y, 1, 63, 1, 2), 0, -11},
      {"progressive refinement Ah 2 Al 1", 0xC2, 8, SosBody(y, 1, 63, 2, 1), 0, 0},
      {"progressive DC with AC", 0xC2, 8, SosBody(y, 0, 5, 0, 0), 0, -11},
      {"progressive Ss > Se", 0xC2, 8, SosBody(y, 6, 5, 0, 0), 0, -11},
      {"progressive Se 64", 0xC2, 8, SosBody(y, 1, 64, 0, 0), 0, -11},
      {"progressive Al 14", 0xC2, 8, SosBody(y, 1, 63, 0, 14), 0, -11},
      {"progressive Ah 14", 0xC2, 8, SosBody(y, 1, 63, 14, 13), 0, -11},
      {"lossless predictor 1", 0xC3, 8, SosBody(all, 1, 0, 0, 0), 0, 0},
      {"lossless predictor 7 Al 7", 0xC3, 8, SosBody(all, 7, 0, 0, 7), 0, 0},
      {"lossless predictor 0", 0xC3, 8, SosBody(all, 0, 0, 0, 0), 0, -11},
      {"lossless predictor 8", 0xC3, 8, SosBody(all, 8, 0, 0, 0), 0, -11},
      {"lossless Al = precision", 0xC3, 8, SosBody(all, 1, 0, 0, 8), 0, -11},
      {"lossless Se 1", 0xC3, 8, SosBody(all, 1, 1, 0, 0), 0, -11},
  };
  for (const SosCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Bytes bytes = JpegBuilder()
                            .Soi()
                            .Sof(c.sof, c.precision, 16, 16, YCbCr(2, 2))
                            .Segment(0xDA, c.sosBody, c.lengthDelta)
                            .ScanData()
                            .Eoi()
                            .bytes();
    DecoderHarness h;
    EXPECT_EQ(h.Run(bytes, 0), c.status);
    if (c.status != 0) {
      EXPECT_EQ(h.decoder.scanComponentCount, 0);
    }
  }
  // A scan before any frame header names no known component.
  DecoderHarness h;
  EXPECT_EQ(h.Run(JpegBuilder().Soi().Sos(ScanOf(1)).Eoi().bytes(), 0), -11);
}

TEST(DecoderMarkers, ScanHeaderRecordsSelectorsAndResetsPredictors) {
  DecoderHarness h;
  const Bytes bytes = JpegBuilder()
                          .Soi()
                          .Dri(3)
                          .Sof(0xC2, 8, 16, 16, YCbCr(2, 2))
                          .Sos({{3, 2, 0}, {1, 1, 0}}, 0, 0, 0, 1)
                          .Eoi()
                          .bytes();
  h.decoder.components[0].lastDc = 55;
  h.decoder.components[2].lastDc = 66;
  h.decoder.components[1].lastDc = 77;
  ASSERT_EQ(h.Run(bytes, 0), 0);
  const CJPEGDecoder& d = h.decoder;
  EXPECT_EQ(d.scanComponentCount, 2);
  EXPECT_EQ(d.scanComponent, 0) << "the last one listed";
  EXPECT_EQ(d.components[2].dcSelector, 2);
  EXPECT_EQ(d.components[0].dcSelector, 1);
  EXPECT_EQ(d.components[2].lastDc, 0);
  EXPECT_EQ(d.components[0].lastDc, 0);
  EXPECT_EQ(d.components[1].lastDc, 77) << "not in the scan";
  EXPECT_EQ(d.restartsLeft, 3);
  EXPECT_EQ(d.sosLength, 10);
}

TEST(DecoderMarkers, ApplicationSegmentsAndCommentAreRecorded) {
  const Bytes jfifAndAvi1 = Concat({JfifBody(1, 2, 1, 300, 72),
                                    {'A', 'V', 'I', '1', 1, 0, 0, 0, 0x01, 0x02, 0, 0, 0, 0xFE}});
  const Bytes avi1 = {'A', 'V', 'I', '1', 2, 9, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  const Bytes exif = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42};
  const Bytes bytes = JpegBuilder()
                          .Soi()
                          .Segment(0xE0, jfifAndAvi1)
                          .Segment(0xE0, {'J', 'F', 'X', 'X', 0, 0x13, 0xAA, 0xBB})
                          .Segment(0xE1, exif)
                          .Segment(0xEE, AdobeBody(1, 101, 0x8000, 3))
                          .Segment(0xFE, {'c', 'a', 'm', ' ', '7'})
                          .Sof(0xC0, 8, 16, 16, YCbCr(2, 2))
                          .Sos(ScanOf(3))
                          .Eoi()
                          .bytes();
  DecoderHarness h;
  ASSERT_EQ(h.Run(bytes, 0), 0);
  const CJPEGDecoder& d = h.decoder;
  EXPECT_EQ(d.hasJfif, 1);
  EXPECT_EQ(d.jfifMajor, 1);
  EXPECT_EQ(d.jfifMinor, 2);
  EXPECT_EQ(d.jfifUnits, 1);
  EXPECT_EQ(d.jfifXDensity, 300);
  EXPECT_EQ(d.jfifYDensity, 72);
  EXPECT_EQ(d.hasAvi1, 1);
  EXPECT_EQ(d.avi1Polarity, 1);
  EXPECT_EQ(d.avi1Reserved, 0);
  EXPECT_EQ(d.avi1FieldSize, 0x102u);
  EXPECT_EQ(d.avi1FieldSizeLessPadding, 0xFEu);
  EXPECT_EQ(d.hasJfxx, 1);
  EXPECT_EQ(d.jfxxCode, 0x13);
  EXPECT_EQ(d.hasExif, 1);
  ASSERT_EQ(d.exifLength, 4);
  ASSERT_NE(d.exif, nullptr);
  EXPECT_EQ(std::memcmp(d.exif, "MM\0*", 4), 0);
  EXPECT_EQ(d.hasAdobe, 1);
  EXPECT_EQ(d.adobeVersion, 101);
  EXPECT_EQ(d.adobeFlags0, 0x8000);
  EXPECT_EQ(d.adobeFlags1, 3);
  EXPECT_EQ(d.adobeTransform, 1);
  EXPECT_EQ(d.hasComment, 1);
  ASSERT_EQ(d.commentLength, 5);
  EXPECT_STREQ(reinterpret_cast<const char*>(d.comment), "cam 7");
  EXPECT_EQ(d.colorSpace, 4);

  // A lone AVI1 segment of length 16 carries all four fields.
  ASSERT_EQ(h.Run(JpegBuilder().Soi().Segment(0xE0, avi1).Eoi().bytes(), 2), 0);
  EXPECT_EQ(h.decoder.hasAvi1, 1);
  EXPECT_EQ(h.decoder.hasJfif, 0);
  EXPECT_EQ(h.decoder.avi1Polarity, 2);
  EXPECT_EQ(h.decoder.avi1Reserved, 9);
  EXPECT_EQ(h.decoder.avi1FieldSize, 0x12345678u);
  EXPECT_EQ(h.decoder.avi1FieldSizeLessPadding, 0x9ABCDEF0u);
  EXPECT_EQ(h.decoder.hasExif, 0) << "cleared for the next frame";
  EXPECT_EQ(h.decoder.exif, nullptr);
}

TEST(DecoderMarkers, ShortOrForeignApplicationSegmentsAreSkipped) {
  struct {
    const char* what;
    uint8_t code;
    Bytes body;
    int hasJfif, hasAvi1, hasExif, hasAdobe, exifLength;
  } const cases[] = {
      {"JFIF just before EOI", 0xE0, JfifBody(), 1, 0, 0, 0, 0},
      {"JFIF without its fields", 0xE0, {'J', 'F', 'I', 'F', 0, 1, 2}, 0, 0, 0, 0, 0},
      {"AVI1 of 12 bytes", 0xE0, {'A', 'V', 'I', '1', 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0, 0, 0, 0},
      {"AVI1 of 15 bytes, no sizes", 0xE0, {'A', 'V', 'I', '1', 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 1, 0, 0, 0},
      {"four bytes", 0xE0, {'J', 'F', 'I', 'F'}, 0, 0, 0, 0, 0},
      {"Exif identifier only", 0xE1, {'E', 'x', 'i', 'f', 0}, 0, 0, 1, 0, 0},
      {"Exif, empty body", 0xE1, {'E', 'x', 'i', 'f', 0, 0}, 0, 0, 1, 0, 0},
      {"XMP", 0xE1, {'h', 't', 't', 'p', ':', '/', '/'}, 0, 0, 0, 0, 0},
      {"Adobe too short", 0xEE, {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0}, 0, 0, 0, 0, 0},
      {"Adobe with extra bytes", 0xEE, Concat({AdobeBody(2), {1, 2, 3}}), 0, 0, 0, 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DecoderHarness h;
    ASSERT_EQ(h.Run(JpegBuilder().Soi().Segment(c.code, c.body).Eoi().bytes(), 2), 0);
    EXPECT_EQ(h.decoder.hasJfif, c.hasJfif);
    EXPECT_EQ(h.decoder.hasAvi1, c.hasAvi1);
    EXPECT_EQ(h.decoder.hasExif, c.hasExif);
    EXPECT_EQ(h.decoder.hasAdobe, c.hasAdobe);
    EXPECT_EQ(h.decoder.exifLength, c.exifLength);
  }
}

struct ColorCase {
  const char* what;
  bool jfif;
  int adobeTransform;  // -1: no Adobe segment
  uint8_t sof;
  int precision, components, colorSpace;
};

TEST(DecoderMarkers, ColourSpaceDecision) {
  const ColorCase cases[] = {
      {"JFIF gray", true, -1, 0xC0, 8, 1, 1},
      {"JFIF YCbCr", true, -1, 0xC0, 8, 3, 4},
      {"JFIF four components", true, -1, 0xC0, 8, 4, 0},
      {"JFIF two components", true, -1, 0xC0, 8, 2, 0},
      {"JFIF and Adobe 0: RGB", true, 0, 0xC0, 8, 3, 2},
      {"Adobe 0 gray", false, 0, 0xC0, 8, 1, 1},
      {"Adobe 0 CMYK", false, 0, 0xC0, 8, 4, 5},
      {"Adobe 0 two components", false, 0, 0xC0, 8, 2, 0},
      {"Adobe 1", false, 1, 0xC0, 8, 3, 4},
      {"Adobe 1 with one component", false, 1, 0xC0, 8, 1, 4},
      {"Adobe 2", false, 2, 0xC0, 8, 4, 6},
      {"Adobe 3", true, 3, 0xC0, 8, 3, 0},
      {"neither, gray", false, -1, 0xC0, 8, 1, 1},
      {"neither, gray lossless 16 bit", false, -1, 0xC3, 16, 1, 1},
      {"neither, three components", false, -1, 0xC0, 8, 3, 4},
      {"neither, three components 12 bit", false, -1, 0xC1, 12, 3, 0},
      {"neither, three components lossless", false, -1, 0xC3, 8, 3, 0},
      {"neither, progressive", false, -1, 0xC2, 8, 3, 4},
      {"neither, four components", false, -1, 0xC0, 8, 4, 0},
  };
  for (const ColorCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<FrameComponentSpec> comps;
    for (int i = 0; i < c.components; ++i) comps.push_back({uint8_t(i + 1), 1, 1, 0});
    JpegBuilder b;
    b.Soi();
    if (c.jfif) b.Jfif();
    if (c.adobeTransform >= 0) b.Segment(0xEE, AdobeBody(c.adobeTransform));
    const int ss = c.sof == 0xC3 ? 1 : 0, se = c.sof == 0xC3 || c.sof == 0xC2 ? 0 : 63;
    b.Sof(c.sof, c.precision, 8, 8, comps).Sos(ScanOf(c.components), ss, se).Eoi();
    DecoderHarness h;
    ASSERT_EQ(h.Run(b.bytes(), 0), 0);
    EXPECT_EQ(h.decoder.colorSpace, c.colorSpace);
    // Only the header pass decides.
    ASSERT_EQ(h.Run(b.bytes(), 2), 0);
    EXPECT_EQ(h.decoder.colorSpace, 0);
  }
}

TEST(DecoderMarkers, MarkerSearchSkipsFillStuffingAndGarbage) {
  const Bytes bytes = JpegBuilder()
                          .Raw({0x00, 0x12})
                          .Soi()
                          .Raw({0x55, 0xFF, 0x00, 0xAA})
                          .Marker(0xD3)  // a stray restart between segments
                          .Raw({0xFF, 0xFF, 0xFF})
                          .Sof(0xC0, 8, 8, 8, YCbCr(1, 1))
                          .Sos(ScanOf(3))
                          .Raw({0x01, 0xFF, 0x00, 0xFF, 0xD0, 0x02, 0xFF, 0xD7, 0x03})
                          .Raw({0xFF, 0xFF, 0xD9})
                          .bytes();
  DecoderHarness h;
  ASSERT_EQ(h.Run(bytes, 2), 0);
  EXPECT_EQ(h.StreamOffset(), int32_t(bytes.size()));
  EXPECT_EQ(h.decoder.nextRestartNumber, 2) << "two RST after the scan header";
  EXPECT_EQ(h.decoder.marker, 0);
  // Without EOI the data simply ends.
  const Bytes noEoi(bytes.begin(), bytes.end() - 3);
  EXPECT_EQ(h.Run(noEoi, 2), -4);
}

TEST(DecoderMarkers, RestartStepsBackOverALeftOverFillByte) {
  DecoderHarness h;
  const Bytes bytes = {0x11, 0xFF, 0xD5, 0x22, 0xFF, 0xD6};
  ASSERT_EQ(h.Run({}, 2), -4);
  h.data = bytes;
  h.source.buffer = h.data.data();
  h.source.size = int32_t(h.data.size());
  h.source.position = 0;
  ASSERT_EQ(h.decoder.input.Attach(&h.source, 16384), 0);
  uint8_t byte = 0;
  ASSERT_EQ(h.decoder.input.ReadByte(&byte), 0);
  ASSERT_EQ(h.decoder.input.ReadByte(&byte), 0);
  h.decoder.marker = 0xFF;  // the entropy decoder stopped on this 0xFF
  h.decoder.nextRestartNumber = 7;
  ASSERT_EQ(h.decoder.ProcessRestart(), 0);
  EXPECT_EQ(h.StreamOffset(), 3);
  EXPECT_EQ(h.decoder.marker, 0);
  EXPECT_EQ(h.decoder.nextRestartNumber, 0);
  ASSERT_EQ(h.decoder.ProcessRestart(), 0);  // searches for the next one
  EXPECT_EQ(h.StreamOffset(), 6);
  EXPECT_EQ(h.decoder.nextRestartNumber, 1);
  EXPECT_EQ(h.decoder.ProcessRestart(), -4);

  // The marker loop treats a left-over 0xFF the same way.
  h.data = {0x00, 0xFF, 0xD9};
  h.source.buffer = h.data.data();
  h.source.size = 3;
  h.source.position = 0;
  ASSERT_EQ(h.decoder.input.Attach(&h.source, 16384), 0);
  ASSERT_EQ(h.decoder.input.ReadByte(&byte), 0);
  ASSERT_EQ(h.decoder.input.ReadByte(&byte), 0);
  h.decoder.marker = 0xFF;
  EXPECT_EQ(h.decoder.Decode(2), 0);
  EXPECT_EQ(h.StreamOffset(), 3);
}

// A header stream with every recognised segment kind.
Bytes FullHeaderStream() {
  uint8_t twoCodes[16] = {2};
  const uint8_t values[2] = {0, 1};
  return JpegBuilder()
      .Soi()
      .Segment(0xE0, Concat({JfifBody(), {'A', 'V', 'I', '1', 1, 0, 0, 0, 1, 2, 0, 0, 0, 3}}))
      .Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 1, 2, 3})
      .Segment(0xEE, AdobeBody(1))
      .Segment(0xFE, {'x', 'y'})
      .Segment(0xE7, {9, 9, 9})
      .Segment(0xDB, Concat({DqtBody8(0, 1), DqtBody16(1, 2)}))
      .Segment(0xC4, DhtBody(1, 1, twoCodes, values))
      .Dri(2)
      .Sof(0xC0, 8, 16, 16, YCbCr(2, 2))
      .Sos(ScanOf(3))
      .bytes();
}

TEST(DecoderMarkers, EveryTruncationEndsWithEndOfData) {
  const Bytes samples[] = {FullHeaderStream(), kSampleBaseline420.bytes(), kSampleProgressive420.bytes(),
                           kSampleGrayRestart.bytes()};
  for (const Bytes& full : samples) {
    const int32_t sosEnd = FirstSosOffset(full) + 2 + (full[FirstSosOffset(full) + 2] << 8 |
                                                       full[FirstSosOffset(full) + 3]);
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
