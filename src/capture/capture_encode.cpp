// Until the encoder can compress, every capture ends here as a failed
// encoding: the bitmap is grabbed, nothing is lent.
#include "capture/capture_encode.h"

#include "jpeg/encoder.h"

namespace vv {

void ResetCaptureEncoder(ViewerRecord*) {}

int32_t EncodeCaptureBitmap(ViewerRecord*, uint32_t, bool, uint32_t*) { return -1; }

}  // namespace vv
