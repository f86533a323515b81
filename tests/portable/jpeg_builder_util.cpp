#include "jpeg_builder_util.h"

#include "entropy_test_util.h"
#include "primitives/huffman_tables.h"

namespace vv::test {

Bytes SofBody(int precision, int width, int height, const std::vector<FrameComponentSpec>& comps) {
  Bytes body = {uint8_t(precision), uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8),
                uint8_t(width), uint8_t(comps.size())};
  for (const FrameComponentSpec& c : comps) {
    body.insert(body.end(), {c.id, uint8_t(c.h << 4 | c.v), c.tq});
  }
  return body;
}

Bytes SosBody(const std::vector<ScanComponentSpec>& comps, int ss, int se, int ah, int al) {
  Bytes body = {uint8_t(comps.size())};
  for (const ScanComponentSpec& c : comps) body.insert(body.end(), {c.id, uint8_t(c.td << 4 | c.ta)});
  body.insert(body.end(), {uint8_t(ss), uint8_t(se), uint8_t(ah << 4 | al)});
  return body;
}

Bytes DqtBody8(int tq, uint8_t firstValue) {
  Bytes body = {uint8_t(tq)};
  for (int i = 0; i < 64; ++i) body.push_back(uint8_t(firstValue + i));
  return body;
}

Bytes DhtBody(int tc, int th, const uint8_t* bits, const uint8_t* values) {
  Bytes body = {uint8_t(tc << 4 | th)};
  int total = 0;
  for (int i = 0; i < 16; ++i) {
    body.push_back(bits[i]);
    total += bits[i];
  }
  body.insert(body.end(), values, values + total);
  return body;
}

Bytes JfifBody() { return {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 0, 0}; }

Bytes AdobeBody(int transform) { return {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, uint8_t(transform)}; }

std::vector<FrameComponentSpec> YCbCr(uint8_t h, uint8_t v) {
  return {{1, h, v, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};
}

std::vector<ScanComponentSpec> ScanOf(int n) {
  std::vector<ScanComponentSpec> comps;
  for (int i = 0; i < n; ++i) {
    const uint8_t table = i == 0 ? 0 : 1;
    comps.push_back({uint8_t(i + 1), table, table});
  }
  return comps;
}

JpegBuilder& JpegBuilder::Marker(uint8_t code) {
  bytes_.insert(bytes_.end(), {0xFF, code});
  return *this;
}

JpegBuilder& JpegBuilder::Raw(const Bytes& raw) {
  bytes_.insert(bytes_.end(), raw.begin(), raw.end());
  return *this;
}

JpegBuilder& JpegBuilder::Segment(uint8_t code, const Bytes& body, int lengthDelta) {
  const int length = int(body.size()) + 2 + lengthDelta;
  Marker(code);
  bytes_.insert(bytes_.end(), {uint8_t(length >> 8), uint8_t(length)});
  return Raw(body);
}

JpegBuilder& JpegBuilder::StandardDht() {
  Bytes body = DhtBody(0, 0, kStdDcLuminanceBits, kStdDcLuminanceValues);
  const Bytes parts[] = {DhtBody(1, 0, kStdAcLuminanceBits, kStdAcLuminanceValues),
                         DhtBody(0, 1, kStdDcChrominanceBits, kStdDcChrominanceValues),
                         DhtBody(1, 1, kStdAcChrominanceBits, kStdAcChrominanceValues)};
  for (const Bytes& part : parts) body.insert(body.end(), part.begin(), part.end());
  return Segment(0xC4, body);
}

namespace {

void PutDifference(BitSink* out, int difference) {
  difference &= 0xFFFF;
  if (difference >= 0x8000) difference -= 0x10000;
  if (difference == -32768) return out->Put(16, 5);  // category 16 has no extra bits
  const int category = BitSink::Category(difference);
  out->Put(uint32_t(category), 5);
  out->PutValue(difference, category);
}

// Table H.1 (independent of the decoder's); `first`: first line of the scan or restart interval.
int Predict(const LosslessFrame& f, const std::vector<int>& p, int x, int y, bool first) {
  const int w = f.width;
  if (first && x == 0) return 1 << (f.precision - f.pt - 1);
  if (first) return p[y * w + x - 1];
  if (x == 0) return p[(y - 1) * w];
  const int ra = p[y * w + x - 1], rb = p[(y - 1) * w + x], rc = p[(y - 1) * w + x - 1];
  switch (f.predictor) {
    case 1: return ra;
    case 2: return rb;
    case 3: return rc;
    case 4: return ra + rb - rc;
    case 5: return ra + ((rb - rc) >> 1);
    case 6: return rb + ((ra - rc) >> 1);
    default: return (ra + rb) >> 1;
  }
}

}  // namespace

Bytes EncodeLossless(const LosslessFrame& f, const std::vector<std::vector<int>>& planes) {
  static const uint8_t kBits[16] = {0, 0, 0, 0, 17};
  static const uint8_t kValues[17] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const int n = int(planes.size());
  JpegBuilder builder;
  builder.Soi();
  if (f.jfif) builder.Jfif();
  std::vector<FrameComponentSpec> frame;
  for (int k = 0; k < n; ++k) frame.push_back({uint8_t(k + 1), 1, 1, 0});
  builder.Sof(0xC3, f.precision, f.width, f.height, frame);
  builder.Segment(0xC4, DhtBody(0, 0, kBits, kValues));
  if (f.restartRows) builder.Dri(f.restartRows * f.width);
  for (int s = 0; s < (f.separateScans ? n : 1); ++s) {
    std::vector<ScanComponentSpec> listed;
    for (int k = 0; k < n; ++k) {
      if (!f.separateScans || k == s) listed.push_back({uint8_t(k + 1), 0, 0});
    }
    builder.Sos(listed, f.predictor, 0, 0, f.pt);
    BitSink out;
    int restarts = 0;
    for (int y = 0; y < f.height; ++y) {
      const bool first = y == 0 || (f.restartRows && y % f.restartRows == 0);
      if (y > 0 && first) out.PutMarker(uint8_t(0xD0 + (restarts++ & 7)));
      for (int x = 0; x < f.width; ++x) {
        for (const ScanComponentSpec& c : listed) {
          const std::vector<int>& p = planes[c.id - 1];
          PutDifference(&out, p[y * f.width + x] - Predict(f, p, x, y, first));
        }
      }
    }
    out.Pad();
    builder.Raw(out.bytes);
  }
  return builder.Eoi().bytes();
}

int32_t DecoderHarness::Run(const Bytes& bytes, int32_t passMode, int32_t window) {
  data = bytes;
  decoder.ReleaseFrame();
  decoder.InitFrame();
  source.buffer = data.data();
  source.size = int32_t(data.size());
  source.position = 0;
  const int32_t status = decoder.input.Attach(&source, window);
  if (status != 0) return status;
  return decoder.Decode(passMode);
}

int32_t DecoderHarness::StreamOffset() const {
  return source.position - (decoder.input.size - decoder.input.position);
}

}  // namespace vv::test
