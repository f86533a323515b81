// Create, open, close and dispose on a real window, and what a viewer that is not open answers.
#include <gtest/gtest.h>

#include "render/dewarp_renderer.h"
#include "viewer_dll.h"

namespace {

TEST(Lifecycle, OpenCloseAndReopenOnAWindow) {
  EXPECT_TRUE(Dll().missing.empty()) << "exports not found by name: " << Dll().missing.size();
  Dll().DisposeViewer(nullptr);
  ViewerRecord* viewer = Dll().CreateViewer();
  ASSERT_NE(viewer, nullptr);
  ASSERT_NE(viewer->lock, nullptr);
  EXPECT_EQ(WaitForSingleObject(viewer->lock, 0), WAIT_OBJECT_0) << "created signalled";
  SetEvent(viewer->lock);

  TestWindow window(320, 240);
  Dll().ViewerOpen(viewer, window.handle());
  ASSERT_NE(viewer->windowDc, nullptr);
  EXPECT_EQ(GetStretchBltMode(viewer->windowDc), COLORONCOLOR) << "Wine draws HALFTONE alike";
  Dll().ViewerSetVideoDestination(viewer, 50, 50, 320, 240);
  Dll().ViewerSetVideoSource(viewer, 10, 20, 30, 40);
  Dll().ViewerAttachDewarpRenderer(viewer, window.handle());
  ASSERT_NE(viewer->dewarpRenderer, nullptr);
  viewer->hasPicture = 1;  // as if a sample had decoded

  Dll().ViewerClose(viewer);  // what it releases is counted by the capture and presenter tests
  EXPECT_EQ(viewer->dewarpRenderer, nullptr);
  Dll().ViewerClose(viewer);  // a second close finds nothing more

  // A reopen keeps the destination and forgets the source and the picture.
  Dll().ViewerOpen(viewer, window.handle());
  EXPECT_EQ(viewer->destWidth, 320);
  EXPECT_EQ(viewer->sourceWidth, 0);
  EXPECT_EQ(viewer->hasPicture, 0u);
  EXPECT_EQ(Snapshot(viewer).width, 0);
  Dll().ViewerClose(viewer);
  Dll().DisposeViewer(viewer);
}

// No picture, -1 where an export returns a status, outputs left alone, the lock free again.
TEST(Lifecycle, ViewerWithoutWindowOrNotOpenShowsNothing) {
  static const uint8_t notJpeg[4] = {1, 2, 3, 4};
  for (bool open : {false, true}) {
    SCOPED_TRACE(open ? "open without a window" : "not open");
    ViewerRecord* viewer = Dll().CreateViewer();
    if (open) Dll().ViewerOpen(viewer, nullptr);
    uint32_t width = 9, height = 9, bytes = 0xDEAD;
    uint8_t* pixels = nullptr;
    Dll().ViewerRenderMJPEGSampleDec2(viewer, notJpeg, 4, 0, 7, &width, &height, &pixels, &bytes);
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(bytes, 0xDEADu);
    EXPECT_EQ(Dll().ViewerRepaintVideo(viewer), -1);
    uint8_t* data = nullptr;
    bytes = 0xBEEF;
    EXPECT_EQ(Dll().ViewerCapture(viewer, 75, &data, &bytes), -1);
    Dll().ViewerOpenCapture(viewer, &width, &height);
    Dll().ViewerCloseCapture(viewer);
    EXPECT_EQ(Dll().ViewerCapture2(viewer, 75, &width, &height, &data, &bytes), -1);
    EXPECT_EQ(bytes, 0xBEEFu);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(WaitForSingleObject(viewer->lock, 0), WAIT_OBJECT_0) << "lock released";
    SetEvent(viewer->lock);
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
}

}  // namespace
