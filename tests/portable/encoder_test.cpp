// The encoder's header segments byte for byte, the exact entropy-coded bytes
// of flat pictures, and its failures (output too small, refused sources).
// The table contents (DQT, DHT) are compared with libjpeg-turbo's at several
// qualities in encoder_reference_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "decoder_test_util.h"
#include "encoder_test_util.h"
#include "entropy_test_util.h"
#include "jpeg/encoder.h"

namespace vv::test {
namespace {

// The segments in order, as (marker, body) pairs, up to and including SOS.
std::vector<std::pair<uint8_t, std::vector<uint8_t>>> Segments(const std::vector<uint8_t>& jpeg) {
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> found;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF;) {
    const size_t length = size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
    if (length < 2 || at + 2 + length > jpeg.size()) break;
    found.push_back({jpeg[at + 1], {jpeg.begin() + at + 4, jpeg.begin() + at + 2 + length}});
    if (jpeg[at + 1] == 0xDA) break;
    at += 2 + length;
  }
  return found;
}

// Catches wrong header bytes: JFIF version, component ids and sampling,
// table selectors, segment order and lengths, the scan's spectral range.
TEST(EncoderHeaders, SegmentsByteForByte) {
  const struct {
    int quality, width, height;
    bool withComment;
  } cases[] = {{0, 48, 16, false}, {25, 48, 16, true}, {75, 300, 260, true}, {100, 1, 1, false}};
  const std::string mark("\x0B\x0A\x0A\x0A\x00\x02\x00\x02", 8);
  for (const auto& c : cases) {
    SCOPED_TRACE("quality " + std::to_string(c.quality));
    const std::vector<uint8_t> bgr = SwapRedBlue(SyntheticRgb(c.width, c.height));
    EncodeRequest request{bgr.data(), c.width, c.height};
    request.quality = static_cast<uint32_t>(c.quality);
    request.withComment = c.withComment;
    request.comment = mark;
    const EncodedImage image = EncodeBgr(request);
    ASSERT_TRUE(image.Ok());
    ASSERT_TRUE(image.bytes[0] == 0xFF && image.bytes[1] == 0xD8);
    EXPECT_TRUE(image.bytes[image.bytes.size() - 2] == 0xFF && image.bytes.back() == 0xD9);
    const auto h = uint8_t(c.height >> 8), l = uint8_t(c.height), wh = uint8_t(c.width >> 8),
               wl = uint8_t(c.width);
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> expected = {
        {0xE0, {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0}}};
    if (c.withComment) expected.push_back({0xFE, {mark.begin(), mark.end()}});
    expected.push_back({0xDB, {}});
    expected.push_back({0xDB, {}});
    expected.push_back({0xC0, {8, h, l, wh, wl, 3, 0, 0x21, 0, 1, 0x11, 1, 2, 0x11, 1}});
    for (int i = 0; i < 4; ++i) expected.push_back({0xC4, {}});
    expected.push_back({0xDA, {3, 0, 0x00, 1, 0x11, 2, 0x11, 0, 63, 0}});
    auto found = Segments(image.bytes);
    ASSERT_EQ(found.size(), expected.size());
    // DQT 0 and 1, then DHT DC0, AC0, DC1, AC1: identifier and body size.
    const uint8_t tableIds[] = {0x00, 0x01, 0x00, 0x10, 0x01, 0x11};
    const size_t tableSizes[] = {65, 65, 29, 179, 29, 179};
    for (size_t i = 0, table = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].first, expected[i].first) << i;
      if (found[i].first == 0xDB || found[i].first == 0xC4) {
        EXPECT_EQ(found[i].second.at(0), tableIds[table]) << i;
        EXPECT_EQ(found[i].second.size(), tableSizes[table++]) << i;
      } else {
        EXPECT_EQ(found[i].second, expected[i].second) << i;
      }
    }
  }
}

