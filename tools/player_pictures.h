// What the player saves: snapshots lent by the viewer, the window's own
// pixels, and captures made by the library's encoder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "viewer_library.h"

namespace vv {

struct SavedPicture {
  int32_t width = 0;
  int32_t height = 0;
  uint64_t tag = 0;    // snapshots: the tag of the sample whose picture it is
  uint32_t bytes = 0;  // captures: the JPEG's size
};

// Takes a snapshot (ViewerLockSnapshot), copies the picture, returns it
// (ViewerUnlockSnapshot) and writes it as a 32-bit BMP. False when the
// viewer has no picture to lend, lends one that is not 32 bits a pixel or
// is smaller than its header says, or the file cannot be written; *saved is
// untouched then.
bool SaveSnapshot(const ViewerLibrary& library, ViewerRecord* viewer, const char* path,
                  SavedPicture* saved);

// Reads the window's client area back (BitBlt into a DIB section) and writes
// it as a 32-bit BMP: through the window's own device context, or with
// fromScreen through the screen's at the client area's place. Under Wine the
// screen's device context does not show what GDI drew into a window, and the
// window's own shows black where Direct3D presented: DrawDib pictures are
// read from the window, presented Direct3D pictures from the screen right
// after presenting. False on any GDI or file failure; *saved is untouched
// then.
bool SaveWindowPixels(HWND window, bool fromScreen, const char* path, SavedPicture* saved);

// Captures the window into JPEG through the library (ViewerOpenCapture2
// without cursor, ViewerCapture2 with quality, ViewerCloseCapture) and
// writes the bytes to path. Returns ViewerCapture2's status when it is not
// 0 (nothing is written then), 1 when the file cannot be written, else 0
// with *saved filled.
int32_t CaptureWindowToFile(const ViewerLibrary& library, ViewerRecord* viewer, HWND window,
                            uint32_t quality, const char* path, SavedPicture* saved);

}  // namespace vv
