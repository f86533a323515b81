#include "player_playback.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace vv {
namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

}  // namespace

Playback::Playback(const ViewerLibrary& library, ViewerRecord* viewer, const uint8_t* data,
                   const MjpegIndex& index, std::vector<uint8_t> maskBlock,
                   double framesPerSecond, int64_t frames, HWND doneWindow, UINT doneMessage)
    : library_(library),
      viewer_(viewer),
      data_(data),
      index_(index),
      maskBlock_(std::move(maskBlock)),
      framesPerSecond_(framesPerSecond),
      frames_(frames),
      doneWindow_(doneWindow),
      doneMessage_(doneMessage) {
  if (!maskBlock_.empty()) {
    size_t largest = 0;
    for (const MjpegFrameSpan& frame : index_.frames) largest = std::max(largest, frame.size);
    sample_.resize(largest + maskBlock_.size());
  }
}

Playback::~Playback() {
  Stop();
  Join();
}

bool Playback::Start() {
  // std::thread reports failure by throwing; the player has no use for the
  // exception and tests for a thread that never started instead.
  thread_ = std::thread([this] { Run(); });
  return thread_.joinable();
}

void Playback::Join() {
  if (thread_.joinable()) thread_.join();
}

// One frame through the library. A sample carries masks the way a camera
// sends them: the JPEG image with the mask block after it in one buffer.
// Whether it decoded is seen from a snapshot: only a decoded sample leaves a
// picture to lend, and the lent tag names the sample.
void Playback::RenderOne(const MjpegFrameSpan& frame, uint64_t tag) {
  const uint32_t size = static_cast<uint32_t>(frame.size);
  if (maskBlock_.empty()) {
    library_.ViewerRenderMJPEGSample(viewer_, data_ + frame.offset, size, 0, tag, &stats_.width,
                                     &stats_.height);
  } else {
    std::memcpy(sample_.data(), data_ + frame.offset, frame.size);
    std::memcpy(sample_.data() + frame.size, maskBlock_.data(), maskBlock_.size());
    library_.ViewerRenderMJPEGSampleEx(viewer_, sample_.data(), size, 0, tag,
                                       static_cast<uint32_t>(maskBlock_.size()),
                                       static_cast<int32_t>(size), &stats_.width,
                                       &stats_.height);
  }
}

void Playback::Run() {
  using Clock = std::chrono::steady_clock;
  const auto period = framesPerSecond_ > 0
                          ? std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(1.0 / framesPerSecond_))
                          : Clock::duration::zero();
  auto deadline = Clock::now();
  const size_t count = index_.frames.size();
  for (int64_t n = 0; !stop_ && (frames_ < 0 || n < frames_); ++n) {
    const uint64_t tag = static_cast<uint64_t>(n) + 1;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const MjpegFrameSpan& frame = index_.frames[static_cast<size_t>(n) % count];
    RenderOne(frame, tag);
    QueryPerformanceCounter(&end);
    const double ms = Milliseconds(start, end);
    stats_.totalMs += ms;
    if (ms > stats_.worstMs) stats_.worstMs = ms;

    BITMAPINFOHEADER* header = nullptr;
    uint8_t* pixels = nullptr;
    uint32_t bytes = 0;
    uint64_t lentTag = 0;
    library_.ViewerLockSnapshot(viewer_, &header, &pixels, &bytes, &lentTag);
    if (header != nullptr) library_.ViewerUnlockSnapshot(viewer_);
    ++(header != nullptr && lentTag == tag ? stats_.decoded : stats_.failed);

    if (period != Clock::duration::zero()) {
      deadline += period * frame.periods;
      const auto now = Clock::now();
      // Behind by more than a second (a slow machine, a debugger): start
      // afresh instead of rushing through the frames that are late.
      if (now > deadline + std::chrono::seconds(1)) deadline = now;
      std::this_thread::sleep_until(deadline);
    }
  }
  GdiFlush();
  PostMessageW(doneWindow_, doneMessage_, 0, 0);
}

}  // namespace vv
