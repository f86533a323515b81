// The position model of the dewarp views (pan, tilt, zoom with the limits of
// the mounting effect and the overview blend of the single view) and the
// shader constants a position stands for. Portable code: the device side
// hands in the function that loads constants into the device.
#pragma once

#include <cstdint>

#include "render/dewarp_view.h"

namespace vv {

// Loads a view's constants into its device (the device side's
// UploadConstants). Every operation below that changes a position calls it
// once at the end, as the device needs; null means nothing is loaded.
using ConstantUpload = void (*)(DewarpView* view);

// What a view uploads for its position: LensProfile (pixels), lambdaOffset
// and rotateData (radians), tangentOfFieldOfView.
struct ViewConstants {
  float lensProfile[3];
  float lambdaOffset;
  float rotateData[3];
  float tangentOfFieldOfView;
};

// Computes the constants of the view's current position. Effects other than
// 2 (ceiling) and 3 (floor) are treated as 1 (wall): the view then looks
// along the optical axis at its default position, which is the one picture
// that makes sense for a camera whose mounting was never described.
ViewConstants ComputeConstants(const DewarpView& view);

// Gives the view the default position and tilt limits of its effect and
// leaves the blend, then uploads. Effects other than 1, 2, 3: the view is
// untouched and nothing is uploaded.
void ResetPosition(DewarpView* view, ConstantUpload upload);

// One relative step: pan and tilt add, zoom adds outside the blend and
// subtracts a twenty-fifth of the step inside it; then the limits: tilt
// clamped, zoom held in [2, 50] except that the single view enters the blend
// past 50 and leaves it past 1. Uploads at the end.
void Move(DewarpView* view, float panStep, float tiltStep, float zoomStep, ConstantUpload upload);

// Absolute position without limits; a zoom below 2 puts a view that may
// enter the blend into it (the zoom then being the blend parameter). Uploads.
void PlaceView(DewarpView* view, float pan, float tilt, float zoom, ConstantUpload upload);

// SetUpViews' per-view preparation: frame size, lens coefficients in pixels
// (profile times height), and the effect; a view whose effect changes gets
// the effect's default position.
void PrepareView(DewarpView* view, uint32_t imageWidth, uint32_t imageHeight,
                 const float lensProfile[3], uint32_t effect, ConstantUpload upload);

// Places the four quad views after their preparation: each reset again, then
// turned to pans -45, 45, 135, 225 from the effect's default.
void SpreadQuadViews(DewarpView* const quadViews[4], ConstantUpload upload);

// SetPosition's change of the views of a composition: 1 the single view,
// 4 the four quad views (absolute: 90 degrees of pan apart, then the
// limits), 2 nothing. Absent views are skipped. Returns false for any other
// composition, which must not be redrawn either.
bool PositionViews(DewarpView* singleView, DewarpView* const quadViews[4], uint32_t composition,
                   float pan, float tilt, float zoom, bool absolute, ConstantUpload upload);

}  // namespace vv
