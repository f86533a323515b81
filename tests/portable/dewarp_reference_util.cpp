#include "dewarp_reference_util.h"

#include <cmath>

namespace vv {
namespace {

constexpr double kPi = 3.14159265358979323846;

DewarpSample LensPoint(const DewarpConstants& k, double theta, double psi, bool bounded) {
  DewarpSample s;
  s.theta = theta;
  s.psi = psi;
  double r = DewarpLensRadius(k, theta);
  s.x = k.imageCenter[0] + r * std::cos(psi);
  s.y = k.imageCenter[1] + r * std::sin(psi);
  // Written so that NaN coordinates count as outside.
  bool inside = s.x >= 0 && s.y >= 0 && s.x < k.size[0] && s.y < k.size[1];
  s.black = bounded && !inside;
  return s;
}

DewarpSample Perspective(const DewarpConstants& k, double u, double v) {
  double w = k.size[0], h = k.size[1];
  double x = w * u - w / 2, y = h * v - h / 2;
  double q = k.tangentOfFieldOfView * std::sqrt(x * x + y * y) / (h / 2);
  double theta_view = std::atan(q);
  double alpha = k.lambdaOffset - std::atan2(y, -x);
  double dx = std::sin(theta_view) * std::cos(alpha);
  double dy = std::sin(theta_view) * std::sin(alpha);
  double dz = std::cos(theta_view);
  const double rx = k.rotateData[0], ry = k.rotateData[1];
  double t = dy * std::cos(rx) + dz * std::sin(rx);  // about x, then y
  dz = dz * std::cos(rx) - dy * std::sin(rx);
  dy = t;
  t = dx * std::cos(ry) + dz * std::sin(ry);
  dz = dz * std::cos(ry) - dx * std::sin(ry);
  dx = t;
  // Rounding can carry |dz| a hair past 1.
  double theta = std::acos(std::fmax(-1.0, std::fmin(1.0, dz)));
  return LensPoint(k, theta, std::atan2(dy, dx) + k.rotateData[2], true);
}

DewarpSample CeilingPanorama(const DewarpConstants& k, double u, double v) {
  bool upper = v <= 0.5;
  double s = upper ? v : v - 0.5;
  double omega = upper ? 0 : kPi;
  return LensPoint(k, kPi / 2 * (1 - s), kPi * (u - 1) + omega, true);
}

DewarpSample FloorPanorama(const DewarpConstants& k, double u, double v) {
  bool upper = v <= 0.5;
  double t = upper ? v + 0.5 : v;
  double omega = upper ? 0 : kPi;
  return LensPoint(k, kPi / 2 * t, -kPi * u + omega, true);
}

DewarpSample WallPanorama(const DewarpConstants& k, double u, double v) {
  double lambda = kPi * u;
  double beta = 3 * kPi / 8 * v + 5 * kPi / 16;
  double px = std::sin(beta) * std::cos(lambda);
  double py = std::sin(beta) * std::sin(lambda);
  double pz = std::cos(beta);
  return LensPoint(k, std::acos(std::fmax(-1.0, std::fmin(1.0, py))), std::atan2(-pz, -px),
                   false);
}

}  // namespace

double DewarpLensRadius(const DewarpConstants& k, double theta) {
  return ((k.lensProfile[0] * theta + k.lensProfile[1]) * theta + k.lensProfile[2]) * theta;
}

DewarpSample DewarpReferencePoint(DewarpShader shader, const DewarpConstants& constants,
                                  double u, double v) {
  switch (shader) {
    case DewarpShader::kPerspective: return Perspective(constants, u, v);
    case DewarpShader::kCeilingPanorama: return CeilingPanorama(constants, u, v);
    case DewarpShader::kFloorPanorama: return FloorPanorama(constants, u, v);
    case DewarpShader::kWallPanorama: return WallPanorama(constants, u, v);
  }
  return LensPoint(constants, NAN, NAN, true);
}

DewarpConstants PanoramaConstants(double width, double height, const double profile[3]) {
  DewarpConstants c{};
  c.size[0] = width;
  c.size[1] = height;
  c.imageCenter[0] = width / 2;
  c.imageCenter[1] = height / 2;
  for (int i = 0; i < 3; ++i) c.lensProfile[i] = profile[i] * height;
  return c;
}

DewarpConstants PerspectiveConstants(int effect, double pan, double tilt, double zoom,
                                     double viewAspect, double width, double height,
                                     const double profile[3]) {
  DewarpConstants c = PanoramaConstants(width, height, profile);
  double p = pan, q = tilt;
  if (zoom < 2) {
    // Blend toward an equidistant overview along the optical axis.
    const double overviewScale = viewAspect / (width / height) * height * 0.6;
    c.lensProfile[0] *= zoom;
    c.lensProfile[1] *= zoom;
    c.lensProfile[2] = zoom * c.lensProfile[2] + (1 - zoom) * overviewScale;
    c.tangentOfFieldOfView = std::tan(50 * kPi / 180);
    const double axisTilt = effect == 2 ? -90 : effect == 3 ? 90 : 0;
    if (effect == 1) p = zoom * pan;
    q = (1 - zoom) * axisTilt + zoom * tilt;
  } else {
    c.tangentOfFieldOfView = std::tan(zoom * kPi / 180);
  }
  const double rad = kPi / 180;
  if (effect == 1) {
    c.lambdaOffset = kPi;
    c.rotateData[0] = -q * rad;
    c.rotateData[1] = p * rad;
  } else {
    c.lambdaOffset = kPi / 2;
    c.rotateData[1] = -(q + (effect == 2 ? 90 : -90)) * rad;
    c.rotateData[2] = (effect == 2 ? p + 90 : -p - 90) * rad;
  }
  return c;
}

}  // namespace vv
