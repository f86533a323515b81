// The capture exports. Window and screen grabbing with the JPEG encoder
// arrive with the encoder; until then capture opens nothing and every capture
// call fails with -1 without writing its out-parameters.
#include "api/viewer_record.h"
#include "videoviewer.h"

extern "C" {

void ViewerOpenCapture(ViewerRecord* viewer, uint32_t* outWidth, uint32_t* outHeight) {}

void ViewerOpenCapture2(ViewerRecord* viewer, HWND window, uint32_t drawCursor,
                        uint32_t markCursor) {}

int32_t ViewerCapture(ViewerRecord* viewer, uint32_t quality, uint8_t** outData,
                      uint32_t* outByteCount) {
  return -1;
}

int32_t ViewerCapture2(ViewerRecord* viewer, uint32_t quality, uint32_t* outWidth,
                       uint32_t* outHeight, uint8_t** outData, uint32_t* outByteCount) {
  return -1;
}

void ViewerCloseCapture(ViewerRecord* viewer) {}

}  // extern "C"
