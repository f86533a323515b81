// The encoder's failures: output buffers too small, unsupported sources,
// out-of-range qualities, calls out of order. Each returns its status
// without writing outside the caller's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "decoder_test_util.h"
#include "encoder_test_util.h"

namespace vv::test {
namespace {

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

// Noise at quality 100 makes blocks far larger than usual; one that outgrows
// the free output space may fail with -2, but nothing is written past the
// buffer and a completed image decodes.
TEST(EncoderFailure, DetailedPictureAtQuality100) {
  for (int width : {64, 333, 1024}) {
    const std::vector<uint8_t> bgr = NoiseRgb(width, 48, static_cast<uint32_t>(width));
    EncodeRequest request{bgr.data(), width, 48};
    request.quality = 100;
    const EncodedImage image = EncodeBgr(request);
    EXPECT_EQ(image.headerStatus, 0);
    EXPECT_TRUE(image.dataStatus == 0 || image.dataStatus == -2) << image.dataStatus;
    EXPECT_TRUE(image.guardIntact);
    OutputRequest bgrOutput;
    bgrOutput.dstColor = 3;
    if (image.dataStatus == 0) {
      EXPECT_EQ(DecodeJpeg(image.bytes, bgrOutput).status, 0);
    }
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
      {"rgb order", [](CJPEGEncoder* e) { e->srcColor = 2; }, -1},
      {"12-bit", [](CJPEGEncoder* e) { e->srcPrecision = 12; }, -1},
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

TEST(EncoderFailure, QualityAndCallOrder) {
  const std::vector<uint8_t> bgr(16 * 8 * 3, 10);
  std::vector<uint8_t> out(4096);
  CMemBuffOutput stream(out.data(), static_cast<int32_t>(out.size()));
  std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
  EXPECT_EQ(encoder->WriteHeader(), -1);  // nothing described yet
  EXPECT_EQ(encoder->WriteData(), -1);
  // Negative qualities are refused and leave no usable tables; qualities
  // above 100 give tables of ones.
  for (uint32_t quality : {0x80000000u, 0xFFFFFFFFu, 101u, 1000u}) {
    DescribeSource(encoder.get(), bgr.data(), 16, 8, 48);
    encoder->bitOutput.stream = &stream;
    const bool valid = static_cast<int32_t>(quality) >= 0;
    EXPECT_EQ(encoder->SetParams(quality), valid ? 0 : -2) << quality;
    EXPECT_EQ(encoder->WriteHeader(), valid ? 0 : -1) << quality;
  }
  DescribeSource(encoder.get(), bgr.data(), 16, 8, 48);
  encoder->bitOutput.stream = &stream;
  ASSERT_EQ(encoder->SetParams(75), 0);
  EXPECT_EQ(encoder->WriteData(), -1);  // before WriteHeader
}

}  // namespace
}  // namespace vv::test
