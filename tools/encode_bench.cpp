#include "encode_bench.h"

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "image_files.h"
#include "jpeg/encoder.h"
#include "jpeg/streams.h"

namespace vv {
namespace {

using Clock = BenchClock;

constexpr int kWarmupRuns = 2;
constexpr int kDefaultRuns = 15;

bool EndsWith(const char* text, const char* suffix) {
  const size_t n = std::strlen(text), m = std::strlen(suffix);
  return n >= m && std::strcmp(text + n - m, suffix) == 0;
}

// The picture as blue-green-red rows, the form capture hands the encoder.
bool LoadBgr(const char* path, std::vector<uint8_t>* bgr, int32_t* width, int32_t* height) {
  LoadedImage image;
  const bool loaded = EndsWith(path, ".bmp") || EndsWith(path, ".BMP") ? ReadBmp(path, &image)
                                                                       : ReadPnm(path, &image);
  if (!loaded) return false;
  const size_t pixels = static_cast<size_t>(image.width) * image.height;
  bgr->resize(pixels * 3);
  const bool gray = image.layout == PixelLayout::kGray;
  for (size_t i = 0; i < pixels; ++i) {
    const uint8_t* in = &image.pixels[gray ? i : 3 * i];
    (*bgr)[3 * i + 0] = gray ? in[0] : in[2];
    (*bgr)[3 * i + 1] = gray ? in[0] : in[1];
    (*bgr)[3 * i + 2] = in[0];
  }
  *width = image.width;
  *height = image.height;
  return true;
}

// One capture-style encoding into the caller's fixed buffer; the JPEG size,
// or a negative status.
int64_t EncodeOurs(CJPEGEncoder* encoder, const std::vector<uint8_t>& bgr, int32_t width,
                   int32_t height, uint32_t quality, std::vector<uint8_t>* out) {
  CMemBuffOutput stream(out->data(), static_cast<int32_t>(out->size()));
  encoder->Reset();
  encoder->srcData = bgr.data();
  encoder->width = width;
  encoder->height = height;
  encoder->srcStep = width * 3;
  encoder->srcPrecision = 8;
  encoder->srcChannels = 3;
  encoder->srcColor = 3;
  int32_t status = encoder->SetParams(quality);
  if (status != 0) return status;
  encoder->bitOutput.stream = &stream;
  encoder->bitOutput.Release();
  status = encoder->WriteHeader();
  if (status == 0) status = encoder->WriteData();
  return status != 0 ? status : stream.position;
}

}  // namespace

int RunEncodeBench(int argc, char** argv) {
  int runs = kDefaultRuns;
  int quality = 75;
  int first = 0;
  bool unknownOption = false;
  while (first < argc && std::strncmp(argv[first], "--", 2) == 0) {
    if (first + 1 < argc && std::strcmp(argv[first], "--runs") == 0) {
      runs = std::atoi(argv[first + 1]);
    } else if (first + 1 < argc && std::strcmp(argv[first], "--quality") == 0) {
      quality = std::atoi(argv[first + 1]);
    } else {
      unknownOption = true;  // --level, for one, goes before --encode
      break;
    }
    first += 2;
  }
  if (unknownOption || first >= argc || runs < 1 || quality < 0 || quality > 100) {
    std::fputs("usage: vvbench [--level L] --encode [--quality Q] [--runs N] PICTURE.(ppm|bmp)...\n", stderr);
    return 2;
  }
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) {
    std::fprintf(stderr, "vvbench: libjpeg-turbo: %s\n", tjGetErrorStr());
    return 1;
  }
  std::unique_ptr<CJPEGEncoder> encoder(new CJPEGEncoder());
  std::vector<uint8_t> ourOut, theirOut;
  double logRatioSum = 0;
  int ratioCount = 0, failures = 0;

  std::printf("%-36s %10s %16s %8s\n", "file", "ours_ms", "libjpeg-turbo_ms", "ratio");
  for (int i = first; i < argc; ++i) {
    const char* slash = std::strrchr(argv[i], '/');
    const char* name = slash != nullptr ? slash + 1 : argv[i];
    std::vector<uint8_t> bgr;
    int32_t width = 0, height = 0;
    if (!LoadBgr(argv[i], &bgr, &width, &height)) {
      std::printf("%-36s cannot read\n", name);
      ++failures;
      continue;
    }
    // Both write into buffers sized once for the worst case and kept.
    const size_t worst = tjBufSize(width, height, TJSAMP_422);
    if (ourOut.size() < worst) ourOut.resize(worst);
    if (theirOut.size() < worst) theirOut.resize(worst);
    int64_t ourSize = 0;
    unsigned long theirSize = 0;
    bool theirsOk = true;
    std::vector<double> ours, theirs;
    for (int run = 0; run < kWarmupRuns + runs; ++run) {
      if (ourSize >= 0) {
        const Clock::time_point start = Clock::now();
        ourSize = EncodeOurs(encoder.get(), bgr, width, height, static_cast<uint32_t>(quality),
                             &ourOut);
        if (run >= kWarmupRuns) ours.push_back(MillisecondsSince(start));
      }
      if (theirsOk) {
        unsigned char* destination = theirOut.data();
        theirSize = theirOut.size();
        const Clock::time_point start = Clock::now();
        // Quality 0 of ours keeps the standard tables, which is their 50.
        theirsOk = tjCompress2(handle, bgr.data(), width, width * 3, height, TJPF_BGR,
                               &destination, &theirSize, TJSAMP_422, quality == 0 ? 50 : quality,
                               TJFLAG_NOREALLOC) == 0;
        if (run >= kWarmupRuns) theirs.push_back(MillisecondsSince(start));
      }
    }
    char ourText[64], theirText[64], ratioText[32] = "-";
    if (ourSize >= 0) {
      std::snprintf(ourText, sizeof ourText, "%.3f", Median(ours));
    } else {
      std::snprintf(ourText, sizeof ourText, "error %d", static_cast<int>(ourSize));
      ++failures;
    }
    if (theirsOk) {
      std::snprintf(theirText, sizeof theirText, "%.3f", Median(theirs));
    } else {
      std::snprintf(theirText, sizeof theirText, "error");
      ++failures;
    }
    if (ourSize >= 0 && theirsOk) {
      const double ratio = Median(theirs) / Median(ours);
      logRatioSum += std::log(ratio);
      ++ratioCount;
      std::snprintf(ratioText, sizeof ratioText, "%.3f", ratio);
    }
    std::printf("%-36s %10s %16s %8s\n", name, ourText, theirText, ratioText);
    std::fflush(stdout);
  }
  if (ratioCount > 0) {
    std::printf("geomean ratio %.3f\n", std::exp(logRatioSum / ratioCount));
  } else {
    std::printf("geomean ratio - (no picture encoded by both)\n");
  }
  tjDestroy(handle);
  return failures == 0 ? 0 : 1;
}

}  // namespace vv
