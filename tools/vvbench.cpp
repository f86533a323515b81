// vvbench: milliseconds per frame of the viewer's decode path against
// libjpeg-turbo on the same files, interleaved in one process with the
// buffers reused, as a Motion-JPEG player decodes.
//   vvbench [--level L] [--runs N] FILE...
//   vvbench [--level L] --encode [--quality Q] [--runs N] PICTURE.(ppm|bmp)...
// The primitives run at the processor level the library picks on this
// machine (printed first), or at level L (0..3) when given.
// One line per file: name, our median, libjpeg-turbo's median and the ratio
// libjpeg-turbo / ours (above 1: we are faster); then the geometric mean of
// the ratios and the peak resident memory. With --encode the pictures are
// compressed instead, as capture does (blue-green-red rows, 4:2:2, quality
// Q, default 75), against libjpeg-turbo's tjCompress2 at the same settings.
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
#include "encode_bench.h"
#include "jpeg/codec_status.h"
#include "jpeg/decoder.h"
#include "jpeg/streams.h"
#include "primitives/processor_level.h"

namespace {

using Clock = vv::BenchClock;
using vv::Median;
using vv::MillisecondsSince;

constexpr int kWarmupRuns = 2;
constexpr int kDefaultRuns = 15;

bool ReadFile(const char* path, std::vector<uint8_t>* bytes) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes->size() + got > 0x7FFFFFFF) break;
    bytes->insert(bytes->end(), chunk, chunk + got);
  }
  const bool ok = !std::ferror(file) && !bytes->empty();
  std::fclose(file);
  return ok;
}

// The viewer's decoding of one frame: the header pass, the geometry, 4-byte
// blue-green-red-alpha output (gray frames 1 byte a pixel), sparse inverse
// transforms for baseline frames, the decoding pass. `pixels` grows to fit
// and is kept for the next frame.
int32_t DecodeOurs(vv::CJPEGDecoder* d, const std::vector<uint8_t>& bytes,
                   std::vector<uint8_t>* pixels) {
  d->ReleaseFrame();
  d->InitFrame();
  vv::CMemBuffInput memory(bytes.data(), static_cast<int32_t>(bytes.size()));
  int32_t status = d->input.Attach(&memory, vv::kBitInputWindowSize);
  if (status == 0) status = d->Decode(0);
  if (status != 0) return status;
  if (d->mode == 0) return vv::CodecNoFrame;
  status = d->SetupGeometry();
  if (status != 0) return status;
  const bool gray = d->componentCount == 1;
  const int32_t channels = gray ? 1 : 4;
  const int32_t step = (d->width * channels + 3) & ~3;
  const size_t bytesNeeded = static_cast<size_t>(step) * d->height;
  if (pixels->size() < bytesNeeded) pixels->resize(bytesNeeded);
  d->dstPlanes[0] = pixels->data();
  d->dstSteps[0] = step;
  d->dstWidth = d->width;
  d->dstHeight = d->height;
  d->dstPrecision = 8;
  d->dstChannels = channels;
  d->dstColor = d->colorSpace == 0 ? 0 : (gray ? 1 : 7);
  d->keep422 = 0;
  d->planarOutput = 0;
  d->scale = 0;
  d->sparseIdct = d->mode == vv::kFrameBaseline ? 1 : 0;
  return d->Decode(1);
}

// libjpeg-turbo's decoding of the same frame into blue-green-red-x (gray
// frames into gray), default flags.
bool DecodeTheirs(tjhandle handle, const std::vector<uint8_t>& bytes,
                  std::vector<uint8_t>* pixels) {
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  unsigned char* data = const_cast<unsigned char*>(bytes.data());
  const unsigned long size = static_cast<unsigned long>(bytes.size());
  if (tjDecompressHeader3(handle, data, size, &width, &height, &subsampling, &colorspace) != 0) {
    return false;
  }
  const bool gray = colorspace == TJCS_GRAY;
  const int format = gray ? TJPF_GRAY : TJPF_BGRX;
  const int pitch = width * tjPixelSize[format];
  const size_t bytesNeeded = static_cast<size_t>(pitch) * height;
  if (pixels->size() < bytesNeeded) pixels->resize(bytesNeeded);
  return tjDecompress2(handle, data, size, pixels->data(), width, pitch, height, format, 0) == 0;
}

