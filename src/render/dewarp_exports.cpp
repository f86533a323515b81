// The eight dewarp exports.
#include <cstdlib>

#include "api/viewer_record.h"
#include "render/dewarp_renderer.h"
#include "videoviewer.h"

extern "C" {

void ViewerAttachDewarpRenderer(ViewerRecord* viewer, HWND window) {
  if (viewer == nullptr || viewer->dewarpRenderer != nullptr) return;
  vv::AcquireViewerLock(viewer);
  auto* renderer = static_cast<vv::DewarpRenderer*>(std::calloc(1, sizeof(vv::DewarpRenderer)));
  if (renderer != nullptr) {
    renderer->presentWindow = window;
    renderer->composition = 1;
    viewer->dewarpRenderer = renderer;
  }
  vv::ReleaseViewerLock(viewer);
}

int32_t ViewerDetachDewarpRenderer(ViewerRecord* viewer) {
  if (viewer == nullptr) return 0;
  vv::AcquireViewerLock(viewer);
  if (viewer->dewarpRenderer != nullptr) {
    vv::ReleaseAll(viewer->dewarpRenderer);
    vv::FreeDewarpRenderer(viewer->dewarpRenderer);
    viewer->dewarpRenderer = nullptr;
  }
  return vv::ReleaseViewerLock(viewer);
}

void ViewerSetupDewarpEffect2(ViewerRecord* viewer, const float* profile, uint32_t effect,
                              int32_t width, int32_t aspectMode) {
  if (viewer == nullptr || viewer->dewarpRenderer == nullptr) return;
  vv::DewarpRenderer* renderer = viewer->dewarpRenderer;
  if (profile != nullptr) {
    for (int i = 0; i < 3; ++i) renderer->lensProfile[i] = profile[i];
  }
  renderer->effect = effect;
  renderer->outputWidth = width;
  renderer->aspectMode = aspectMode;
}

void ViewerSetupDewarpEffect(ViewerRecord* viewer, const float* profile, uint32_t effect,
                             int32_t width) {
  ViewerSetupDewarpEffect2(viewer, profile, effect, width, 0);
}

void ViewerSetupDewarpComposition(ViewerRecord* viewer, uint32_t composition) {
  if (viewer == nullptr || viewer->dewarpRenderer == nullptr) return;
  viewer->dewarpRenderer->composition = composition;
}

void ViewerSetInitialDewarpPosition(ViewerRecord* viewer, float pan, float tilt, float zoom) {
  if (viewer == nullptr) return;
  viewer->initialPosition[0] = pan;
  viewer->initialPosition[1] = tilt;
  viewer->initialPosition[2] = zoom;
  viewer->initialPositionPending = 1;
}

int32_t ViewerSetDewarpPosition(ViewerRecord* viewer, float panStep, float tiltStep,
                                float zoomStep) {
  if (viewer == nullptr) return 0;
  vv::AcquireViewerLock(viewer);
  vv::DewarpRenderer* renderer = viewer->dewarpRenderer;
  // Before the first frame there are no views to move.
  if (renderer != nullptr && renderer->state != 0) {
    vv::SetPosition(renderer, panStep, tiltStep, zoomStep, false);
  }
  return vv::ReleaseViewerLock(viewer);
}

void ViewerGetDewarpPosition(ViewerRecord* viewer, float* pan, float* tilt, float* zoom) {
  if (viewer == nullptr || viewer->dewarpRenderer == nullptr) return;
  const vv::DewarpRenderer* renderer = viewer->dewarpRenderer;
  const vv::DewarpView* view = nullptr;
  if (renderer->composition == 1) view = renderer->singleView;
  if (renderer->composition == 4) view = renderer->quadViews[0];
  if (view == nullptr) return;
  if (pan != nullptr) *pan = view->pan;
  if (tilt != nullptr) *tilt = view->tilt;
  if (zoom != nullptr) *zoom = view->zoom;
}

}  // extern "C"
