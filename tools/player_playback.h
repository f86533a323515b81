// The player's decoding thread: hands the frames of an indexed source to a
// viewer at the frame rate, one rendering call per frame, and keeps the
// decode+present times. The library presents into the window from this
// thread under the viewer lock; the window's thread only repaints.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "mjpeg_source.h"
#include "viewer_library.h"

namespace vv {

struct PlaybackStats {
  int64_t decoded = 0;
  int64_t failed = 0;
  double totalMs = 0;  // decode+present, summed over every frame
  double worstMs = 0;
  uint32_t width = 0;  // frame size after the last call
  uint32_t height = 0;
};

class Playback {
 public:
  // data and index describe the source (kept, not copied); maskBlock, when
  // not empty, goes with every sample through the Ex call. frames < 0 loops
  // until Stop; framesPerSecond 0 plays as fast as decoding goes. doneWindow
  // receives doneMessage when the thread ends.
  Playback(const ViewerLibrary& library, ViewerRecord* viewer, const uint8_t* data,
           const MjpegIndex& index, std::vector<uint8_t> maskBlock, double framesPerSecond,
           int64_t frames, HWND doneWindow, UINT doneMessage);
  ~Playback();
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  // Starts the decoding thread; false when it cannot be started.
  bool Start();
  // Asks the thread to end after the frame it is on.
  void Stop() { stop_ = true; }
  // Waits for the thread. Only after this are Stats() final.
  void Join();
  const PlaybackStats& Stats() const { return stats_; }

 private:
  void Run();
  void RenderOne(const MjpegFrameSpan& frame, uint64_t tag);

  const ViewerLibrary& library_;
  ViewerRecord* viewer_;
  const uint8_t* data_;
  const MjpegIndex& index_;
  std::vector<uint8_t> maskBlock_;
  std::vector<uint8_t> sample_;  // JPEG then mask block, sized once
  double framesPerSecond_;
  int64_t frames_;
  HWND doneWindow_;
  UINT doneMessage_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  PlaybackStats stats_;
};

}  // namespace vv
