// CreateViewer, DisposeViewer, ViewerOpen, ViewerClose.
#include <cstdlib>
#include <new>

#include "api/viewer_record.h"
#include "jpeg/decoder.h"
#include "primitives/aligned_memory.h"
#include "render/dewarp_renderer.h"
#include "videoviewer.h"

extern "C" {

ViewerRecord* CreateViewer(void) {
  // calloc: every field starts as 0, null or false. The export has no way to
  // report failure, so an exhausted heap yields null, which every export
  // treats as "no viewer".
  auto* viewer = static_cast<ViewerRecord*>(std::calloc(1, sizeof(ViewerRecord)));
  if (viewer == nullptr) return nullptr;
  viewer->lock = CreateEventW(nullptr, FALSE, TRUE, nullptr);
  return viewer;
}

void DisposeViewer(ViewerRecord* viewer) {
  if (viewer == nullptr) return;
  if (viewer->lock != nullptr) CloseHandle(viewer->lock);
  std::free(viewer);
}

void ViewerOpen(ViewerRecord* viewer, HWND window) {
  if (viewer == nullptr) return;
  // Opening an open viewer would otherwise leak its decoder and contexts.
  if (viewer->decoder != nullptr || viewer->windowDc != nullptr || viewer->drawDib != nullptr) {
    ViewerClose(viewer);
  }
  viewer->window = window;
  // No result to report an exhausted heap through: the viewer then stays
  // without decoder and every sample reports no picture.
  viewer->decoder = new (std::nothrow) vv::CJPEGDecoder();
  if (window != nullptr) {
    viewer->windowDc = GetDC(window);
    if (viewer->windowDc != nullptr) SetStretchBltMode(viewer->windowDc, COLORONCOLOR);
    viewer->drawDib = DrawDibOpen();
  }
}

void ViewerClose(ViewerRecord* viewer) {
  if (viewer == nullptr) return;
  if (viewer->window != nullptr) {
    if (viewer->windowDc != nullptr) ReleaseDC(viewer->window, viewer->windowDc);
    viewer->windowDc = nullptr;
    if (viewer->drawDib != nullptr) DrawDibClose(viewer->drawDib);
    viewer->drawDib = nullptr;
  }
  if (viewer->dewarpRenderer != nullptr) {
    vv::ReleaseAll(viewer->dewarpRenderer);
    vv::FreeDewarpRenderer(viewer->dewarpRenderer);
    viewer->dewarpRenderer = nullptr;
  }
  delete viewer->decoder;
  viewer->decoder = nullptr;
  vv::AlignedFree(viewer->frameHeader);
  vv::AlignedFree(viewer->frameBits);
  vv::AlignedFree(viewer->rowScratch);
  viewer->frameWidth = 0;
  viewer->frameHeight = 0;
  viewer->sourceX = viewer->sourceY = viewer->sourceWidth = viewer->sourceHeight = 0;
  viewer->frameHeader = nullptr;
  viewer->frameBits = nullptr;
  viewer->rowScratch = nullptr;
  viewer->frameSize = 0;
  viewer->hasPicture = 0;
  viewer->snapshotSize = 0;
  viewer->sampleTag = 0;
  viewer->snapshotBits = nullptr;
}

}  // extern "C"
