// Synthetic fisheye frames, a lossless JPEG writer and view constants, in
// double precision with exact trigonometry.
#include "dewarp_frame_util.h"

#include <algorithm>
#include <cmath>

namespace vv::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

double LensRadius(const double lens[3], double t) {
  return ((lens[0] * t + lens[1]) * t + lens[2]) * t;
}

// Inverts the (monotone on the range used) lens polynomial by bisection.
double LensAngle(const double lens[3], double r) {
  double lo = 0, hi = 2.5;
  for (int i = 0; i < 60; ++i) {
    const double mid = (lo + hi) / 2;
    (LensRadius(lens, mid) < r ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Put(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) {
      byte_ = (byte_ << 1) | ((code >> i) & 1);
      if (++count_ == 8) Flush();
    }
  }
  void Finish() {
    while (count_ != 0) Put(1, 1);  // pad with ones
  }

 private:
  void Flush() {
    out_->push_back(uint8_t(byte_));
    if (byte_ == 0xFF) out_->push_back(0);  // stuffing
    byte_ = 0;
    count_ = 0;
  }
  std::vector<uint8_t>* out_;
  uint32_t byte_ = 0;
  int count_ = 0;
};

void Segment(std::vector<uint8_t>* out, uint8_t marker, const std::vector<uint8_t>& body) {
  const size_t length = body.size() + 2;
  out->insert(out->end(), {0xFF, marker, uint8_t(length >> 8), uint8_t(length)});
  out->insert(out->end(), body.begin(), body.end());
}

}  // namespace

double DirectionPattern(double x, double y, double z) {
  return 128 + 70 * x + 45 * y - 25 * z + 30 * x * y + 20 * x * z;
}

std::vector<uint8_t> FisheyeFrame(int width, int height, const double profile[3]) {
  const double lens[3] = {profile[0] * height, profile[1] * height, profile[2] * height};
  std::vector<uint8_t> gray(size_t(width) * height);
  for (int j = 0; j < height; ++j) {
    for (int i = 0; i < width; ++i) {
      const double dx = i + 0.5 - width / 2.0, dy = j + 0.5 - height / 2.0;
      const double theta = LensAngle(lens, std::hypot(dx, dy));
      const double psi = std::atan2(dy, dx);
      const double v = DirectionPattern(std::sin(theta) * std::cos(psi),
                                        std::sin(theta) * std::sin(psi), std::cos(theta));
      gray[size_t(j) * width + i] = uint8_t(std::clamp(std::lround(v), 0L, 255L));
    }
  }
  return gray;
}

std::vector<uint8_t> LosslessGrayJpeg(const std::vector<uint8_t>& gray, int width, int height) {
  // T.81 Table K.3: code lengths of the luminance DC categories 0..11.
  static const uint8_t kBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
  uint32_t codes[12];
  int lengths[12];
  uint32_t code = 0;
  int category = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int k = 0; k < kBits[length - 1]; ++k) {
      codes[category] = code++;
      lengths[category++] = length;
    }
    code <<= 1;
  }
  std::vector<uint8_t> out = {0xFF, 0xD8};
  Segment(&out, 0xC3, {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                       uint8_t(width), 1, 1, 0x11, 0});
  std::vector<uint8_t> dht = {0x00};
  dht.insert(dht.end(), kBits, kBits + 16);
  for (int v = 0; v < 12; ++v) dht.push_back(uint8_t(v));
  Segment(&out, 0xC4, dht);
  Segment(&out, 0xDA, {1, 1, 0x00, 1, 0, 0});  // predictor 1 (left), no point transform
  BitWriter bits(&out);
  for (int j = 0; j < height; ++j) {
    for (int i = 0; i < width; ++i) {
      // First sample 2^(P-1); first row from the left; first column from above.
      const int prediction = i > 0 ? gray[size_t(j) * width + i - 1]
                             : j > 0 ? gray[size_t(j - 1) * width]
                                     : 128;
      const int diff = gray[size_t(j) * width + i] - prediction;
      const int magnitude = std::abs(diff);
      int size = 0;
      while ((1 << size) <= magnitude) ++size;
      bits.Put(codes[size], lengths[size]);
      if (size > 0) bits.Put(uint32_t(diff < 0 ? diff - 1 : diff) & ((1u << size) - 1), size);
    }
  }
  bits.Finish();
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
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
    const double z = zoom;
    const double overviewScale = viewAspect / (width / height) * height * 0.6;
    c.lensProfile[0] *= z;
    c.lensProfile[1] *= z;
    c.lensProfile[2] = z * c.lensProfile[2] + (1 - z) * overviewScale;
    c.tangentOfFieldOfView = std::tan(50 * kPi / 180);
    const double axisTilt = effect == 2 ? -90 : effect == 3 ? 90 : 0;
    if (effect == 1) p = z * pan;
    q = (1 - z) * axisTilt + z * tilt;
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

double SampleBilinear(const std::vector<uint8_t>& gray, int width, int height, double x, double y) {
  const double tx = x - 0.5, ty = y - 0.5;
  const double fx = std::floor(tx), fy = std::floor(ty);
  const double ax = tx - fx, ay = ty - fy;
  auto at = [&](double i, double j) {
    const int wi = int(((long long)(i) % width + width) % width);
    const int wj = int(((long long)(j) % height + height) % height);
    return double(gray[size_t(wj) * width + wi]);
  };
  return (1 - ay) * ((1 - ax) * at(fx, fy) + ax * at(fx + 1, fy)) +
         ay * ((1 - ax) * at(fx, fy + 1) + ax * at(fx + 1, fy + 1));
}

}  // namespace vv::test
