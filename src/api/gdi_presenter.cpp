// DrawDib presentation: ViewerSetVideoSource, ViewerSetVideoDestination,
// ViewerRepaintVideo and the per-sample draw of PresentFrame.
#include "api/render_pipeline.h"
#include "render/dewarp_renderer.h"
#include "videoviewer.h"

namespace vv {
namespace {

struct SourceRect {
  int32_t x, y, w, h;
};

// The host's crop when it is set and fits the picture, else the whole picture.
SourceRect ChooseSource(const ViewerRecord* viewer, int32_t width, int32_t height) {
  if (viewer->sourceWidth != 0 && viewer->sourceHeight != 0 &&
      viewer->sourceX + viewer->sourceWidth <= width &&
      viewer->sourceY + viewer->sourceHeight <= height) {
    return {viewer->sourceX, viewer->sourceY, viewer->sourceWidth, viewer->sourceHeight};
  }
  return {0, 0, width, height};
}

void DrawPicture(ViewerRecord* viewer, HDC dc, const BITMAPINFOHEADER* header,
                 const uint8_t* pixels, int32_t width, int32_t height) {
  const SourceRect src = ChooseSource(viewer, width, height);
  // Only bottom-up pictures are drawn; a top-down loan stays undrawn.
  if (viewer->drawDib == nullptr || dc == nullptr || viewer->destWidth == 0 || src.w == 0 ||
      header->biHeight <= 0) {
    return;
  }
  DrawDibDraw(viewer->drawDib, dc, 0, 0, viewer->destWidth, viewer->destHeight,
              const_cast<BITMAPINFOHEADER*>(header), const_cast<uint8_t*>(pixels), src.x, src.y,
              src.w, src.h, 0);
}

}  // namespace

void PresentFrame(ViewerRecord* viewer, const BITMAPINFO* info, const uint8_t* pixels,
                  uint32_t byteCount, uint32_t width, uint32_t height) {
  if (viewer->dewarpRenderer != nullptr) {
    RendererFrameEntry(viewer, viewer->dewarpRenderer, pixels, byteCount, width, height);
    return;
  }
  DrawPicture(viewer, viewer->windowDc, &info->bmiHeader, pixels, static_cast<int32_t>(width),
              static_cast<int32_t>(height));
}

}  // namespace vv

extern "C" {

int32_t ViewerSetVideoSource(ViewerRecord* viewer, int32_t x, int32_t y, int32_t width,
                             int32_t height) {
  if (viewer == nullptr) return 0;
  vv::AcquireViewerLock(viewer);
  viewer->sourceX = x;
  viewer->sourceY = y;
  viewer->sourceWidth = width;
  viewer->sourceHeight = height;
  return vv::ReleaseViewerLock(viewer);
}

int32_t ViewerSetVideoDestination(ViewerRecord* viewer, int32_t left, int32_t top,
                                  int32_t width, int32_t height) {
  if (viewer == nullptr) return 0;
  vv::AcquireViewerLock(viewer);
  viewer->destWidth = width;
  viewer->destHeight = height;
  return vv::ReleaseViewerLock(viewer);
}

int32_t ViewerRepaintVideo(ViewerRecord* viewer) {
  if (viewer == nullptr) return -1;
  vv::AcquireViewerLock(viewer);
  int32_t result = -1;
  if (viewer->hasPicture == 0) {
    vv::ReleaseViewerLock(viewer);
    return -1;
  }
  if (viewer->dewarpRenderer != nullptr) {
    result = vv::Repaint(viewer->dewarpRenderer);
  } else if (viewer->frameBits != nullptr && viewer->window != nullptr) {
    // A viewer opened without a window has no device context: -1. GetDC
    // with a null window would hand out the whole screen's context and
    // draw the picture over the desktop.
    HDC dc = GetDC(viewer->window);
    if (dc != nullptr) {
      SetStretchBltMode(dc, COLORONCOLOR);
      vv::DrawPicture(viewer, dc, &viewer->drawInfo.bmiHeader, viewer->frameBits,
                      static_cast<int32_t>(viewer->frameWidth),
                      static_cast<int32_t>(viewer->frameHeight));
      ReleaseDC(viewer->window, dc);
      result = 0;
    }
  }
  vv::ReleaseViewerLock(viewer);
  return result;
}

}  // extern "C"
