/*
** VideoViewer: Motion-JPEG viewing for Windows x86-64 hosts.
**
** The host creates one viewer per video window, opens it on the window and
** hands it one complete JPEG image (a "sample") per call. The library decodes
** every sample at full size with its own JPEG decoder into a 32-bit picture,
** optionally paints privacy masks into it, and draws it into the window with
** DrawDib or, with a fisheye dewarp renderer attached, with Direct3D 9. It
** also lends decoded pictures and snapshots, and captures a window or the
** screen into JPEG.
**
** Conventions that hold for every function below:
** - Plain C calling convention; the ViewerRecord pointer comes first and must
**   be one returned by CreateViewer and not yet disposed.
** - Sizes are unsigned 32-bit, offsets signed 32-bit, the sample tag
**   unsigned 64-bit.
** - Out-parameters are written only on success, except the frame width and
**   height of the rendering functions, which are written on every call.
** - Buffers the host passes are read only during the call. Pictures and JPEG
**   bytes the library lends stay owned by the library and stay valid until
**   the call that replaces or returns them.
** - Each viewer has one lock (an auto-reset event: no owner, not re-entrant).
**   "Lock: taken" functions wait for it, without time-out, for their whole
**   run. "Lock: not taken" functions must not overlap other calls on the same
**   viewer. A thread holding a lent snapshot must not call a "taken" function
**   of that viewer before ViewerUnlockSnapshot. Different viewers share
**   nothing and may be used fully in parallel.
** - Functions documented as returning "the release status" return the result
**   of releasing the viewer lock (nonzero on success); it says nothing about
**   the work done.
** - The library starts no threads, keeps no configuration and never starts
**   GDI+: a host that sends privacy masks starts GDI+ first.
*/
#ifndef VIDEOVIEWER_H
#define VIDEOVIEWER_H

#include <stdint.h>
#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VIDEOVIEWER_BUILDING_DLL
#define VIDEOVIEWER_API
#else
#define VIDEOVIEWER_API __declspec(dllimport)
#endif

/* The viewer: an opaque record owned by the library. */
typedef struct ViewerRecord ViewerRecord;

/* ------------------------------------------------------------------ */
/* Lifecycle                                                           */
/* ------------------------------------------------------------------ */

/*
** CreateViewer: allocates a new, closed viewer and its lock (signalled).
** Call ViewerOpen before sending samples. Lock: created here.
*/
VIDEOVIEWER_API ViewerRecord *CreateViewer(void);

/*
** DisposeViewer: closes the lock and frees the record. Releases nothing
** else: call ViewerClose (and ViewerCloseCapture) first. A null record does
** nothing. Lock: closed without waiting. The record must not be used again.
*/
VIDEOVIEWER_API void DisposeViewer(ViewerRecord *viewer);

/*
** ViewerOpen: creates the viewer's JPEG decoder and, when window is not
** null, takes the window's device context (stretch mode COLORONCOLOR) and a
** DrawDib context. A null window is allowed: the viewer then decodes and
** lends pictures but draws nothing. Call once after CreateViewer or again
** after ViewerClose; opening an open viewer closes it first. Lock: not taken.
*/
VIDEOVIEWER_API void ViewerOpen(ViewerRecord *viewer, HWND window);

/*
** ViewerClose: releases the window's device context and DrawDib context, an
** attached dewarp renderer, the decoder and the frame buffers; forgets the
** picture, the sample tag and the source rectangle. Keeps the window handle,
** the destination size, the initial dewarp position and all capture state.
** Closing a closed viewer does nothing more. Lock: not taken.
*/
VIDEOVIEWER_API void ViewerClose(ViewerRecord *viewer);

