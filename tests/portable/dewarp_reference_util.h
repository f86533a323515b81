// What the four dewarp pixel shaders compute, in double precision with exact
// trigonometry: the frame point shown at an output texture coordinate.
#pragma once

namespace vv {

enum class DewarpShader { kPerspective, kCeilingPanorama, kFloorPanorama, kWallPanorama };

// The shader constants, by their names in the shaders.
struct DewarpConstants {
  double size[2];               // frame width W and height H
  double imageCenter[2];        // (cx, cy)
  double lensProfile[3];        // a, b, c of r = a t^3 + b t^2 + c t, in pixels
  double tangentOfFieldOfView;  // T
  double lambdaOffset;          // lambda0, radians
  double rotateData[3];         // rx, ry, rz, radians
};

struct DewarpSample {
  double theta;  // angle from the optical axis, radians
  double psi;    // direction around the axis, radians (not reduced)
  double x, y;   // frame point (sx, sy) in pixels
  bool black;    // the shader outputs opaque black instead of sampling
};

// (u, v) runs 0..1 across the quad; degenerate inputs give NaN coordinates.
DewarpSample DewarpReferencePoint(DewarpShader shader, const DewarpConstants& constants,
                                  double u, double v);

// r(theta) of the lens model for these constants.
double DewarpLensRadius(const DewarpConstants& constants, double theta);

// A panorama of a width x height frame, the circle centred, the lens profile
// in fractions of the height.
DewarpConstants PanoramaConstants(double width, double height, const double profile[3]);

// The perspective view of a camera mounted by `effect` (1 wall, 2 ceiling,
// 3 floor) at pan, tilt and zoom (degrees; below 2 the overview blend).
DewarpConstants PerspectiveConstants(int effect, double pan, double tilt, double zoom,
                                     double viewAspect, double width, double height,
                                     const double profile[3]);

}  // namespace vv
