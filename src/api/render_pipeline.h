// The body shared by the six rendering exports.
#pragma once

#include <cstdint>

#include "api/viewer_record.h"

namespace vv {

// What one rendering export asks of the shared core and what it lends back.
struct RenderRequest {
  const uint8_t* data;       // buffer + offset
  uint32_t size;
  const uint8_t* masks;      // null: no privacy masks
  uint32_t maskSize;
  bool flip;                 // bring the rows into bottom-up order
  uint64_t tag;
};

struct RenderLoan {
  BITMAPINFOHEADER* header;
  uint8_t* pixels;
  uint32_t byteCount;
};

// Takes the lock, decodes, presents, writes *outWidth/*outHeight, releases
// the lock and returns the release status. `loan` (may be null) receives the
// lent picture; `lent` is set to true only when the sample decoded.
int32_t RenderCore(ViewerRecord* viewer, const RenderRequest& request,
                   uint32_t* outWidth, uint32_t* outHeight, RenderLoan* loan, bool* lent);

// Decodes a sample into frameBits; true when the picture there is complete.
// Runs under the viewer lock.
bool DecodeFrame(ViewerRecord* viewer, const RenderRequest& request);

// Hands a complete picture to presentation (DrawDib or the dewarp renderer).
void PresentFrame(ViewerRecord* viewer, const BITMAPINFO* info, const uint8_t* pixels,
                  uint32_t byteCount, uint32_t width, uint32_t height);

}  // namespace vv