/* ------------------------------------------------------------------ */
/* Rendering                                                           */
/* ------------------------------------------------------------------ */
/*
** All six decode the JPEG image of `size` bytes at buffer + offset into the
** viewer's picture (32 bits a pixel: blue, green, red, unused), remember
** `tag` with it, and draw it into the window. They never scale. Lock: taken.
** *outWidth and *outHeight always receive the viewer's frame size as it
** stands at the end of the call (also after a failure). A sample that fails
** to decode leaves no picture (snapshots then lend nothing) and is not
** drawn. A viewer that is not open reports no picture. Result: the release
** status.
**
** The Dec variants also lend the picture on success: *outHeader (Dec1: the
** 40-byte BITMAPINFOHEADER describing it), *outPixels and *outByteCount.
** They stay valid until a sample of another size arrives or the viewer is
** closed; every later sample overwrites them in place. They are written only
** on success, so a host can preset them to null to learn the outcome.
** Rows are bottom-up (biHeight > 0) except for the Flip variants called with
** flip = 0, which leave them top-down (biHeight < 0); top-down pictures are
** lent but not drawn.
*/
VIDEOVIEWER_API int32_t ViewerRenderMJPEGSample(
    ViewerRecord *viewer, const uint8_t *buffer, uint32_t size, int32_t offset,
    uint64_t tag, uint32_t *outWidth, uint32_t *outHeight);

/*
** As ViewerRenderMJPEGSample, with a privacy-mask block of maskSize bytes at
** buffer + maskOffset in the same buffer (maskSize 0: no masks). Masks are
** painted into the picture, measured from its top-left corner, before it is
** drawn. Nothing in a mask block can fail the sample; masks reaching past the
** picture are clipped to it, and masks of negative size paint nothing. The
** library does not start GDI+: without it the picture stays unmasked.
*/
VIDEOVIEWER_API int32_t ViewerRenderMJPEGSampleEx(
    ViewerRecord *viewer, const uint8_t *buffer, uint32_t size, int32_t offset,
    uint64_t tag, uint32_t maskSize, int32_t maskOffset, uint32_t *outWidth,
    uint32_t *outHeight);

VIDEOVIEWER_API int32_t ViewerRenderMJPEGSampleDec1(
    ViewerRecord *viewer, const uint8_t *buffer, uint32_t size, int32_t offset,
    uint64_t tag, uint32_t *outWidth, uint32_t *outHeight,
    BITMAPINFOHEADER **outHeader, uint8_t **outPixels, uint32_t *outByteCount);

VIDEOVIEWER_API int32_t ViewerRenderMJPEGSampleDec2(
    ViewerRecord *viewer, const uint8_t *buffer, uint32_t size, int32_t offset,
    uint64_t tag, uint32_t *outWidth, uint32_t *outHeight,
    uint8_t **outPixels, uint32_t *outByteCount);

VIDEOVIEWER_API int32_t ViewerRenderMJPEGSampleDec1Flip(
    ViewerRecord *viewer, const uint8_t *buffer, uint32_t size, int32_t offset,
    uint64_t tag, uint32_t *outWidth, uint32_t *outHeight,
    BITMAPINFOHEADER **outHeader, uint8_t **outPixels, uint32_t *outByteCount,
    int32_t flip);

VIDEOVIEWER_API int32_t ViewerRenderMJPEGSampleDec2Flip(
    ViewerRecord *viewer, const uint8_t *buffer, uint32_t size, int32_t offset,
    uint64_t tag, uint32_t *outWidth, uint32_t *outHeight,
    uint8_t **outPixels, uint32_t *outByteCount, int32_t flip);

/* ------------------------------------------------------------------ */
/* Presentation (DrawDib)                                              */
/* ------------------------------------------------------------------ */

/*
** ViewerSetVideoSource: the part of the picture to show, in pixels from its
** top-left corner. Width or height 0, or a rectangle that does not fit the
** picture, shows the whole picture. Forgotten when a sample of another size
** arrives and at ViewerClose. Applies from the next draw; draws nothing now.
** Lock: taken. Result: the release status.
*/
VIDEOVIEWER_API int32_t ViewerSetVideoSource(ViewerRecord *viewer, int32_t x,
                                             int32_t y, int32_t width,
                                             int32_t height);

/*
** ViewerSetVideoDestination: size of the drawing area, which always starts
** at the client area's top-left corner (left and top are accepted and not
** used). Width 0, the initial value, draws nothing. Survives ViewerClose.
** Draws nothing now. Lock: taken. Result: the release status.
*/
VIDEOVIEWER_API int32_t ViewerSetVideoDestination(ViewerRecord *viewer,
                                                  int32_t left, int32_t top,
                                                  int32_t width,
                                                  int32_t height);

/*
** ViewerRepaintVideo: draws the current picture again (typically on
** WM_PAINT) through a fresh device context, or with a dewarp renderer
** presents its last frame again. Returns 0 when the picture was handed to
** the window (or there was nothing to draw after the settings), -1 when there
** is no picture, no device context, or the renderer has nothing to present.
** Lock: taken.
*/
VIDEOVIEWER_API int32_t ViewerRepaintVideo(ViewerRecord *viewer);

