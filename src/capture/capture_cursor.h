// The mouse cursor in captured pictures: drawn into the capture bitmap, and
// named in an 8-byte cursor mark that the encoder writes as a comment.
#pragma once

#include <cstdint>

#include "api/viewer_record.h"

namespace vv {

// Resource ids of the fourteen standard cursors a mark can name, in
// mark-index order: entry i has index i + 1.
extern const uint16_t kMarkedCursorIds[14];

// Bytes of the cursor mark comment.
constexpr int32_t kCursorMarkLength = 8;

// Loads the fourteen standard cursors into cursorShapes (LoadCursorW without
// module). A cursor that fails to load stays null and is never matched.
void LoadCursorShapes(ViewerRecord* viewer);

// The mark index of `cursor`: 1 to 14 for the first cursorShapes entry equal
// to it, 1 when none is (an application cursor) or the cursor is null.
uint8_t CursorMarkIndex(const ViewerRecord* viewer, HCURSOR cursor);

// Reads the cursor into cursorInfo and, when it shows, draws it into
// captureDc (drawCursor) with its top-left corner on the pointer, and writes
// cursorMark (markCursor). `origin` (null: the screen from 0, 0) is the
// screen position of the bitmap's top-left pixel; a pointer left of or above
// it, or beyond its width or height, is left out. Returns true when a mark
// was written. Does nothing unless drawCursor or markCursor is set; a hidden
// cursor, a failed GetCursorInfo or a null cursor handle leave the bitmap
// and cursorMark untouched and return false.
bool ApplyCursor(ViewerRecord* viewer, const POINT* origin);

}  // namespace vv
