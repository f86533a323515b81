// The viewer lock: exports that take it wait while another thread holds it,
// the others do not; a viewer used from several threads never lends a torn picture.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "viewer_dll.h"

namespace {

constexpr DWORD kStillBlockedMs = 150;
constexpr DWORD kMustFinishMs = 5000;

bool FinishesWithin(std::future<void>& call, DWORD ms) {
  return call.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

// One row per code path (the six rendering exports share one).
TEST(ViewerLock, EveryExportHonoursTheLockTable) {
  static const ViewerDll& d = Dll();
  static const uint8_t sample[2] = {0xFF, 0xD8};
  static const float lens[3] = {0.0f, 0.0f, 0.3f};
  static uint32_t u;
  static uint8_t* p;
  static BITMAPINFOHEADER* h;
  static float f;
  const struct {
    const char* name;
    bool takesLock;
    void (*call)(ViewerRecord*);
  } cases[] = {
      {"RenderMJPEGSample", true, [](auto v) { d.ViewerRenderMJPEGSample(v, sample, 2, 0, 1, &u, &u); }},
      {"RenderMJPEGSampleDec1Flip", true,
       [](auto v) { d.ViewerRenderMJPEGSampleDec1Flip(v, sample, 2, 0, 1, &u, &u, &h, &p, &u, 0); }},
      {"SetVideoSource", true, [](auto v) { d.ViewerSetVideoSource(v, 0, 0, 1, 1); }},
      {"SetVideoDestination", true, [](auto v) { d.ViewerSetVideoDestination(v, 0, 0, 1, 1); }},
      {"RepaintVideo", true, [](auto v) { d.ViewerRepaintVideo(v); }},
      {"LockSnapshot", true, [](auto v) { d.ViewerLockSnapshot(v, nullptr, nullptr, nullptr, nullptr); }},
      {"AttachDewarpRenderer, none attached", true, [](auto v) { d.ViewerAttachDewarpRenderer(v, nullptr); }},
      {"DetachDewarpRenderer", true, [](auto v) { d.ViewerDetachDewarpRenderer(v); }},
      {"SetDewarpPosition", true, [](auto v) { d.ViewerSetDewarpPosition(v, 1.0f, 0.0f, 0.0f); }},
      {"SetupDewarpEffect", false, [](auto v) { d.ViewerSetupDewarpEffect(v, lens, 1, 640); }},
      {"SetupDewarpEffect2", false, [](auto v) { d.ViewerSetupDewarpEffect2(v, lens, 2, 640, 1); }},
      {"SetupDewarpComposition", false, [](auto v) { d.ViewerSetupDewarpComposition(v, 4); }},
      {"SetInitialDewarpPosition", false, [](auto v) { d.ViewerSetInitialDewarpPosition(v, 1, 2, 3); }},
      {"GetDewarpPosition", false, [](auto v) { d.ViewerGetDewarpPosition(v, &f, &f, &f); }},
      {"OpenAndClose", false, [](auto v) { d.ViewerOpen(v, nullptr), d.ViewerClose(v); }},
      {"Capture exports", false, [](auto v) {
         d.ViewerOpenCapture(v, &u, &u), d.ViewerCapture(v, 50, &p, &u);
         d.ViewerCapture2(v, 50, &u, &u, &p, &u), d.ViewerOpenCapture2(v, nullptr, 0, 0);
         d.ViewerCloseCapture(v);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    OpenViewer open(nullptr);
    ViewerRecord* viewer = open.viewer;
    ASSERT_EQ(WaitForSingleObject(viewer->lock, INFINITE), WAIT_OBJECT_0);  // held by the test
    std::future<void> call = std::async(std::launch::async, [&] { c.call(viewer); });
    if (c.takesLock) {
      EXPECT_FALSE(FinishesWithin(call, kStillBlockedMs)) << "returned while the lock was held";
      SetEvent(viewer->lock);  // released from this thread, taken on the other
    }
    EXPECT_TRUE(FinishesWithin(call, kMustFinishMs));
    if (!c.takesLock) SetEvent(viewer->lock);
    call.wait();
    EXPECT_EQ(WaitForSingleObject(viewer->lock, kMustFinishMs), WAIT_OBJECT_0) << "left free";
    SetEvent(viewer->lock);
  }
}

// Samples, repaints and snapshots on three threads: every snapshot's tag
// names the sample whose whole picture is lent; a deadlock times out.
TEST(ViewerLock, DecodingRepaintingAndSnapshotsTogetherNeverTear) {
  std::vector<uint8_t> jpegs[2];
  TestPicture pictures[2];
  TestWindow window(320, 240);
  OpenViewer open(window.handle());
  ViewerRecord* viewer = open.viewer;
  uint32_t w, h;  // the samples below leave a picture, so every repaint has one
  for (int i = 0; i < 2; ++i) {
    jpegs[i] = EncodeLosslessJpeg(PatternPicture(320, 240, 4 + i));
    Dll().ViewerRenderMJPEGSample(viewer, jpegs[i].data(), uint32_t(jpegs[i].size()), 0, i, &w, &h);
    ASSERT_EQ((pictures[i] = Snapshot(viewer)).width, 320);
  }
  Dll().ViewerSetVideoDestination(viewer, 0, 0, 320, 240);
  constexpr int kFrames = 150;
  std::atomic<bool> decoding{true};
  std::atomic<int> badRepaints{0}, snapshots{0}, torn{0};
  std::thread decoder([&] {
    for (int i = 0; i < kFrames; ++i) {
      Dll().ViewerRenderMJPEGSample(viewer, jpegs[i % 2].data(), uint32_t(jpegs[i % 2].size()),
                                    0, 1000 + i, &w, &h);
    }
    decoding = false;
  });
  std::thread painter([&] {
    while (decoding) badRepaints += Dll().ViewerRepaintVideo(viewer) != 0;
  });
  std::thread snapper([&] {
    while (decoding) {
      BITMAPINFOHEADER* header = nullptr;
      uint8_t* pixels = nullptr;
      uint64_t tag = 0;
      Dll().ViewerLockSnapshot(viewer, &header, &pixels, nullptr, &tag);
      if (header == nullptr) continue;
      torn += CountDifferentPixels(pictures[tag % 2], CopyLentPicture(header, pixels), nullptr) != 0;
      ++snapshots;
      Dll().ViewerUnlockSnapshot(viewer);
    }
  });
  decoder.join();
  painter.join();
  snapper.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(badRepaints.load(), 0) << "every sample decodes, so every repaint has a picture";
  EXPECT_GT(snapshots.load(), 0);
  EXPECT_EQ(viewer->sampleTag, 1000u + kFrames - 1);
}

}  // namespace
