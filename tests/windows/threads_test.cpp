// A viewer used from several threads as a host does: samples on a decoding
// thread, repaints and snapshots on others, several viewers side by side.
// Every lent picture must be whole (the one its tag names), and nothing may
// deadlock (a thread still waiting after two minutes stops the program); the
// run prints its rates.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "api/viewer_record.h"
#include "test_pictures.h"
#include "viewer_dll.h"

namespace {

constexpr DWORD kStillBlockedMs = 150;
constexpr DWORD kDeadlockMs = 120000;

// A thread whose end can be awaited with a time-out (std::thread cannot).
class Worker {
 public:
  explicit Worker(std::function<void()> body) : body_(std::move(body)) {
    handle_ = CreateThread(nullptr, 0, &Worker::Run, this, 0, nullptr);
  }
  // A worker that has not ended by now is deadlocked: nothing can be cleaned
  // up safely, so the program stops with a message instead of hanging.
  ~Worker() {
    if (!FinishesWithin(kDeadlockMs)) {
      std::fprintf(stderr, "deadlock: a thread still waits after %lu ms\n", kDeadlockMs);
      std::fflush(stderr);
      std::abort();
    }
    CloseHandle(handle_);
  }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  bool FinishesWithin(DWORD ms) { return WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Worker*>(self)->body_();
    return 0;
  }
  std::function<void()> body_;
  HANDLE handle_ = nullptr;
};

struct Sample {
  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> bottomUp;  // the picture as the plain exports leave it
};

// A sample and its picture as a separate viewer decodes it, rows bottom-up.
Sample MakeSample(int width, int height, int seed) {
  Sample s;
  s.jpeg = EncodeLosslessJpeg(PatternPicture(width, height, seed));
  ViewerRecord* viewer = Dll().CreateViewer();
  Dll().ViewerOpen(viewer, nullptr);
  uint32_t w, h, bytes = 0;
  uint8_t* pixels = nullptr;
  Dll().ViewerRenderMJPEGSampleDec2(viewer, s.jpeg.data(), static_cast<uint32_t>(s.jpeg.size()), 0,
                                    0, &w, &h, &pixels, &bytes);
  if (pixels != nullptr) s.bottomUp.assign(pixels, pixels + bytes);
  Dll().ViewerClose(viewer);
  Dll().DisposeViewer(viewer);
  return s;
}

uint32_t Render(ViewerRecord* viewer, const Sample& s, uint64_t tag) {
  uint32_t w = 0, h = 0;
  Dll().ViewerRenderMJPEGSample(viewer, s.jpeg.data(), static_cast<uint32_t>(s.jpeg.size()), 0,
                                tag, &w, &h);
  return w;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(ViewerThreads, SnapshotFromOneThreadHoldsRendersUntilAThirdReturnsIt) {
  const Sample a = MakeSample(160, 120, 1), b = MakeSample(160, 120, 2);
  ASSERT_FALSE(a.bottomUp.empty());
  ASSERT_NE(a.bottomUp, b.bottomUp);
  ViewerRecord* viewer = Dll().CreateViewer();
  Dll().ViewerOpen(viewer, nullptr);
  Render(viewer, a, 0x1122334455667788ull);

  BITMAPINFOHEADER* header = nullptr;
  uint8_t* pixels = nullptr;
  uint32_t bytes = 0;
  uint64_t tag = 0;
  Worker([&] { Dll().ViewerLockSnapshot(viewer, &header, &pixels, &bytes, &tag); })
      .FinishesWithin(INFINITE);
  ASSERT_NE(header, nullptr);
  ASSERT_EQ(bytes, a.bottomUp.size());
  EXPECT_EQ(tag, 0x1122334455667788ull) << "all 64 bits of the sample's tag";
  {
    Worker renderer([&] { Render(viewer, b, 2); });
    EXPECT_FALSE(renderer.FinishesWithin(kStillBlockedMs)) << "rendered into a lent snapshot";
    EXPECT_EQ(std::memcmp(pixels, a.bottomUp.data(), bytes), 0) << "lent pixels changed";
    int32_t status = 0;
    Worker([&] { status = Dll().ViewerUnlockSnapshot(viewer); }).FinishesWithin(INFINITE);
    EXPECT_NE(status, 0);
  }
  EXPECT_EQ(viewer->sampleTag, 2u);
  EXPECT_EQ(std::memcmp(viewer->frameBits, b.bottomUp.data(), bytes), 0);
  Dll().ViewerClose(viewer);
  Dll().DisposeViewer(viewer);
}

TEST(ViewerThreads, DecodingRepaintingAndSnapshotsTogetherNeitherTearNorDeadlock) {
  constexpr int kFrames = 300;
  const Sample samples[2] = {MakeSample(320, 240, 4), MakeSample(320, 240, 5)};
  ASSERT_FALSE(samples[0].bottomUp.empty());
  TestWindow window(320, 240);
  ViewerRecord* viewer = Dll().CreateViewer();
  Dll().ViewerOpen(viewer, window.handle());
  Dll().ViewerSetVideoDestination(viewer, 0, 0, 320, 240);

  // The rate of the decoding thread alone, to compare with.
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 50; ++i) Render(viewer, samples[i % 2], i);
  const double aloneRate = 50 / SecondsSince(start);

  std::atomic<bool> decoding{true};
  std::atomic<int> repaints{0}, badRepaints{0}, snapshots{0}, torn{0};
  start = std::chrono::steady_clock::now();
  {
    Worker decoder([&] {
      for (int i = 0; i < kFrames; ++i) Render(viewer, samples[i % 2], 1000 + i);
      decoding = false;
    });
    Worker painter([&] {
      while (decoding) {
        badRepaints += Dll().ViewerRepaintVideo(viewer) != 0;
        ++repaints;
      }
    });
    Worker snapper([&] {
      while (decoding) {
        BITMAPINFOHEADER* header = nullptr;
        uint8_t* pixels = nullptr;
        uint32_t bytes = 0;
        uint64_t tag = 0;
        Dll().ViewerLockSnapshot(viewer, &header, &pixels, &bytes, &tag);
        if (header == nullptr) continue;
        // The tag names the sample whose whole picture must be lent.
        const std::vector<uint8_t>& want = samples[tag % 2].bottomUp;
        torn += bytes != want.size() || std::memcmp(pixels, want.data(), want.size()) != 0;
        ++snapshots;
        Dll().ViewerUnlockSnapshot(viewer);
      }
    });
  }
  const double seconds = SecondsSince(start);
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(badRepaints.load(), 0) << "every sample decodes, so every repaint has a picture";
  EXPECT_GT(snapshots.load(), 0);
  EXPECT_EQ(viewer->sampleTag, 1000u + kFrames - 1);
  std::printf("[ figures  ] 320x240, %d frames with a repaint and a snapshot thread: %.0f frames/s "
              "(%.0f alone, ratio %.2f), %.0f repaints/s, %.0f snapshots/s\n",
              kFrames, kFrames / seconds, aloneRate, kFrames / seconds / aloneRate,
              repaints / seconds, snapshots / seconds);
  std::fflush(stdout);
  Dll().ViewerClose(viewer);
  Dll().DisposeViewer(viewer);
}

TEST(ViewerThreads, ViewersDecodeInParallelEachIntoItsOwnPicture) {
  constexpr int kViewers = 3, kFrames = 60;
  const int sizes[kViewers][2] = {{160, 120}, {200, 96}, {96, 96}};
  std::vector<Sample> samples;
  for (int v = 0; v < kViewers; ++v) samples.push_back(MakeSample(sizes[v][0], sizes[v][1], 10 + v));
  TestWindow windows[kViewers] = {TestWindow(200, 120), TestWindow(200, 120), TestWindow(200, 120)};
  ViewerRecord* viewers[kViewers];
  for (int v = 0; v < kViewers; ++v) {
    viewers[v] = Dll().CreateViewer();
    Dll().ViewerOpen(viewers[v], windows[v].handle());
    Dll().ViewerSetVideoDestination(viewers[v], 0, 0, 200, 120);
  }
  std::atomic<int> wrong{0};
  const auto start = std::chrono::steady_clock::now();
  {
    std::vector<std::unique_ptr<Worker>> workers;
    for (int v = 0; v < kViewers; ++v) {
      workers.emplace_back(new Worker([&, v] {
        const Sample& s = samples[v];
        for (int i = 0; i < kFrames; ++i) {
          uint32_t w, h, bytes = 0;
          uint8_t* pixels = nullptr;
          Dll().ViewerRenderMJPEGSampleDec2(viewers[v], s.jpeg.data(),
                                            static_cast<uint32_t>(s.jpeg.size()), 0, i, &w, &h,
                                            &pixels, &bytes);
          wrong += pixels == nullptr || bytes != s.bottomUp.size() ||
                   std::memcmp(pixels, s.bottomUp.data(), bytes) != 0;
        }
      }));
    }
  }
  const double seconds = SecondsSince(start);
  EXPECT_EQ(wrong.load(), 0);
  std::printf("[ figures  ] %d viewers in parallel: %.0f frames/s together\n", kViewers,
              kViewers * kFrames / seconds);
  std::fflush(stdout);
  for (ViewerRecord* viewer : viewers) {
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
}

}  // namespace