/* ------------------------------------------------------------------ */
/* Snapshots                                                           */
/* ------------------------------------------------------------------ */

/*
** ViewerLockSnapshot: lends the current picture (with a dewarp renderer: a
** copy of the view last presented) with its header, byte count and the tag
** of its sample. On success returns WITH THE VIEWER LOCK HELD: the picture
** cannot change until ViewerUnlockSnapshot, and every "Lock: taken" call on
** this viewer waits. With no picture, nothing is written and the lock is
** released before returning; preset *outHeader to null to tell the cases
** apart. Lock: taken, kept on success.
*/
VIDEOVIEWER_API void ViewerLockSnapshot(ViewerRecord *viewer,
                                        BITMAPINFOHEADER **outHeader,
                                        uint8_t **outPixels,
                                        uint32_t *outByteCount,
                                        uint64_t *outTag);

/*
** ViewerUnlockSnapshot: returns a lent snapshot and releases the lock. Call
** exactly once per successful ViewerLockSnapshot, from any thread. Lock:
** released without being taken. Result: the release status.
*/
VIDEOVIEWER_API int32_t ViewerUnlockSnapshot(ViewerRecord *viewer);

/* ------------------------------------------------------------------ */
/* Fisheye dewarp                                                      */
/* ------------------------------------------------------------------ */

/*
** ViewerAttachDewarpRenderer: from the next sample on, frames are drawn into
** `window` through Direct3D 9, dewarped. Does nothing when a renderer is
** attached already. The device is started on the first frame; call the
** set-up functions before it. Lock: taken only when attaching.
*/
VIDEOVIEWER_API void ViewerAttachDewarpRenderer(ViewerRecord *viewer,
                                                HWND window);

/*
** ViewerDetachDewarpRenderer: releases the renderer and its device; DrawDib
** draws again. Lock: taken. Result: the release status.
*/
VIDEOVIEWER_API int32_t ViewerDetachDewarpRenderer(ViewerRecord *viewer);

/*
** ViewerSetupDewarpEffect: lens profile p0, p1, p2 (three floats: a ray at
** theta radians from the axis lands at H * (p0 t^3 + p1 t^2 + p2 t) pixels
** from the picture centre, H the frame height), mounting effect (1 wall,
** 2 ceiling, 3 floor) and output width in pixels; aspect mode 0. Without a
** renderer: nothing. Read at the first frame after attach. Lock: not taken.
*/
VIDEOVIEWER_API void ViewerSetupDewarpEffect(ViewerRecord *viewer,
                                             const float *profile,
                                             uint32_t effect, int32_t width);

/* As ViewerSetupDewarpEffect with an aspect mode: 0 none, 1 4:3, 2 16:9,
** 3 16:10. Lock: not taken. */
VIDEOVIEWER_API void ViewerSetupDewarpEffect2(ViewerRecord *viewer,
                                              const float *profile,
                                              uint32_t effect, int32_t width,
                                              int32_t aspectMode);

/* Composition: 1 single view, 2 panorama, 4 quad view (1 after attach).
** Without a renderer: nothing. Lock: not taken. */
VIDEOVIEWER_API void ViewerSetupDewarpComposition(ViewerRecord *viewer,
                                                  uint32_t composition);

/* Initial position (pan, tilt in degrees; zoom), applied on the first frame
** after attach. Needs no renderer. Lock: not taken. */
VIDEOVIEWER_API void ViewerSetInitialDewarpPosition(ViewerRecord *viewer,
                                                    float pan, float tilt,
                                                    float zoom);

/* Moves the view by relative steps once the renderer is set up. Lock: taken.
** Result: the release status. */
VIDEOVIEWER_API int32_t ViewerSetDewarpPosition(ViewerRecord *viewer,
                                                float panStep, float tiltStep,
                                                float zoomStep);

/* Current position of the single view (composition 1) or of the first quad
** view (composition 4); outputs untouched otherwise or before the first
** frame. Lock: not taken. */
VIDEOVIEWER_API void ViewerGetDewarpPosition(ViewerRecord *viewer, float *pan,
                                             float *tilt, float *zoom);

