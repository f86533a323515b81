#include "capture/capture_encode.h"

#include "capture/capture_cursor.h"
#include "jpeg/encoder.h"
#include "jpeg/streams.h"

namespace vv {

void ResetCaptureEncoder(ViewerRecord* viewer) { viewer->encoder->Reset(); }

int32_t EncodeCaptureBitmap(ViewerRecord* viewer, uint32_t quality, bool withMark,
                            uint32_t* byteCount) {
  CJPEGEncoder* encoder = viewer->encoder;
  // The stream lives only for this picture; the encoder's pointer to it is
  // cleared again before returning.
  CMemBuffOutput output(viewer->jpegBuffer, static_cast<int32_t>(viewer->captureImageSize));

  encoder->srcData = viewer->captureBits;
  encoder->width = viewer->captureWidth;
  encoder->height = viewer->captureHeight;
  encoder->srcStep = static_cast<int32_t>(viewer->captureStride);
  encoder->srcPrecision = 8;
  encoder->srcChannels = 3;
  encoder->srcColor = 3;  // blue, green, red bytes, as a 24-bit DIB holds them
  if (encoder->SetParams(quality) != 0) return -1;

  encoder->bitOutput.stream = &output;
  encoder->bitOutput.Release();
  if (withMark) {
    encoder->comment = viewer->cursorMark;
    encoder->commentLength = kCursorMarkLength;
  }
  int32_t status = encoder->WriteHeader();
  if (status == 0) status = encoder->WriteData();
  encoder->bitOutput.stream = nullptr;
  if (status != 0) return -1;
  *byteCount = static_cast<uint32_t>(output.position);
  return 0;
}

}  // namespace vv
