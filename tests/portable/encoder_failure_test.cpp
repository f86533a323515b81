// The encoder's failures: output buffers too small, unsupported sources,
// out-of-range qualities, calls out of order. Each must return its status
// without writing outside the caller's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "decoder_test_util.h"
#include "encoder_test_util.h"
#include "jpeg/encoder.h"

namespace vv::test {
namespace {

// A full encoding of `bgr` at quality 75, for sizes to cut below.
EncodedImage Full(const std::vector<uint8_t>& bgr, int width, int height) {
  EncodeRequest request;
  request.bgr = bgr.data();
  request.width = width;
  request.height = height;
  return EncodeBgr(request);
}

TEST(EncoderFailure, OutputStreamTooSmall) {
  const int width = 400, height = 240;
  const std::vector<uint8_t> bgr = SwapRedBlue(SyntheticRgb(width, height, 1));
  const EncodedImage full = Full(bgr, width, height);
  ASSERT_TRUE(full.Ok());
  const int32_t total = static_cast<int32_t>(full.bytes.size());
  // Everything before the scan header reaches the stream in WriteHeader.
  const std::vector<uint8_t> sos = {0xFF, 0xDA};
  const int32_t headerSize = static_cast<int32_t>(
      std::search(full.bytes.begin(), full.bytes.end(), sos.begin(), sos.end()) - full.bytes.begin());
  ASSERT_GT(total, headerSize + 4096);  // several hand-overs of the scan

  struct Case {
    int32_t capacity;
    int32_t headerStatus, dataStatus;
  };
  const Case cases[] = {{0, -5, 0},         {1, -5, 0},
                        {headerSize - 1, -5, 0}, {headerSize, 0, -5},
                        {headerSize + 100, 0, -5}, {total / 2, 0, -5},
                        {total - 2, 0, -5},  {total - 1, 0, -5},
                        {total, 0, 0}};
  for (const Case& c : cases) {
    EncodeRequest request;
    request.bgr = bgr.data();
    request.width = width;
    request.height = height;
    request.capacity = c.capacity;
    const EncodedImage cut = EncodeBgr(request);
    EXPECT_EQ(cut.headerStatus, c.headerStatus) << "capacity " << c.capacity;
    EXPECT_EQ(cut.dataStatus, c.dataStatus) << "capacity " << c.capacity;
    EXPECT_TRUE(cut.guardIntact) << "capacity " << c.capacity;
    // What did fit is the start of the complete image.
    ASSERT_LE(cut.bytes.size(), full.bytes.size());
    EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), full.bytes.begin()))
        << "capacity " << c.capacity;
  }
}

// Noise at quality 100 makes blocks far larger than usual; the encoder may
// refuse a block that outgrows the free output space (-2), but never writes
// past its buffer, and what it completes decodes.
TEST(EncoderFailure, DetailedPictureAtQuality100) {
  for (int width : {64, 333, 1024}) {
    const std::vector<uint8_t> bgr = NoiseRgb(width, 48, static_cast<uint32_t>(width));
    EncodeRequest request;
    request.bgr = bgr.data();
    request.width = width;
    request.height = 48;
    request.quality = 100;
    const EncodedImage image = EncodeBgr(request);
    EXPECT_EQ(image.headerStatus, 0);
    EXPECT_TRUE(image.dataStatus == 0 || image.dataStatus == -2) << image.dataStatus;
    EXPECT_TRUE(image.guardIntact);
    if (image.dataStatus == 0) {
      OutputRequest bgrOutput;
      bgrOutput.dstColor = 3;
      EXPECT_EQ(DecodeJpeg(image.bytes, bgrOutput).status, 0);
    }
  }
}

struct SourceCase {
  const char* name;
  void (*spoil)(CJPEGEncoder*);
  int32_t expected;  // of WriteHeader
};

TEST(EncoderFailure, UnsupportedSourcesAreRefused) {
  const SourceCase cases[] = {
      {"null data", [](CJPEGEncoder* e) { e->srcData = nullptr; }, -1},
      {"rgba", [](CJPEGEncoder* e) { e->srcChannels = 4; }, -1},
      {"rgb order", [](CJPEGEncoder* e) { e->srcColor = 2; }, -1},
      {"12-bit", [](CJPEGEncoder* e) { e->srcPrecision = 12; }, -1},
      {"short rows", [](CJPEGEncoder* e) { e->srcStep = 10; }, -1},
      {"negative step", [](CJPEGEncoder* e) { e->srcStep = -30; }, -1},
      {"width after SetParams", [](CJPEGEncoder* e) { e->width = 40; }, -1},
      {"negative comment", [](CJPEGEncoder* e) { e->comment = e->srcData, e->commentLength = -1; }, -1},
      {"long comment", [](CJPEGEncoder* e) { e->comment = e->srcData, e->commentLength = 65534; }, -1},
      {"as given", [](CJPEGEncoder*) {}, 0},
  };
  const std::vector<uint8_t> bgr(10 * 4 * 3, 90);
  std::vector<uint8_t> out(4096);
  for (const SourceCase& c : cases) {
    std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
    CMemBuffOutput stream(out.data(), static_cast<int32_t>(out.size()));
    encoder->Reset();
    encoder->srcData = bgr.data();
    encoder->width = 10;
    encoder->height = 4;
    encoder->srcStep = 30;
    encoder->srcPrecision = 8;
    encoder->srcChannels = 3;
    encoder->srcColor = 3;
    ASSERT_EQ(encoder->SetParams(50), 0);
    encoder->bitOutput.stream = &stream;
    c.spoil(encoder.get());
    EXPECT_EQ(encoder->WriteHeader(), c.expected) << c.name;
    EXPECT_EQ(encoder->WriteData(), c.expected) << c.name;
  }
}

TEST(EncoderFailure, QualityAndCallOrder) {
  const std::vector<uint8_t> bgr(16 * 8 * 3, 10);
  std::vector<uint8_t> out(4096);
  CMemBuffOutput stream(out.data(), static_cast<int32_t>(out.size()));
  std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
  // Nothing described yet: no header, no data, no crash.
  EXPECT_EQ(encoder->WriteHeader(), -1);
  EXPECT_EQ(encoder->WriteData(), -1);

  const auto describe = [&] {
    encoder->Reset();
    encoder->srcData = bgr.data();
    encoder->width = 16;
    encoder->height = 8;
    encoder->srcStep = 48;
    encoder->srcPrecision = 8;
    encoder->srcChannels = 3;
    encoder->srcColor = 3;
    encoder->bitOutput.stream = &stream;
  };
  struct QualityCase {
    uint32_t quality;
    int32_t expected;
  };
  for (const QualityCase& q : {QualityCase{0x80000000u, -2}, QualityCase{0xFFFFFFFFu, -2},
                               QualityCase{101, 0}, QualityCase{1000, 0}}) {
    describe();
    EXPECT_EQ(encoder->SetParams(q.quality), q.expected) << q.quality;
    // After a refused quality the tables are incomplete: nothing is written.
    EXPECT_EQ(encoder->WriteHeader(), q.expected == 0 ? 0 : -1) << q.quality;
  }
  // Data without a header after Reset, then a second scan after one image.
  describe();
  ASSERT_EQ(encoder->SetParams(75), 0);
  EXPECT_EQ(encoder->WriteData(), -1);
  stream.position = 0;
  ASSERT_EQ(encoder->WriteHeader(), 0);
  ASSERT_EQ(encoder->WriteData(), 0);
  const int32_t size = stream.position;
  EXPECT_EQ(encoder->WriteData(), 0);
  EXPECT_GT(stream.position, size);
}

}  // namespace
}  // namespace vv::test
