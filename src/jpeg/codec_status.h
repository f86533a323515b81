// Status codes of the codec (decoder and encoder). 0 success, negative
// failure; nothing in the codec throws. A primitive's non-zero status is
// never passed on as it is: the codec maps it to one of these.
#pragma once
#include <cstdint>

namespace vv {

enum CodecStatus : int32_t {
  CodecOk = 0,
  CodecNotSupported = -1,    // frame kinds, precisions and forms the decoder does not handle
  CodecProcessFailed = -2,   // a primitive reported an error (corrupt data, table build, ...)
  CodecNoFrame = -3,         // output prepared without a frame header
  CodecEndOfData = -4,       // the input ran out
  CodecShortWrite = -5,      // the output buffer could not take all bytes
  CodecOutOfMemory = -6,
  CodecBadSegment = -7,
  CodecBadFrameHeader = -8,
  CodecBadDqt = -9,
  CodecBadDht = -10,
  CodecBadSos = -11,
  CodecBadDri = -12,
};

// Meaning of a codec status in a few words, for tools and messages.
const char* CodecStatusText(int32_t status);

}  // namespace vv