// VmHWM of /proc/self/status, or an empty string where it does not exist.
std::string PeakMemory() {
  FILE* file = std::fopen("/proc/self/status", "r");
  if (file == nullptr) return "";
  char line[256];
  std::string result;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    if (std::strncmp(line, "VmHWM:", 6) == 0) {
      const char* value = line + 6;
      while (*value == ' ' || *value == '\t') ++value;
      result = value;
      while (!result.empty() && (result.back() == '\n' || result.back() == ' ')) result.pop_back();
    }
  }
  std::fclose(file);
  return result;
}

const char* BaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace

int main(int argc, char** argv) {
  // The level the library would pick on this machine, or the one asked for.
  vv::SelectProcessorLevel();
  if (argc > 2 && std::strcmp(argv[1], "--level") == 0) {
    const int level = std::atoi(argv[2]);
    if (level < 0 || level >= vv::kProcessorLevelCount) {
      std::fputs("vvbench: --level takes 0..3\n", stderr);
      return 2;
    }
    vv::ForceProcessorLevelForTesting(level);
    argc -= 2;
    argv += 2;
  }
  std::printf("processor level %d\n", static_cast<int>(vv::ProcessorLevel()));
  if (argc > 1 && std::strcmp(argv[1], "--encode") == 0) return vv::RunEncodeBench(argc - 2, argv + 2);
  int runs = kDefaultRuns;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::atoi(argv[2]);
    first = 3;
  }
  if (first >= argc || runs < 1) {
    std::fputs(
        "usage: vvbench [--level L] [--runs N] FILE...\n"
        "       vvbench [--level L] --encode [--quality Q] [--runs N] PICTURE.(ppm|bmp)...\n",
        stderr);
    return 2;
  }
  tjhandle handle = tjInitDecompress();
  if (handle == nullptr) {
    std::fprintf(stderr, "vvbench: libjpeg-turbo: %s\n", tjGetErrorStr());
    return 1;
  }
  std::unique_ptr<vv::CJPEGDecoder> decoder(new vv::CJPEGDecoder());
  std::vector<uint8_t> ourPixels, theirPixels;
  double logRatioSum = 0;
  int ratioCount = 0;
  int failures = 0;

  std::printf("%-36s %10s %16s %8s\n", "file", "ours_ms", "libjpeg-turbo_ms", "ratio");
  for (int i = first; i < argc; ++i) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(argv[i], &bytes)) {
      std::printf("%-36s cannot read\n", BaseName(argv[i]));
      ++failures;
      continue;
    }
    int32_t ourStatus = 0;
    bool theirsOk = true;
    std::vector<double> ours, theirs;
    for (int run = 0; run < kWarmupRuns + runs; ++run) {
      // Ours and theirs alternate, so drifts of clock speed or load touch
      // both alike.
      if (ourStatus == 0) {
        const Clock::time_point start = Clock::now();
        ourStatus = DecodeOurs(decoder.get(), bytes, &ourPixels);
        if (run >= kWarmupRuns) ours.push_back(MillisecondsSince(start));
      }
      if (theirsOk) {
        const Clock::time_point start = Clock::now();
        theirsOk = DecodeTheirs(handle, bytes, &theirPixels);
        if (run >= kWarmupRuns) theirs.push_back(MillisecondsSince(start));
      }
    }
    std::string ourText, theirText;
    char text[64];
    if (ourStatus == 0) {
      std::snprintf(text, sizeof text, "%.3f", Median(ours));
      ourText = text;
    } else {
      std::snprintf(text, sizeof text, "error %d (%s)", static_cast<int>(ourStatus),
                    vv::CodecStatusText(ourStatus));
      ourText = text;
      ++failures;
    }
    if (theirsOk) {
      std::snprintf(text, sizeof text, "%.3f", Median(theirs));
      theirText = text;
    } else {
      theirText = std::string("error (") + tjGetErrorStr2(handle) + ")";
      ++failures;
    }
    std::string ratioText = "-";
    if (ourStatus == 0 && theirsOk) {
      const double ratio = Median(theirs) / Median(ours);
      logRatioSum += std::log(ratio);
      ++ratioCount;
      std::snprintf(text, sizeof text, "%.3f", ratio);
      ratioText = text;
    }
    std::printf("%-36s %10s %16s %8s\n", BaseName(argv[i]), ourText.c_str(), theirText.c_str(),
                ratioText.c_str());
    std::fflush(stdout);
  }
  if (ratioCount > 0) {
    std::printf("geomean ratio %.3f\n", std::exp(logRatioSum / ratioCount));
  } else {
    std::printf("geomean ratio - (no file decoded by both)\n");
  }
  const std::string peak = PeakMemory();
  if (!peak.empty()) std::printf("peak memory %s\n", peak.c_str());
  tjDestroy(handle);
  return failures == 0 ? 0 : 1;
}
