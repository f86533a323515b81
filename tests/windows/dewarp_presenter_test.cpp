// The dewarp presenter's life through the real DLL on Direct3D 9 under
// Wine: when it presents and repaints, that detach and close release every
// Direct3D object (counted with the objects' own reference counts) so that
// the viewer draws through DrawDib again, and set-ups that cannot work.
#include <gtest/gtest.h>

#include <d3dx9shader.h>

#include <cstring>
#include <vector>

#include "api/viewer_record.h"
#include "render/dewarp_renderer.h"
#include "viewer_dll.h"

namespace {

const float kProfile[3] = {0.0f, 0.0f, 0.6366f};

const std::vector<uint8_t>& Sample() {
  static const std::vector<uint8_t> jpeg = EncodeLosslessJpeg(PatternPicture(16, 16));
  return jpeg;
}

void RenderSample(ViewerRecord* viewer, uint64_t tag = 1) {
  uint32_t width = 0, height = 0;
  Dll().ViewerRenderMJPEGSample(viewer, Sample().data(), uint32_t(Sample().size()), 0, tag, &width,
                                &height);
}

// A viewer on its own window with a renderer attached and described, before
// its first frame.
class DewarpViewer {
 public:
  explicit DewarpViewer(bool presentIntoWindow = true, uint32_t composition = 1)
      : window_(160, 120) {
    viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, window_.handle());
    Attach(presentIntoWindow, composition);
  }
  ~DewarpViewer() {
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
  void Attach(bool presentIntoWindow = true, uint32_t composition = 1) {
    Dll().ViewerAttachDewarpRenderer(viewer, presentIntoWindow ? window_.handle() : nullptr);
    Dll().ViewerSetupDewarpEffect(viewer, kProfile, 2, 64);
    Dll().ViewerSetupDewarpComposition(viewer, composition);
  }
  HWND window() const { return window_.handle(); }
  ViewerRecord* viewer = nullptr;

 private:
  TestWindow window_;
};

TEST(DewarpPresenter, PresentsAndRepaintsOnlyWithAWindowAfterTheFirstFrame) {
  for (bool intoWindow : {true, false}) {
    DewarpViewer v(intoWindow);
    EXPECT_EQ(Dll().ViewerRepaintVideo(v.viewer), -1);
    RenderSample(v.viewer);
    ASSERT_EQ(v.viewer->dewarpRenderer->state, 1);
    EXPECT_EQ(v.viewer->dewarpRenderer->presented, intoWindow ? 1u : 0u);
    EXPECT_EQ(Dll().ViewerRepaintVideo(v.viewer), intoWindow ? 0 : -1);
    BITMAPINFOHEADER* header = nullptr;
    Dll().ViewerLockSnapshot(v.viewer, &header, nullptr, nullptr, nullptr);
    EXPECT_EQ(header != nullptr, intoWindow);
    if (header != nullptr) Dll().ViewerUnlockSnapshot(v.viewer);
    RenderSample(v.viewer);  // the lock was not kept
  }
}

TEST(DewarpPresenter, DetachAndCloseReleaseEveryDirect3DObject) {
  struct Case {
    const char* name;
    uint32_t composition;
    bool close;
  };
  const Case cases[] = {{"detach, quad view", 4, false},
                        {"close, single view", 1, true}};
  DewarpViewer v(true, cases[0].composition);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (v.viewer->dewarpRenderer == nullptr) v.Attach(true, c.composition);
    RenderSample(v.viewer);
    ASSERT_NE(v.viewer->dewarpRenderer, nullptr);
    ASSERT_EQ(v.viewer->dewarpRenderer->state, 1);
    // Textures, buffers and shaders hold the device, the device holds
    // Direct3D: a leak of one of them keeps those two alive. The D3DX
    // constant tables hold nothing and are counted themselves. Released in
    // this order, each must then go.
    const vv::DewarpRenderer& r = *v.viewer->dewarpRenderer;
    std::vector<IUnknown*> held;
    for (const vv::DewarpView* view : {r.singleView, r.activePanorama, r.quadViews[0], r.quadViews[3]}) {
      if (view != nullptr && view->constantTable != nullptr) held.push_back(view->constantTable);
    }
    EXPECT_GE(held.size(), 1u);
    held.push_back(r.device);
    held.push_back(r.direct3d);
    for (IUnknown* object : held) object->AddRef();
    if (c.close) {
      Dll().ViewerClose(v.viewer);
    } else {
      Dll().ViewerDetachDewarpRenderer(v.viewer);
    }
    EXPECT_EQ(v.viewer->dewarpRenderer, nullptr);
    for (IUnknown* object : held) EXPECT_EQ(object->Release(), 0u);
  }
}

TEST(DewarpPresenter, AfterDetachTheViewerDrawsThroughDrawDibAgain) {
  DewarpViewer v;
  RenderSample(v.viewer);
  ASSERT_EQ(v.viewer->dewarpRenderer->presented, 1u);
  Dll().ViewerDetachDewarpRenderer(v.viewer);
  Dll().ViewerSetVideoDestination(v.viewer, 0, 0, 16, 16);
  LetWindowSettle();
  uint32_t width = 0, height = 0, bytes = 0;
  uint8_t* pixels = nullptr;
  Dll().ViewerRenderMJPEGSampleDec2(v.viewer, Sample().data(), uint32_t(Sample().size()), 0, 2,
                                    &width, &height, &pixels, &bytes);
  ASSERT_NE(pixels, nullptr);
  // The window's pixels: DrawDib's picture, pixel for pixel.
  const std::vector<uint8_t> shown = ReadClient(v.window(), 16, 16);
  int differing = 0;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      differing += std::memcmp(&shown[(y * 16 + x) * 4], pixels + ((15 - y) * 16 + x) * 4, 3) != 0;
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST(DewarpPresenter, OddSetUpsNeverLendMoreThanTheHeaderDescribes) {
  struct Case {
    const char* name;
    bool describe;  // call the set-up export before the first frame
    int32_t width, aspectMode;
    int frameWidth, frameHeight;
    bool lent;
  };
  const Case cases[] = {
      {"4:3 band of 48 rows over a 21-row back buffer", true, 64, 1, 48, 16, false},
      {"no set-up: width 0, effect 0, zero lens", false, 0, 0, 48, 16, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestWindow window(160, 120);
    ViewerRecord* viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, window.handle());
    Dll().ViewerAttachDewarpRenderer(viewer, window.handle());
    if (c.describe) Dll().ViewerSetupDewarpEffect2(viewer, kProfile, 1, c.width, c.aspectMode);
    const std::vector<uint8_t> jpeg =
        EncodeLosslessJpeg(PatternPicture(c.frameWidth, c.frameHeight), true);
    uint32_t w = 0, h = 0;
    for (uint64_t tag : {1, 2}) {
      Dll().ViewerRenderMJPEGSample(viewer, jpeg.data(), uint32_t(jpeg.size()), 0, tag, &w, &h);
    }
    Dll().ViewerRepaintVideo(viewer);  // whatever the platform makes of it
    BITMAPINFOHEADER* header = nullptr;
    uint32_t bytes = 0;
    Dll().ViewerLockSnapshot(viewer, &header, nullptr, &bytes, nullptr);
    EXPECT_EQ(header != nullptr, c.lent) << "a copy the header cannot describe is refused";
    if (header != nullptr) Dll().ViewerUnlockSnapshot(viewer);
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
}

}  // namespace
