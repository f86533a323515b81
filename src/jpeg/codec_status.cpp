#include "jpeg/codec_status.h"

namespace vv {

const char* CodecStatusText(int32_t status) {
  switch (status) {
    case CodecOk: return "success";
    case CodecNotSupported: return "not supported";
    case CodecProcessFailed: return "processing failed";
    case CodecNoFrame: return "no frame";
    case CodecEndOfData: return "end of data";
    case CodecShortWrite: return "short write";
    case CodecOutOfMemory: return "out of memory";
    case CodecBadSegment: return "bad segment";
    case CodecBadFrameHeader: return "bad frame header";
    case CodecBadDqt: return "bad DQT";
    case CodecBadDht: return "bad DHT";
    case CodecBadSos: return "bad SOS";
    case CodecBadDri: return "bad DRI";
    default: return "unknown error";
  }
}

}  // namespace vv