/* ------------------------------------------------------------------ */
/* Capture                                                             */
/* ------------------------------------------------------------------ */
/* Capture is independent of ViewerOpen, of decoded samples and of the
** viewer lock: the host must not overlap capture calls on one viewer, nor a
** capture call with DisposeViewer. Captured pictures are 24-bit copies of the
** screen taken with GDI, compressed by the library's own encoder into a
** baseline JFIF JPEG with 4:2:2 chroma; the JPEG lands in a buffer as large
** as the raw picture (3 x width rounded up to 4, times height), and a JPEG
** that does not fit makes the capture fail. The screen is copied from the
** primary monitor's origin (0, 0) with the virtual screen's size, read once
** at open; monitors left of or above the primary one are not covered.
** Capture calls with capture not open return -1 and write nothing. */

/*
** ViewerOpenCapture: opens capture of the whole screen. *outWidth and
** *outHeight (each may be null) receive the virtual screen size. An open
** capture is closed first. Keeps the cursor flags of an earlier
** ViewerOpenCapture2. Lock: not taken.
*/
VIDEOVIEWER_API void ViewerOpenCapture(ViewerRecord *viewer,
                                       uint32_t *outWidth,
                                       uint32_t *outHeight);

/*
** ViewerOpenCapture2: opens capture of `window`; a null window or one whose
** rectangle cannot be read means the whole screen. With drawCursor nonzero
** the mouse cursor is drawn into each capture with its image's top-left
** corner on the pointer (the hot spot is not subtracted). With markCursor
** nonzero each capture with the cursor showing over it carries an 8-byte
** comment segment (0xFF 0xFE, length 10): 0x0B 0x0A 0x0A 0x0A 0x00 0x02 0x00
** and the cursor's index among the standard cursors ARROW 1, IBEAM 2, HAND 3,
** SIZEALL 4, SIZENS 5, SIZEWE 6, SIZENESW 7, SIZENWSE 8, APPSTARTING 9,
** CROSS 10, HELP 11, NO 12, UPARROW 13, WAIT 14 (1 for any other cursor). An
** open capture is closed first. Lock: not taken.
*/
VIDEOVIEWER_API void ViewerOpenCapture2(ViewerRecord *viewer, HWND window,
                                        uint32_t drawCursor,
                                        uint32_t markCursor);

/*
** ViewerCapture: captures the screen into a JPEG at `quality` (0 or 50: the
** standard tables as they are; lower is coarser; 100 and above finest;
** values above 2^31 fail). On success
** returns 0 and lends the image through *outData and *outByteCount until the
** next capture call or ViewerCloseCapture. Returns -10 when the screen copy
** failed and -1 when encoding failed, the image did not fit, the capture
** bitmap could not be created, or capture is not open; the out-parameters
** are then untouched. Lock: not taken.
*/
VIDEOVIEWER_API int32_t ViewerCapture(ViewerRecord *viewer, uint32_t quality,
                                      uint8_t **outData,
                                      uint32_t *outByteCount);

/*
** ViewerCapture2: as ViewerCapture for the capture of ViewerOpenCapture2.
** A window is captured over its rectangle clamped to the screen, following
** changes of its size (the lent image of the old size is then released).
** Returns 0 or -1. -1 without writing any out-parameter when the window's
** rectangle cannot be read, its visible part is narrower or lower than 10
** pixels, or capture is not open. Otherwise *outWidth and *outHeight receive
** the captured size even when the copy or the encoding then fails; *outData
** and *outByteCount are written only on success. A failing screen copy
** recreates the capture bitmap and device contexts (on the 1st, 121st, ...
** failure in a row). Lock: not taken.
*/
VIDEOVIEWER_API int32_t ViewerCapture2(ViewerRecord *viewer, uint32_t quality,
                                       uint32_t *outWidth,
                                       uint32_t *outHeight, uint8_t **outData,
                                       uint32_t *outByteCount);

/*
** ViewerCloseCapture: releases the encoder, the capture bitmap, its device
** contexts and the lent JPEG. Closing a closed capture does nothing. Call it
** before DisposeViewer; ViewerClose does not. Lock: not taken.
*/
VIDEOVIEWER_API void ViewerCloseCapture(ViewerRecord *viewer);

#ifdef __cplusplus
}
#endif

#endif /* VIDEOVIEWER_H */
