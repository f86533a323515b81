// Per-frame cost of decode + dewarp + present against decode alone, on a
// JPEG named by VV_DEWARP_BENCH_JPEG (e.g. a 1920x1080 frame). Disabled in
// normal runs; run with --gtest_also_run_disabled_tests. Prints figures and
// ratios, asserts nothing about time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "api/viewer_record.h"
#include "render/dewarp_renderer.h"
#include "viewer_dll.h"

namespace {

std::vector<uint8_t> ReadFile(const char* path) {
  std::vector<uint8_t> bytes;
  FILE* file = path != nullptr ? std::fopen(path, "rb") : nullptr;
  if (file == nullptr) return bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  std::fclose(file);
  return bytes;
}

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

// Milliseconds a frame over `frames` samples after two warm-up samples; the
// snapshot at the end waits for the device to finish the last frame.
double MsPerFrame(ViewerRecord* viewer, const std::vector<uint8_t>& jpeg, int frames) {
  uint32_t width = 0, height = 0;
  auto render = [&] {
    Dll().ViewerRenderMJPEGSample(viewer, jpeg.data(), uint32_t(jpeg.size()), 0, 0, &width,
                                  &height);
  };
  render();
  render();
  const double start = Seconds();
  for (int i = 0; i < frames; ++i) render();
  BITMAPINFOHEADER* header = nullptr;
  Dll().ViewerLockSnapshot(viewer, &header, nullptr, nullptr, nullptr);
  if (header != nullptr) Dll().ViewerUnlockSnapshot(viewer);
  return (Seconds() - start) * 1000.0 / frames;
}

TEST(DewarpBenchmark, DISABLED_DecodeDewarpPresent) {
  const std::vector<uint8_t> jpeg = ReadFile(std::getenv("VV_DEWARP_BENCH_JPEG"));
  if (jpeg.empty()) GTEST_SKIP() << "set VV_DEWARP_BENCH_JPEG to a JPEG file";
  const int frames = 30;
  const float profile[3] = {0.0f, 0.0f, 0.3183f};  // a frame-tall circle
  TestWindow window(1280, 720);

  ViewerRecord* decodeOnly = Dll().CreateViewer();
  Dll().ViewerOpen(decodeOnly, nullptr);
  const double decode = MsPerFrame(decodeOnly, jpeg, frames);
  Dll().ViewerClose(decodeOnly);
  Dll().DisposeViewer(decodeOnly);
  std::printf("decode only: %.1f ms/frame\n", decode);

  struct Case {
    const char* name;
    uint32_t composition, effect;
    int32_t width;
  };
  const Case cases[] = {{"single view 64", 1, 2, 64}, {"single view 1280", 1, 2, 1280},
                        {"quad view 2x640", 4, 2, 640},
                        {"ceiling panorama 2x640", 2, 2, 640}};
  for (const Case& c : cases) {
    ViewerRecord* viewer = Dll().CreateViewer();
    Dll().ViewerOpen(viewer, window.handle());
    Dll().ViewerAttachDewarpRenderer(viewer, window.handle());
    Dll().ViewerSetupDewarpEffect(viewer, profile, c.effect, c.width);
    Dll().ViewerSetupDewarpComposition(viewer, c.composition);
    const double total = MsPerFrame(viewer, jpeg, frames);
    std::printf("decode + dewarp + present, %s: %.1f ms/frame (%.2f x decode, +%.1f ms)\n", c.name,
                total, total / decode, total - decode);
    std::fflush(stdout);
    EXPECT_EQ(viewer->dewarpRenderer->state, 1);
    Dll().ViewerClose(viewer);
    Dll().DisposeViewer(viewer);
  }
}

}  // namespace