// A uniform grey picture gives Y = v, Cb = Cr = 128: every AC coefficient is
// zero and only the first luma block has a DC difference, 8 (v - 128) / 16
// at the luma DC step 16 (rounded half to even). Catches faults of the
// coder's MCU order, DC prediction, byte stuffing and padding.
TEST(EncoderHeaders, FlatPictureEntropyCodedBytes) {
  const std::vector<Code> dcLuma =
      CanonicalCodes(StdTable(kStdDcLuminanceBits, kStdDcLuminanceValues));
  const std::vector<Code> dcChroma =
      CanonicalCodes(StdTable(kStdDcChrominanceBits, kStdDcChrominanceValues));
  const struct {
    int width, height, grey, quality, lumaDc;
  } cases[] = {{33, 17, 200, 50, 36}, {16, 8, 128, 0, 0}, {1, 1, 0, 50, -64}, {40, 24, 255, 0, 64}};
  for (const auto& c : cases) {
    const std::vector<uint8_t> bgr(static_cast<size_t>(c.width) * c.height * 3,
                                   static_cast<uint8_t>(c.grey));
    EncodeRequest request{bgr.data(), c.width, c.height};
    request.quality = static_cast<uint32_t>(c.quality);
    const EncodedImage image = EncodeBgr(request);
    ASSERT_TRUE(image.Ok());
    BitSink expected;
    const int mcus = ((c.width + 15) / 16) * ((c.height + 7) / 8);
    for (int m = 0; m < mcus; ++m) {
      const int diff = m == 0 ? c.lumaDc : 0;
      int category = 0;
      while ((std::abs(diff) >> category) != 0) ++category;
      expected.Put(dcLuma[category]);
      expected.PutValue(diff, category);
      expected.Put(0xA, 4);  // luma EOB 1010 (K.5)
      expected.Put(dcLuma[0]);
      expected.Put(0xA, 4);
      for (int k = 0; k < 2; ++k) {
        expected.Put(dcChroma[0]);
        expected.Put(0, 2);  // chroma EOB 00 (K.6)
      }
    }
    expected.PutMarker(0xD9);
    const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 12};
    auto at = std::search(image.bytes.begin(), image.bytes.end(), sos.begin(), sos.end());
    ASSERT_NE(at, image.bytes.end());
    EXPECT_EQ(std::vector<uint8_t>(at + 14, image.bytes.end()), expected.bytes) << c.grey;
  }
}

// Failures return their status without writing outside the caller's buffer;
// what did fit is the start of the complete image.
TEST(EncoderFailure, OutputStreamTooSmall) {
  const int width = 400, height = 240;
  const std::vector<uint8_t> bgr = NoiseRgb(width, height, 1);
  const EncodedImage full = EncodeBgr(EncodeRequest(bgr.data(), width, height));
  ASSERT_TRUE(full.Ok());
  const int32_t total = static_cast<int32_t>(full.bytes.size());
  const std::vector<uint8_t> sos = {0xFF, 0xDA};
  const int32_t header = static_cast<int32_t>(
      std::search(full.bytes.begin(), full.bytes.end(), sos.begin(), sos.end()) - full.bytes.begin());
  ASSERT_GT(total, header + 3 * 4096);  // several hand-overs of scan data

  struct Case {
    int32_t capacity, headerStatus, dataStatus;
  };
  const Case cases[] = {{0, -5, 0},        {header - 1, -5, 0}, {header, 0, -5},
                        {total / 2, 0, -5}, {total - 1, 0, -5},  {total, 0, 0}};
  for (const Case& c : cases) {
    EncodeRequest request{bgr.data(), width, height};
    request.capacity = c.capacity;
    const EncodedImage cut = EncodeBgr(request);
    EXPECT_EQ(cut.headerStatus, c.headerStatus) << c.capacity;
    EXPECT_EQ(cut.dataStatus, c.dataStatus) << c.capacity;
    EXPECT_TRUE(cut.guardIntact) << c.capacity;
    // What did fit is the start of the complete image.
    ASSERT_LE(cut.bytes.size(), full.bytes.size());
    EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), full.bytes.begin())) << c.capacity;
  }
}

TEST(EncoderFailure, UnsupportedSourcesAreRefused) {
  struct Case {
    const char* name;
    void (*spoil)(CJPEGEncoder*);
    int32_t expected;  // of WriteHeader and WriteData
  };
  const Case cases[] = {
      {"null data", [](CJPEGEncoder* e) { e->srcData = nullptr; }, -1},
      {"four channels", [](CJPEGEncoder* e) { e->srcChannels = 4; }, -1},
      {"short rows", [](CJPEGEncoder* e) { e->srcStep = 10; }, -1},
      {"width after SetParams", [](CJPEGEncoder* e) { e->width = 17, e->srcStep = 51; }, -1},
      {"comment too long", [](CJPEGEncoder* e) { e->comment = e->srcData, e->commentLength = 65534; }, -1},
      {"as given", [](CJPEGEncoder*) {}, 0},
  };
  const std::vector<uint8_t> bgr(10 * 4 * 3, 90);
  std::vector<uint8_t> out(4096);
  for (const Case& c : cases) {
    std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
    CMemBuffOutput stream(out.data(), static_cast<int32_t>(out.size()));
    DescribeSource(encoder.get(), bgr.data(), 10, 4, 30);
    ASSERT_EQ(encoder->SetParams(50), 0);
    encoder->bitOutput.stream = &stream;
    c.spoil(encoder.get());
    EXPECT_EQ(encoder->WriteHeader(), c.expected) << c.name;
    EXPECT_EQ(encoder->WriteData(), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vv::test
