#include "capture/capture_cursor.h"

namespace vv {

const uint16_t kMarkedCursorIds[14] = {
    32512,  // IDC_ARROW
    32513,  // IDC_IBEAM
    32649,  // IDC_HAND
    32646,  // IDC_SIZEALL
    32645,  // IDC_SIZENS
    32644,  // IDC_SIZEWE
    32643,  // IDC_SIZENESW
    32642,  // IDC_SIZENWSE
    32650,  // IDC_APPSTARTING
    32515,  // IDC_CROSS
    32651,  // IDC_HELP
    32648,  // IDC_NO
    32516,  // IDC_UPARROW
    32514,  // IDC_WAIT
};

void LoadCursorShapes(ViewerRecord* viewer) {
  // Shared system cursors: they are never destroyed, so reloading them on
  // every open costs nothing and leaks nothing.
  for (int i = 0; i < 14; ++i) {
    viewer->cursorShapes[i] = LoadCursorW(nullptr, MAKEINTRESOURCEW(kMarkedCursorIds[i]));
  }
}

uint8_t CursorMarkIndex(const ViewerRecord* viewer, HCURSOR cursor) {
  if (cursor == nullptr) return 1;
  for (int i = 0; i < 14; ++i) {
    if (viewer->cursorShapes[i] == cursor) return static_cast<uint8_t>(i + 1);
  }
  return 1;
}

bool ApplyCursor(ViewerRecord* viewer, const POINT* origin) {
  if (viewer->drawCursor == 0 && viewer->markCursor == 0) return false;
  viewer->cursorInfo.cbSize = sizeof(CURSORINFO);  // 24 on x86-64
  if (!GetCursorInfo(&viewer->cursorInfo)) return false;
  // Exactly "showing": a suppressed cursor (touch input) is not drawn either.
  if (viewer->cursorInfo.flags != CURSOR_SHOWING) return false;
  // Flags can say "showing" without a handle (Wine before the pointer has
  // crossed one of the process's windows): there is nothing to draw or name.
  if (viewer->cursorInfo.hCursor == nullptr) return false;
  int x = viewer->cursorInfo.ptScreenPos.x;
  int y = viewer->cursorInfo.ptScreenPos.y;
  if (origin != nullptr) {
    x -= origin->x;
    y -= origin->y;
    if (x < 0 || y < 0 || x > viewer->captureWidth || y > viewer->captureHeight) return false;
  }
  if (viewer->drawCursor != 0) {
    // Deliberately without subtracting the hot spot: the image's top-left
    // corner is what marks the pointer position in a capture.
    DrawIcon(viewer->captureDc, x, y, viewer->cursorInfo.hCursor);
  }
  if (viewer->markCursor == 0) return false;
  const uint8_t mark[kCursorMarkLength] = {0x0B, 0x0A, 0x0A, 0x0A, 0x00, 0x02, 0x00,
                                           CursorMarkIndex(viewer, viewer->cursorInfo.hCursor)};
  for (int i = 0; i < kCursorMarkLength; ++i) viewer->cursorMark[i] = mark[i];
  return true;
}

}  // namespace vv
