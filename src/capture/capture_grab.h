// One capture: copy the screen into the capture bitmap, add the cursor, and
// compress it into jpegBuffer.
#pragma once

#include <cstdint>

#include "api/viewer_record.h"

namespace vv {

// Result of GrabFrame when the screen copy (BitBlt) failed.
constexpr int32_t kScreenCopyFailed = -10;

// Copies captureWidth × captureHeight pixels of the screen from `origin`
// (null: 0, 0) into the capture bitmap, draws and marks the cursor as the
// record's flags ask, and encodes the picture at `quality`. Returns 0 and
// lends the image through *outData and *outByteCount; kScreenCopyFailed when
// the copy failed; -1 when there is no encoder or no complete capture
// bitmap (nothing is copied then) or encoding failed. The out-parameters are
// written only on success.
int32_t GrabFrame(ViewerRecord* viewer, uint32_t quality, const POINT* origin, uint8_t** outData,
                  uint32_t* outByteCount);

}  // namespace vv
