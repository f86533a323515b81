// Position model and shader constants of the dewarp views. The arithmetic is
// single precision throughout (the constants are single-precision shader
// registers), with the one documented widening in the blend lens term.
#include "render/dewarp_position.h"

#include <cmath>

namespace vv {
namespace {

constexpr float kPi = 3.1415927f;
constexpr float kFiftyDegrees = 0.87266463f;

// x degrees in radians with the product formed first, as the views always
// convert (x * pi / 180 and x * (pi / 180) differ in the last bit).
float Radians(float degrees) { return degrees * kPi / 180.0f; }

void Upload(DewarpView* view, ConstantUpload upload) {
  if (upload != nullptr) upload(view);
}

}  // namespace

ViewConstants ComputeConstants(const DewarpView& view) {
  ViewConstants out{};
  const float z = view.zoom;
  const float w = view.imageWidth;
  const float h = view.imageHeight;
  float p;
  float q;
  if (z < 2.0f) {
    // At z = 0 the lens becomes equidistant, r = L * theta, with L chosen so
    // that the 50-degree view sees a little more than a frame-tall circle.
    const float aspectRatio = view.viewAspect / (w / h);
    const float scaledHeight = h * 30.0f / 50.0f;
    const float oneMinusZ = 1.0f - z;
    const float blendTerm = static_cast<float>(static_cast<double>(aspectRatio) *
                                               static_cast<double>(scaledHeight) *
                                               static_cast<double>(oneMinusZ));
    out.lensProfile[0] = z * view.lensProfile[0];
    out.lensProfile[1] = z * view.lensProfile[1];
    out.lensProfile[2] = z * view.lensProfile[2] + blendTerm;
    out.tangentOfFieldOfView = std::tan(kFiftyDegrees);
    switch (view.effect) {
      case 2:
        p = view.pan;
        q = oneMinusZ * -90.0f + z * view.tilt;
        break;
      case 3:
        p = view.pan;
        q = oneMinusZ * 90.0f + z * view.tilt;
        break;
      default:
        p = z * view.pan;
        q = z * view.tilt;
        break;
    }
  } else {
    for (int i = 0; i < 3; ++i) out.lensProfile[i] = view.lensProfile[i];
    out.tangentOfFieldOfView = std::tan(Radians(z));
    p = view.pan;
    q = view.tilt;
  }
  switch (view.effect) {
    case 2:
      out.lambdaOffset = kPi / 2.0f;
      out.rotateData[0] = 0.0f;
      out.rotateData[1] = -Radians(q + 90.0f);
      out.rotateData[2] = Radians(p + 90.0f);
      break;
    case 3:
      out.lambdaOffset = kPi / 2.0f;
      out.rotateData[0] = 0.0f;
      out.rotateData[1] = -Radians(q - 90.0f);
      out.rotateData[2] = Radians(-p - 90.0f);
      break;
    default:
      out.lambdaOffset = kPi;
      out.rotateData[0] = Radians(-q);
      out.rotateData[1] = Radians(p);
      out.rotateData[2] = 0.0f;
      break;
  }
  return out;
}

void ResetPosition(DewarpView* view, ConstantUpload upload) {
  struct Default {
    float tilt, tiltMin, tiltMax;
  };
  static const Default kDefaults[] = {{0.0f, -90.0f, 90.0f}, {-30.0f, -90.0f, 0.0f},
                                      {30.0f, 0.0f, 90.0f}};
  if (view->effect < 1 || view->effect > 3) return;
  const Default& d = kDefaults[view->effect - 1];
  view->pan = 0.0f;
  view->tilt = d.tilt;
  view->zoom = 30.0f;
  view->tiltMin = d.tiltMin;
  view->tiltMax = d.tiltMax;
  view->overviewActive = 0;
  Upload(view, upload);
}

void Move(DewarpView* view, float panStep, float tiltStep, float zoomStep, ConstantUpload upload) {
  view->pan += panStep;
  view->tilt += tiltStep;
  // A positive step always widens: inside the blend it moves toward the
  // overview (parameter 0), 25 times slower than in degrees.
  if (view->overviewActive) {
    view->zoom -= zoomStep / 25.0f;
  } else {
    view->zoom += zoomStep;
  }
  if (view->tilt < view->tiltMin) {
    view->tilt = view->tiltMin;
  } else if (view->tilt > view->tiltMax) {
    view->tilt = view->tiltMax;
  }
  if (view->overviewActive) {
    if (view->zoom <= 0.0f) {
      view->zoom = 0.0f;
    } else if (view->zoom > 1.0f) {
      view->overviewActive = 0;
      view->zoom = 50.0f;
    }
  } else if (view->zoom < 2.0f) {
    view->zoom = 2.0f;
  } else if (view->zoom > 50.0f) {
    if (view->overviewAllowed) {
      view->zoom = 1.0f;
      view->overviewActive = 1;
    } else {
      view->zoom = 50.0f;
    }
  }
  Upload(view, upload);
}

void PlaceView(DewarpView* view, float pan, float tilt, float zoom, ConstantUpload upload) {
  view->pan = pan;
  view->tilt = tilt;
  view->zoom = zoom;
  view->overviewActive = (view->overviewAllowed != 0 && zoom < 2.0f) ? 1 : 0;
  Upload(view, upload);
}

void PrepareView(DewarpView* view, uint32_t imageWidth, uint32_t imageHeight,
                 const float lensProfile[3], uint32_t effect, ConstantUpload upload) {
  view->imageWidth = static_cast<float>(imageWidth);
  view->imageHeight = static_cast<float>(imageHeight);
  for (int i = 0; i < 3; ++i) view->lensProfile[i] = view->imageHeight * lensProfile[i];
  if (view->effect != effect) {
    view->effect = effect;
    ResetPosition(view, upload);
  }
}

void SpreadQuadViews(DewarpView* const quadViews[4], ConstantUpload upload) {
  for (int k = 0; k < 4; ++k) {
    DewarpView* view = quadViews[k];
    if (view == nullptr) continue;
    ResetPosition(view, upload);
    Move(view, 90.0f * static_cast<float>(k) - 45.0f, 0.0f, 0.0f, upload);
  }
}

bool PositionViews(DewarpView* singleView, DewarpView* const quadViews[4], uint32_t composition,
                   float pan, float tilt, float zoom, bool absolute, ConstantUpload upload) {
  switch (composition) {
    case 1:
      if (singleView == nullptr) return true;
      if (absolute) {
        PlaceView(singleView, pan, tilt, zoom, upload);
      } else {
        Move(singleView, pan, tilt, zoom, upload);
      }
      return true;
    case 2:
      return true;
    case 4:
      for (int k = 0; k < 4; ++k) {
        DewarpView* view = quadViews[k];
        if (view == nullptr) continue;
        if (absolute) {
          PlaceView(view, pan, tilt, zoom, upload);
          Move(view, 90.0f * static_cast<float>(k), 0.0f, 0.0f, upload);
        } else {
          Move(view, pan, tilt, zoom, upload);
        }
      }
      return true;
    default:
      return false;
  }
}

}  // namespace vv
