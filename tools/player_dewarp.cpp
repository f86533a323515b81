#include "player_dewarp.h"

#include <windowsx.h>

namespace vv {
namespace {

constexpr float kStepDegrees = 5;
// Pan and tilt per pointer pixel where the view's angle is not known (the
// overview blend, or before the first frame).
constexpr float kFallbackDegreesPerPixel = 0.25f;

// Degrees of view per pixel of the window: a perspective view spans twice
// its zoom vertically over its own height, which in the quad view is half
// the client area.
float DegreesPerPixel(const ViewerLibrary& library, ViewerRecord* viewer,
                      const DewarpSteering& steering, HWND window) {
  float pan = 0, tilt = 0, zoom = -1;
  library.ViewerGetDewarpPosition(viewer, &pan, &tilt, &zoom);
  RECT client;
  if (!GetClientRect(window, &client) || client.bottom <= 1 || zoom < 2) {
    return kFallbackDegreesPerPixel;
  }
  const float viewHeight = steering.composition == 4 ? client.bottom / 2.0f : float(client.bottom);
  return 2 * zoom / viewHeight;
}

}  // namespace

void AttachDewarp(const ViewerLibrary& library, ViewerRecord* viewer, HWND window,
                  const PlayerOptions& options, int32_t clientWidth) {
  if (options.dewarpEffect == 0) return;
  const int32_t width = options.composition == 1 ? clientWidth : clientWidth / 2;
  library.ViewerAttachDewarpRenderer(viewer, window);
  library.ViewerSetupDewarpEffect2(viewer, options.lens, options.dewarpEffect,
                                   width > 0 ? width : 1, options.aspectMode);
  library.ViewerSetupDewarpComposition(viewer, options.composition);
}

bool SteerDewarp(const ViewerLibrary& library, ViewerRecord* viewer, DewarpSteering* steering,
                 HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  float pan = 0, tilt = 0, zoom = 0;
  switch (message) {
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_LEFT: pan = -kStepDegrees; break;
        case VK_RIGHT: pan = kStepDegrees; break;
        case VK_UP: tilt = kStepDegrees; break;
        case VK_DOWN: tilt = -kStepDegrees; break;
        // A positive zoom step widens the view.
        case VK_ADD: case VK_OEM_PLUS: zoom = -kStepDegrees; break;
        case VK_SUBTRACT: case VK_OEM_MINUS: zoom = kStepDegrees; break;
        default: return false;
      }
      break;
    case WM_MOUSEWHEEL:
      zoom = -kStepDegrees * GET_WHEEL_DELTA_WPARAM(wParam) / float(WHEEL_DELTA);
      break;
    case WM_LBUTTONDOWN:
      steering->dragging = true;
      steering->last = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      SetCapture(window);
      return true;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (!steering->dragging) return false;
      steering->dragging = false;
      if (message == WM_LBUTTONUP) ReleaseCapture();
      return true;
    case WM_MOUSEMOVE: {
      if (!steering->dragging) return false;
      const POINT now{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const float scale = DegreesPerPixel(library, viewer, *steering, window);
      // The picture follows the pointer: dragging right turns the view left,
      // dragging down turns it up.
      pan = -(now.x - steering->last.x) * scale;
      tilt = (now.y - steering->last.y) * scale;
      steering->last = now;
      if (pan == 0 && tilt == 0) return true;
      break;
    }
    default:
      return false;
  }
  library.ViewerSetDewarpPosition(viewer, pan, tilt, zoom);
  return true;
}

}  // namespace vv
