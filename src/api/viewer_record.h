// The per-viewer record behind the opaque ViewerRecord pointer. Fields are in
// the documented declaration order; every field starts as 0, null or false.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <cstdint>

namespace vv {
class CJPEGDecoder;
class CJPEGEncoder;
struct DewarpRenderer;
}  // namespace vv

struct ViewerRecord {
  HWND window;                 // from ViewerOpen, never cleared; null: decode only
  HDC windowDc;                // taken once by ViewerOpen, stretch mode COLORONCOLOR
  HDRAWDIB drawDib;
  HANDLE lock;                 // auto-reset event, created signalled
  uint32_t frameWidth;
  uint32_t frameHeight;
  int32_t destWidth;           // 0: nothing is drawn through DrawDib
  int32_t destHeight;
  int32_t sourceX;
  int32_t sourceY;
  int32_t sourceWidth;         // width or height 0: the whole frame
  int32_t sourceHeight;
  vv::CJPEGDecoder* decoder;
  vv::CJPEGEncoder* encoder;
  BITMAPINFOHEADER* frameHeader;  // 40 bytes of aligned memory describing frameBits
  BITMAPINFO drawInfo;            // copy of *frameHeader after each successful decode
  uint8_t* frameBits;             // frameSize bytes of aligned memory
  uint8_t* rowScratch;            // frameWidth * 4 bytes of aligned memory
  uint32_t frameSize;
  uint32_t hasPicture;
  uint32_t snapshotSize;
  uint64_t sampleTag;
  BITMAPINFOHEADER snapshotHeader;
  uint8_t* snapshotBits;          // C heap; owned only while a dewarped snapshot is lent
  HWND captureWindow;
  int32_t screenWidth;
  int32_t screenHeight;
  int32_t captureWidth;
  int32_t captureHeight;
  uint32_t captureStride;
  uint32_t captureImageSize;
  uint32_t captureFailures;
  uint32_t drawCursor;
  uint32_t markCursor;
  HDC screenDc;
  HDC captureDc;
  HBITMAP captureBitmap;
  HGDIOBJ previousBitmap;
  BITMAPINFO captureHeader;
  uint8_t* captureBits;           // owned by the DIB section
  uint8_t* jpegBuffer;            // C heap, captureImageSize bytes
  vv::DewarpRenderer* dewarpRenderer;
  uint8_t initialPositionPending;
  float initialPosition[3];       // pan, tilt, zoom
  CURSORINFO cursorInfo;
  HCURSOR cursorShapes[14];
  uint8_t cursorMark[8];
};

namespace vv {

// The viewer lock: an event without owner, so the release may come from
// another thread (the snapshot pair relies on it). The wait's result is not
// examined; the release returns SetEvent's result.
inline void AcquireViewerLock(ViewerRecord* viewer) {
  WaitForSingleObject(viewer->lock, INFINITE);
}
inline int32_t ReleaseViewerLock(ViewerRecord* viewer) {
  return SetEvent(viewer->lock) ? 1 : 0;
}

}  // namespace vv
