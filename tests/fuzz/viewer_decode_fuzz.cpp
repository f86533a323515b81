// libFuzzer target over the viewer's decode path: every byte string is a
// sample handed to one long-lived decoder and one set of frame buffers, as a
// viewer keeps them from frame to frame (quantisation tables and buffers
// survive between inputs, as they do between the frames of a stream).
#include <cstddef>
#include <cstdint>

#include "jpeg/decoder.h"
#include "jpeg/frame_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static vv::CJPEGDecoder* decoder = new vv::CJPEGDecoder();
  static vv::FrameBuffers frame;
  bool sizeChanged = false;
  if (vv::DecodeViewerFrame(decoder, data, static_cast<uint32_t>(size), &frame, &sizeChanged)) {
    vv::FlipFrameRows(&frame);
  }
  return 0;
}
