// Samples through the real DLL on a real window: what is lent, what is drawn,
// and how the lock and the frame buffers follow the samples.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
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

TEST_F(Render, DrawsThePictureIntoTheWindow) {
  Dll().ViewerSetVideoDestination(viewer, 50, 50, 16, 16);
  // Let the window be mapped and painted first, so its own background
  // painting cannot cover the picture afterwards.
  LetWindowSettle();
  const Lent lent = RenderDec1(viewer, vv::test::kSampleBaseline420, 3);
  ASSERT_NE(lent.pixels, nullptr);
  const std::vector<uint8_t> shown = ReadClient(window.handle(), 16, 16);
  int differing = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const uint8_t* want = lent.pixels + ((15 - y) * 16 + x) * 4;  // bottom-up picture
      const uint8_t* got = shown.data() + (y * 16 + x) * 4;
      if (std::memcmp(want, got, 3) != 0 && ++differing < 4) {
        ADD_FAILURE() << x << "," << y << " want " << int(want[0]) << " " << int(want[1]) << " "
                      << int(want[2]) << " got " << int(got[0]) << " " << int(got[1]) << " "
                      << int(got[2]);
      }
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), 0);
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

TEST_F(Render, SnapshotHoldsTheLockUntilReturned) {
  RenderDec1(viewer, vv::test::kSampleBaseline420, 0x1122334455667788ull);
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* pixels = nullptr;
  uint32_t bytes = 0;
  uint64_t tag = 0;
  Dll().ViewerLockSnapshot(viewer, &header, &pixels, &bytes, &tag);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(tag, 0x1122334455667788ull);
  EXPECT_EQ(bytes, 16u * 16 * 4);
  const std::vector<uint8_t> before(pixels, pixels + bytes);
  std::atomic<bool> rendered{false};
  std::thread other([&] {
    uint32_t w, h;
    Dll().ViewerRenderMJPEGSample(viewer, vv::test::kSampleProgressive420.data,
                                  vv::test::kSampleProgressive420.size, 0, 2, &w, &h);
    rendered = true;
  });
  Sleep(150);
  EXPECT_FALSE(rendered.load()) << "a sample rendered while the snapshot was lent";
  EXPECT_EQ(std::memcmp(before.data(), pixels, bytes), 0);
  EXPECT_NE(Dll().ViewerUnlockSnapshot(viewer), 0);
  other.join();
  EXPECT_TRUE(rendered.load());
}

TEST_F(Render, NewSizeForgetsTheSourceRectangle) {
  RenderDec1(viewer, vv::test::kSampleBaseline420, 1);
  Dll().ViewerSetVideoSource(viewer, 2, 2, 8, 8);
  RenderDec1(viewer, vv::test::kSampleBaseline420, 2);
  EXPECT_EQ(viewer->sourceWidth, 8) << "same size: kept";
  // The same sample with a frame header that says 8 lines: another size.
  std::vector<uint8_t> shorter = vv::test::kSampleBaseline420.bytes();
  for (size_t i = 0; i + 6 < shorter.size(); ++i) {
    if (shorter[i] == 0xFF && shorter[i + 1] == 0xC0) {
      shorter[i + 5] = 0;  // height, high byte
      shorter[i + 6] = 8;  // height, low byte
      break;
    }
  }
  uint32_t width = 0, height = 0;
  Dll().ViewerRenderMJPEGSample(viewer, shorter.data(), static_cast<uint32_t>(shorter.size()), 0, 3,
                                &width, &height);
  EXPECT_EQ(height, 8u);
  EXPECT_EQ(viewer->sourceWidth, 0);
  EXPECT_EQ(viewer->sourceX, 0);
}

}  // namespace
