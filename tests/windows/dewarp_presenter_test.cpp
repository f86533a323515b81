// The dewarp presenter on Direct3D 9: when it presents, that detach and close release
// every Direct3D object, and set-ups that cannot work.
#include <gtest/gtest.h>

#include <d3dx9shader.h>

#include "render/dewarp_renderer.h"
#include "viewer_dll.h"

namespace {

const float kProfile[3] = {0.0f, 0.0f, 0.6366f};

void RenderSample(ViewerRecord* viewer, uint64_t tag = 1) {
  static const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(PatternPicture(16, 16));
  uint32_t width = 0, height = 0;
  Dll().ViewerRenderMJPEGSample(viewer, jpeg.data(), uint32_t(jpeg.size()), 0, tag, &width, &height);
}

// A viewer on its own window with a renderer attached, before its first frame.
struct DewarpViewer {
  explicit DewarpViewer(bool presentIntoWindow = true, uint32_t composition = 1) {
    Dll().ViewerAttachDewarpRenderer(viewer, presentIntoWindow ? window.handle() : nullptr);
    Dll().ViewerSetupDewarpEffect(viewer, kProfile, 2, 64);
    Dll().ViewerSetupDewarpComposition(viewer, composition);
  }
  TestWindow window{160, 120};
  OpenViewer open{window.handle()};
  ViewerRecord* const viewer = open.viewer;
};

TEST(DewarpPresenter, PresentsAndRepaintsOnlyWithAWindowAndDrawDibAfterDetach) {
  for (bool intoWindow : {true, false}) {
    DewarpViewer v(intoWindow);
    EXPECT_EQ(Dll().ViewerRepaintVideo(v.viewer), -1);
    RenderSample(v.viewer);
    ASSERT_EQ(v.viewer->dewarpRenderer->state, 1);
    EXPECT_EQ(v.viewer->dewarpRenderer->presented, intoWindow ? 1u : 0u);
    EXPECT_EQ(Dll().ViewerRepaintVideo(v.viewer), intoWindow ? 0 : -1);
    EXPECT_EQ(Snapshot(v.viewer).width != 0, intoWindow);
    RenderSample(v.viewer);  // the lock was not kept
    if (!intoWindow) continue;
    // After a detach the viewer draws through DrawDib again.
    Dll().ViewerDetachDewarpRenderer(v.viewer);
    Dll().ViewerSetVideoDestination(v.viewer, 0, 0, 16, 16);
    LetWindowSettle();
    RenderSample(v.viewer, 2);
    const TestPicture lent = Snapshot(v.viewer);
    ASSERT_EQ(lent.width, 16);
    EXPECT_EQ(CountDifferentPixels(lent, {16, 16, ReadClient(v.window.handle(), 16, 16)}, nullptr), 0);
  }
}

TEST(DewarpPresenter, DetachAndCloseReleaseEveryDirect3DObject) {
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "close, single view" : "detach, quad view");
    DewarpViewer v(true, close ? 1 : 4);
    RenderSample(v.viewer);
    ASSERT_EQ(v.viewer->dewarpRenderer->state, 1);
    // Every texture, buffer and shader holds the device, which holds Direct3D;
    // the constant tables hold nothing. Released in this order, each must go.
    const vv::DewarpRenderer& r = *v.viewer->dewarpRenderer;
    std::vector<IUnknown*> held;
    for (const vv::DewarpView* view : {r.singleView, r.activePanorama, r.quadViews[0], r.quadViews[3]}) {
      if (view != nullptr && view->constantTable != nullptr) held.push_back(view->constantTable);
    }
    EXPECT_GE(held.size(), 1u);
    held.push_back(r.device);
    held.push_back(r.direct3d);
    for (IUnknown* object : held) object->AddRef();
    close ? Dll().ViewerClose(v.viewer) : void(Dll().ViewerDetachDewarpRenderer(v.viewer));
    EXPECT_EQ(v.viewer->dewarpRenderer, nullptr);
    for (IUnknown* object : held) EXPECT_EQ(object->Release(), 0u);
  }
}

// A 4:3 band of 48 rows over a 21-row back buffer, and no set-up at all
// (width 0, effect 0, zero lens): a copy the header cannot describe is refused.
TEST(DewarpPresenter, OddSetUpsNeverLendMoreThanTheHeaderDescribes) {
  const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(PatternPicture(48, 16), true);
  for (bool describe : {true, false}) {
    SCOPED_TRACE(describe);
    DewarpViewer v;
    Dll().ViewerDetachDewarpRenderer(v.viewer);
    Dll().ViewerAttachDewarpRenderer(v.viewer, v.window.handle());
    if (describe) Dll().ViewerSetupDewarpEffect2(v.viewer, kProfile, 1, 64, 1);
    uint32_t w = 0, h = 0;
    for (uint64_t tag : {1, 2}) {
      Dll().ViewerRenderMJPEGSample(v.viewer, jpeg.data(), uint32_t(jpeg.size()), 0, tag, &w, &h);
    }
    Dll().ViewerRepaintVideo(v.viewer);  // whatever the platform makes of it
    EXPECT_EQ(Snapshot(v.viewer).width, 0);
  }
}

}  // namespace
