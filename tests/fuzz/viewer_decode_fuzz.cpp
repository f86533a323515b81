// libFuzzer target over the viewer's decode path: every input is a frame for
// one long-lived decoder and set of frame buffers, as a viewer keeps them.
// Frames announcing more than 1 megapixel are only parsed (slow, nothing new).
// It runs at the processor level the library selects on this machine, as the
// viewer does; the forms target runs the portable level 0.
#include <cstddef>
#include <cstdint>

#include "jpeg/decoder.h"
#include "jpeg/frame_decode.h"
#include "jpeg/streams.h"
#include "primitives/processor_level.h"

namespace {

constexpr int64_t kMaxFuzzedPixels = int64_t{1} << 20;

bool AnnouncesHugeFrame(const uint8_t* data, size_t size) {
  static vv::CJPEGDecoder* parser = new vv::CJPEGDecoder();
  vv::CMemBuffInput memory(data, static_cast<int32_t>(size));
  parser->ReleaseFrame();
  parser->InitFrame();
  if (parser->input.Attach(&memory, vv::kBitInputWindowSize) != 0) return false;
  parser->Decode(0);
  return static_cast<int64_t>(parser->width) * parser->height > kMaxFuzzedPixels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vv::SelectProcessorLevel();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static vv::CJPEGDecoder* decoder = new vv::CJPEGDecoder();
  static vv::FrameBuffers frame;
  if (size > 0x7FFFFFFF || AnnouncesHugeFrame(data, size)) return 0;
  bool sizeChanged = false;
  if (vv::DecodeViewerFrame(decoder, data, static_cast<uint32_t>(size), &frame, &sizeChanged)) {
    vv::FlipFrameRows(&frame);
  }
  return 0;
}
