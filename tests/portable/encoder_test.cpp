// The encoder's header segments byte for byte (tables: see libjpeg-turbo's) and output buffers too small.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder_test_util.h"
#include "encoder_test_util.h"

namespace vv::test {
namespace {

// Catches wrong JFIF, component ids, sampling, table selectors, segment order and lengths, spectral range.
TEST(EncoderHeaders, SegmentsByteForByte) {
  const struct {
    int quality, width, height;
    bool withComment;
  } cases[] = {{0, 48, 16, false}, {25, 48, 16, true}, {75, 300, 260, true}, {100, 1, 1, false}};
  const std::string mark("\x0B\x0A\x0A\x0A\x00\x02\x00\x02", 8);
  for (const auto& c : cases) {
    SCOPED_TRACE("quality " + std::to_string(c.quality));
    const std::vector<uint8_t> bgr = SyntheticRgb(c.width, c.height);
    EncodeRequest request{bgr.data(), c.width, c.height};
    request.quality = static_cast<uint32_t>(c.quality);
    if (c.withComment) request.comment = mark;
    const EncodedImage image = EncodeBgr(request);
    ASSERT_TRUE(image.Ok());
    ASSERT_TRUE(image.bytes[0] == 0xFF && image.bytes[1] == 0xD8);
    EXPECT_TRUE(image.bytes[image.bytes.size() - 2] == 0xFF && image.bytes.back() == 0xD9);
    const auto h = uint8_t(c.height >> 8), l = uint8_t(c.height), wh = uint8_t(c.width >> 8),
               wl = uint8_t(c.width);
    SegmentList expected = {{0xE0, {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0}}};
    if (c.withComment) expected.push_back({0xFE, {mark.begin(), mark.end()}});
    expected.push_back({0xDB, {}});
    expected.push_back({0xDB, {}});
    expected.push_back({0xC0, {8, h, l, wh, wl, 3, 0, 0x21, 0, 1, 0x11, 1, 2, 0x11, 1}});
    for (int i = 0; i < 4; ++i) expected.push_back({0xC4, {}});
    expected.push_back({0xDA, {3, 0, 0x00, 1, 0x11, 2, 0x11, 0, 63, 0}});
    const SegmentList found = HeaderSegments(image.bytes);
    ASSERT_EQ(found.size(), expected.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(found[i].first, expected[i].first) << i;
      EXPECT_TRUE(expected[i].second.empty() || found[i].second == expected[i].second) << i;
    }
  }
}

// A full buffer fails without writing past it; what fit is the image's start.
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
    ASSERT_LE(cut.bytes.size(), full.bytes.size());
    EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), full.bytes.begin())) << c.capacity;
  }
}

}  // namespace
}  // namespace vv::test
