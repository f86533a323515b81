// Create, open, close and dispose, on real windows and without one.
#include <gtest/gtest.h>

#include "api/viewer_record.h"
#include "render/dewarp_renderer.h"
#include "viewer_dll.h"

namespace {

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer = Dll().CreateViewer();
    ASSERT_NE(viewer, nullptr);
  }
  void TearDown() override {
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
  // A render call with a sample the viewer cannot show: what is reported.
  void RenderNothing(uint32_t* width, uint32_t* height, uint8_t** pixels) {
    static const uint8_t notJpeg[4] = {1, 2, 3, 4};
    uint32_t bytes = 0xDEAD;
    Dll().ViewerRenderMJPEGSampleDec2(viewer, notJpeg, sizeof notJpeg, 0, 7, width, height,
                                      pixels, &bytes);
    EXPECT_EQ(bytes, 0xDEADu);
  }
  ViewerRecord* viewer = nullptr;
};

TEST_F(Lifecycle, CreatedViewerIsZeroWithSignalledLock) {
  EXPECT_EQ(viewer->window, nullptr);
  EXPECT_EQ(viewer->decoder, nullptr);
  EXPECT_EQ(viewer->frameBits, nullptr);
  EXPECT_EQ(viewer->destWidth, 0);
  EXPECT_EQ(viewer->dewarpRenderer, nullptr);
  ASSERT_NE(viewer->lock, nullptr);
  EXPECT_EQ(WaitForSingleObject(viewer->lock, 0), WAIT_OBJECT_0);
  SetEvent(viewer->lock);
}

TEST_F(Lifecycle, DisposeOfNullReturns) { Dll().DisposeViewer(nullptr); }

TEST_F(Lifecycle, OpenWithoutWindowDecodesOnlyAndHoldsNoContext) {
  Dll().ViewerOpen(viewer, nullptr);
  EXPECT_NE(viewer->decoder, nullptr);
  EXPECT_EQ(viewer->windowDc, nullptr);
  EXPECT_EQ(viewer->drawDib, nullptr);
  uint32_t width = 99, height = 99;
  uint8_t* pixels = nullptr;
  RenderNothing(&width, &height, &pixels);
  EXPECT_EQ(width, 0u);
  EXPECT_EQ(height, 0u);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_EQ(viewer->hasPicture, 0u);
  EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), -1);
}

TEST_F(Lifecycle, OpenOnWindowTakesDcWithColorOnColorAndDrawDib) {
  TestWindow window(320, 240);
  ASSERT_NE(window.handle(), nullptr);
  Dll().ViewerOpen(viewer, window.handle());
  EXPECT_EQ(viewer->window, window.handle());
  ASSERT_NE(viewer->windowDc, nullptr);
  EXPECT_EQ(GetStretchBltMode(viewer->windowDc), COLORONCOLOR);
  EXPECT_NE(viewer->drawDib, nullptr);
  EXPECT_NE(viewer->decoder, nullptr);

  Dll().ViewerClose(viewer);
  EXPECT_EQ(viewer->windowDc, nullptr);
  EXPECT_EQ(viewer->drawDib, nullptr);
  EXPECT_EQ(viewer->decoder, nullptr);
  EXPECT_EQ(viewer->window, window.handle()) << "the window handle survives a close";
}

TEST_F(Lifecycle, SecondCloseFindsNothingMore) {
  TestWindow window(160, 120);
  Dll().ViewerOpen(viewer, window.handle());
  Dll().ViewerClose(viewer);
  Dll().ViewerClose(viewer);
  EXPECT_EQ(viewer->decoder, nullptr);
  EXPECT_EQ(viewer->windowDc, nullptr);
  EXPECT_EQ(viewer->frameWidth, 0u);
}

TEST_F(Lifecycle, ReopenKeepsDestinationAndForgetsSourceAndPicture) {
  TestWindow window(320, 240);
  Dll().ViewerOpen(viewer, window.handle());
  Dll().ViewerSetVideoDestination(viewer, 50, 50, 320, 240);
  Dll().ViewerSetVideoSource(viewer, 10, 20, 30, 40);
  Dll().ViewerSetInitialDewarpPosition(viewer, 1.0f, 2.0f, 3.0f);
  viewer->hasPicture = 1;  // as if a sample had decoded
  viewer->sampleTag = 42;
  Dll().ViewerClose(viewer);
  Dll().ViewerOpen(viewer, window.handle());
  EXPECT_EQ(viewer->destWidth, 320);
  EXPECT_EQ(viewer->destHeight, 240);
  EXPECT_EQ(viewer->sourceX, 0);
  EXPECT_EQ(viewer->sourceY, 0);
  EXPECT_EQ(viewer->sourceWidth, 0);
  EXPECT_EQ(viewer->sourceHeight, 0);
  EXPECT_EQ(viewer->hasPicture, 0u);
  EXPECT_EQ(viewer->sampleTag, 0u);
  EXPECT_EQ(viewer->initialPositionPending, 1);
  EXPECT_EQ(viewer->initialPosition[2], 3.0f);
  BITMAPINFOHEADER* header = nullptr;
  Dll().ViewerLockSnapshot(viewer, &header, nullptr, nullptr, nullptr);
  EXPECT_EQ(header, nullptr) << "no picture until the next sample decodes";
}

TEST_F(Lifecycle, OpenTwiceReplacesContextsWithoutLeaking) {
  TestWindow first(160, 120), second(160, 120);
  Dll().ViewerOpen(viewer, first.handle());
  Dll().ViewerOpen(viewer, second.handle());
  EXPECT_EQ(viewer->window, second.handle());
  EXPECT_NE(viewer->windowDc, nullptr);
  EXPECT_NE(viewer->decoder, nullptr);
}

TEST_F(Lifecycle, SampleToViewerThatIsNotOpenReportsNoPicture) {
  uint32_t width = 5, height = 5;
  uint8_t* pixels = nullptr;
  RenderNothing(&width, &height, &pixels);
  EXPECT_EQ(width, 0u);
  EXPECT_EQ(height, 0u);
  EXPECT_EQ(pixels, nullptr);
  EXPECT_EQ(WaitForSingleObject(viewer->lock, 0), WAIT_OBJECT_0) << "lock released";
  SetEvent(viewer->lock);
}

TEST_F(Lifecycle, CloseReleasesAnAttachedRenderer) {
  TestWindow window(160, 120);
  Dll().ViewerOpen(viewer, window.handle());
  Dll().ViewerAttachDewarpRenderer(viewer, window.handle());
  ASSERT_NE(viewer->dewarpRenderer, nullptr);
  EXPECT_EQ(viewer->dewarpRenderer->composition, 1u);
  Dll().ViewerClose(viewer);
  EXPECT_EQ(viewer->dewarpRenderer, nullptr);
}

TEST_F(Lifecycle, CaptureWithoutOpenFailsWithoutWriting) {
  uint8_t* data = nullptr;
  uint32_t bytes = 0xBEEF;
  EXPECT_EQ(Dll().ViewerCapture(viewer, 75, &data, &bytes), -1);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(bytes, 0xBEEFu);
  Dll().ViewerCloseCapture(viewer);
}

}  // namespace
