// The viewer lock: an auto-reset event without owner. Exports that take it
// wait while another thread holds it; the others do not.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "api/viewer_record.h"
#include "viewer_dll.h"

namespace {

constexpr DWORD kStillBlockedMs = 150;
constexpr DWORD kMustFinishMs = 5000;

// Runs `call` on its own thread; tells whether it has returned.
class CallOnThread {
 public:
  explicit CallOnThread(std::function<void()> call)
      : thread_([this, call] {
          call();
          done_.store(true);
        }) {}
  ~CallOnThread() { thread_.join(); }
  bool FinishesWithin(DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 5) {
      if (done_.load()) return true;
      Sleep(5);
    }
    return done_.load();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

struct LockCase {
  const char* name;
  bool takesLock;
  std::function<void(ViewerRecord*)> call;
};

const uint8_t kSample[2] = {0xFF, 0xD8};

std::vector<LockCase> Cases() {
  const ViewerDll& d = Dll();
  uint32_t* none = nullptr;
  return {
      {"RenderMJPEGSample", true,
       [&d, none](ViewerRecord* v) { d.ViewerRenderMJPEGSample(v, kSample, 2, 0, 1, none, none); }},
      {"RenderMJPEGSampleEx", true,
       [&d, none](ViewerRecord* v) {
         d.ViewerRenderMJPEGSampleEx(v, kSample, 2, 0, 1, 0, 0, none, none);
       }},
      {"RenderMJPEGSampleDec1", true,
       [&d, none](ViewerRecord* v) {
         d.ViewerRenderMJPEGSampleDec1(v, kSample, 2, 0, 1, none, none, nullptr, nullptr, none);
       }},
      {"RenderMJPEGSampleDec2", true,
       [&d, none](ViewerRecord* v) {
         d.ViewerRenderMJPEGSampleDec2(v, kSample, 2, 0, 1, none, none, nullptr, none);
       }},
      {"RenderMJPEGSampleDec1Flip", true,
       [&d, none](ViewerRecord* v) {
         d.ViewerRenderMJPEGSampleDec1Flip(v, kSample, 2, 0, 1, none, none, nullptr, nullptr,
                                           none, 0);
       }},
      {"RenderMJPEGSampleDec2Flip", true,
       [&d, none](ViewerRecord* v) {
         d.ViewerRenderMJPEGSampleDec2Flip(v, kSample, 2, 0, 1, none, none, nullptr, none, 1);
       }},
      {"SetVideoSource", true, [&d](ViewerRecord* v) { d.ViewerSetVideoSource(v, 0, 0, 1, 1); }},
      {"SetVideoDestination", true,
       [&d](ViewerRecord* v) { d.ViewerSetVideoDestination(v, 0, 0, 1, 1); }},
      {"RepaintVideo", true, [&d](ViewerRecord* v) { d.ViewerRepaintVideo(v); }},
      {"LockSnapshot", true,
       [&d](ViewerRecord* v) { d.ViewerLockSnapshot(v, nullptr, nullptr, nullptr, nullptr); }},
      {"AttachDewarpRenderer (none attached)", true,
       [&d](ViewerRecord* v) { d.ViewerAttachDewarpRenderer(v, nullptr); }},
      {"DetachDewarpRenderer", true, [&d](ViewerRecord* v) { d.ViewerDetachDewarpRenderer(v); }},
      {"SetDewarpPosition", true,
       [&d](ViewerRecord* v) { d.ViewerSetDewarpPosition(v, 1.0f, 0.0f, 0.0f); }},
      {"SetupDewarpEffect", false,
       [&d](ViewerRecord* v) {
         const float profile[3] = {0.0f, 0.0f, 0.3f};
         d.ViewerSetupDewarpEffect(v, profile, 1, 640);
       }},
      {"SetupDewarpEffect2", false,
       [&d](ViewerRecord* v) {
         const float profile[3] = {0.0f, 0.0f, 0.3f};
         d.ViewerSetupDewarpEffect2(v, profile, 2, 640, 1);
       }},
      {"SetupDewarpComposition", false,
       [&d](ViewerRecord* v) { d.ViewerSetupDewarpComposition(v, 4); }},
      {"SetInitialDewarpPosition", false,
       [&d](ViewerRecord* v) { d.ViewerSetInitialDewarpPosition(v, 1.0f, 2.0f, 3.0f); }},
      {"GetDewarpPosition", false,
       [&d](ViewerRecord* v) {
         float p, t, z;
         d.ViewerGetDewarpPosition(v, &p, &t, &z);
       }},
      {"OpenAndClose", false,
       [&d](ViewerRecord* v) {
         d.ViewerOpen(v, nullptr);
         d.ViewerClose(v);
       }},
      {"Capture exports", false,
       [&d](ViewerRecord* v) {
         uint32_t w, h;
         uint8_t* data;
         d.ViewerOpenCapture(v, &w, &h);
         d.ViewerCapture(v, 50, &data, &w);
         d.ViewerCapture2(v, 50, &w, &h, &data, &w);
         d.ViewerCloseCapture(v);
         d.ViewerOpenCapture2(v, nullptr, 0, 0);
         d.ViewerCloseCapture(v);
       }},
  };
}

TEST(ViewerLock, EveryExportHonoursTheLockTable) {
  for (const LockCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    ViewerRecord* viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, nullptr);
    ASSERT_EQ(WaitForSingleObject(viewer->lock, INFINITE), WAIT_OBJECT_0);  // held by the test
    {
      CallOnThread call([&] { c.call(viewer); });
      if (c.takesLock) {
        EXPECT_FALSE(call.FinishesWithin(kStillBlockedMs)) << "returned while the lock was held";
        SetEvent(viewer->lock);  // released from this thread, taken on the other
        EXPECT_TRUE(call.FinishesWithin(kMustFinishMs));
      } else {
        EXPECT_TRUE(call.FinishesWithin(kMustFinishMs)) << "waited for the lock";
        SetEvent(viewer->lock);
      }
    }
    // Every export leaves the lock free again.
    EXPECT_EQ(WaitForSingleObject(viewer->lock, kMustFinishMs), WAIT_OBJECT_0);
    SetEvent(viewer->lock);
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
}

TEST(ViewerLock, IsNotReentrant) {
  ViewerRecord* viewer = Dll().CreateViewer();
  EXPECT_EQ(WaitForSingleObject(viewer->lock, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(viewer->lock, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  SetEvent(viewer->lock);
  Dll().DisposeViewer(viewer);
}

TEST(ViewerLock, AttachWithRendererPresentDoesNotWait) {
  ViewerRecord* viewer = Dll().CreateViewer();
  Dll().ViewerAttachDewarpRenderer(viewer, nullptr);
  ASSERT_NE(viewer->dewarpRenderer, nullptr);
  WaitForSingleObject(viewer->lock, INFINITE);
  {
    CallOnThread call([&] { Dll().ViewerAttachDewarpRenderer(viewer, nullptr); });
    EXPECT_TRUE(call.FinishesWithin(kMustFinishMs));
  }
  SetEvent(viewer->lock);
  Dll().ViewerDetachDewarpRenderer(viewer);
  Dll().DisposeViewer(viewer);
}

TEST(ViewerLock, UnlockSnapshotReleasesFromAnotherThread) {
  ViewerRecord* viewer = Dll().CreateViewer();
  WaitForSingleObject(viewer->lock, INFINITE);  // as a lent snapshot holds it
  {
    CallOnThread waiter([&] { Dll().ViewerSetVideoDestination(viewer, 0, 0, 64, 48); });
    EXPECT_FALSE(waiter.FinishesWithin(kStillBlockedMs));
    int32_t status = 0;
    std::thread([&] { status = Dll().ViewerUnlockSnapshot(viewer); }).join();
    EXPECT_NE(status, 0);
    EXPECT_TRUE(waiter.FinishesWithin(kMustFinishMs));
  }
  EXPECT_EQ(viewer->destWidth, 64);
  Dll().DisposeViewer(viewer);
}

TEST(ViewerLock, ViewersDoNotShareALock) {
  ViewerRecord* a = Dll().CreateViewer();
  ViewerRecord* b = Dll().CreateViewer();
  WaitForSingleObject(a->lock, INFINITE);
  {
    CallOnThread call([&] { Dll().ViewerSetVideoDestination(b, 0, 0, 1, 1); });
    EXPECT_TRUE(call.FinishesWithin(kMustFinishMs));
  }
  SetEvent(a->lock);
  Dll().DisposeViewer(a);
  Dll().DisposeViewer(b);
}

}  // namespace
