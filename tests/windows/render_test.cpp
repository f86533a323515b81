// Samples through the real DLL on a real window: what is lent and what a
// failed sample leaves (drawing: presentation_test.cpp; threads and the
// lock: threads_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "api/viewer_record.h"
#include "jpeg_samples_util.h"
#include "viewer_dll.h"

namespace {

using vv::test::SampleJpeg;

struct Lent {
  uint32_t width = 0, height = 0;
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* pixels = nullptr;
  uint32_t bytes = 0;
};

Lent RenderDec1(ViewerRecord* viewer, const SampleJpeg& sample, uint64_t tag, int flip = 1) {
  Lent lent;
  Dll().ViewerRenderMJPEGSampleDec1Flip(viewer, sample.data, sample.size, 0, tag, &lent.width,
                                        &lent.height, &lent.header, &lent.pixels, &lent.bytes,
                                        flip);
  return lent;
}

class Render : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, window.handle());
  }
  void TearDown() override {
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
  TestWindow window{64, 64};
  ViewerRecord* viewer = nullptr;
};

TEST_F(Render, LendsABottomUpPictureWithItsHeader) {
  const Lent lent = RenderDec1(viewer, vv::test::kSampleBaseline420, 11);
  EXPECT_EQ(lent.width, 16u);
  EXPECT_EQ(lent.height, 16u);
  ASSERT_NE(lent.header, nullptr);
  ASSERT_NE(lent.pixels, nullptr);
  EXPECT_EQ(lent.bytes, 16u * 16 * 4);
  EXPECT_EQ(lent.header->biWidth, 16);
  EXPECT_EQ(lent.header->biHeight, 16);
  EXPECT_EQ(lent.header->biBitCount, 32);
  EXPECT_EQ(viewer->hasPicture, 1u);
  EXPECT_EQ(viewer->sampleTag, 11u);
  for (uint32_t i = 0; i < 16 * 16; ++i) ASSERT_EQ(lent.pixels[i * 4 + 3], 255);
}

TEST_F(Render, FlipZeroLeavesRowsTopDown) {
  const Lent up = RenderDec1(viewer, vv::test::kSampleBaseline420, 1, 1);
  std::vector<uint8_t> bottomUp(up.pixels, up.pixels + up.bytes);
  const Lent down = RenderDec1(viewer, vv::test::kSampleBaseline420, 2, 0);
  ASSERT_NE(down.header, nullptr);
  EXPECT_EQ(down.header->biHeight, -16);
  for (int row = 0; row < 16; ++row) {
    ASSERT_EQ(std::memcmp(down.pixels + row * 64, bottomUp.data() + (15 - row) * 64, 64), 0)
        << row;
  }
}

TEST_F(Render, FailedSampleLeavesNoPictureAndKeepsTheSize) {
  RenderDec1(viewer, vv::test::kSampleBaseline420, 5);
  static const uint8_t broken[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x01};
  Lent lent;
  Dll().ViewerRenderMJPEGSampleDec1(viewer, broken, sizeof broken, 0, 6, &lent.width,
                                    &lent.height, &lent.header, &lent.pixels, &lent.bytes);
  EXPECT_EQ(lent.header, nullptr);
  EXPECT_EQ(lent.width, 16u) << "the frame size as it stands";
  EXPECT_EQ(viewer->hasPicture, 0u);
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), -1);
  BITMAPINFOHEADER* header = nullptr;
  Dll().ViewerLockSnapshot(viewer, &header, nullptr, nullptr, nullptr);
  EXPECT_EQ(header, nullptr);
}

TEST_F(Render, OffsetAndExWithoutMasksBehaveAsThePlainCall) {
  const SampleJpeg& sample = vv::test::kSampleBaseline420;
  std::vector<uint8_t> buffer(100 + sample.size, 0xAB);
  std::memcpy(buffer.data() + 100, sample.data, sample.size);
  uint32_t width = 0, height = 0;
  Dll().ViewerRenderMJPEGSampleEx(viewer, buffer.data(), sample.size, 100, 9, 0, 0, &width, &height);
  EXPECT_EQ(width, 16u);
  EXPECT_EQ(viewer->hasPicture, 1u);
  EXPECT_EQ(viewer->sampleTag, 9u);
}

}  // namespace
