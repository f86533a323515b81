// Test-side T.81 stream builder (any length fields), an Annex H lossless encoder, a decoder harness.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "jpeg/decoder.h"
#include "jpeg/streams.h"

namespace vv::test {

using Bytes = std::vector<uint8_t>;

struct FrameComponentSpec {
  uint8_t id, h, v, tq;
};
struct ScanComponentSpec {
  uint8_t id, td, ta;
};

// Segment bodies (everything after the 16-bit length).
Bytes SofBody(int precision, int width, int height, const std::vector<FrameComponentSpec>& comps);
Bytes SosBody(const std::vector<ScanComponentSpec>& comps, int ss, int se, int ah, int al);
Bytes DqtBody8(int tq, uint8_t firstValue);  // values firstValue, firstValue + 1, ...
Bytes DhtBody(int tc, int th, const uint8_t* bits, const uint8_t* values);
Bytes JfifBody();  // version 1.02, no units, density 1 x 1
Bytes AdobeBody(int transform);

// Components 1, 2, 3: the first h x v, the others 1 x 1, tables 0/1/1.
std::vector<FrameComponentSpec> YCbCr(uint8_t h, uint8_t v);
// The scan over components 1..n, tables 0 for the first and 1 for the others.
std::vector<ScanComponentSpec> ScanOf(int n);

class JpegBuilder {
 public:
  JpegBuilder& Soi() { return Marker(0xD8); }
  JpegBuilder& Eoi() { return Marker(0xD9); }
  JpegBuilder& Marker(uint8_t code);
  JpegBuilder& Raw(const Bytes& raw);
  JpegBuilder& Raw(std::initializer_list<uint8_t> raw) { return Raw(Bytes(raw)); }
  // 0xFF code, length = body size + 2 (+ lengthDelta), body.
  JpegBuilder& Segment(uint8_t code, const Bytes& body, int lengthDelta = 0);

  JpegBuilder& Jfif() { return Segment(0xE0, JfifBody()); }
  JpegBuilder& Dqt8(int tq, uint8_t firstValue) { return Segment(0xDB, DqtBody8(tq, firstValue)); }
  JpegBuilder& Sof(uint8_t code, int precision, int width, int height,
                   const std::vector<FrameComponentSpec>& comps) {
    return Segment(code, SofBody(precision, width, height, comps));
  }
  // The four tables of T.81 Annex K.3 as DC/AC 0 and 1.
  JpegBuilder& StandardDht();
  JpegBuilder& Dri(int interval) { return Segment(0xDD, {uint8_t(interval >> 8), uint8_t(interval)}); }
  JpegBuilder& Sos(const std::vector<ScanComponentSpec>& comps, int ss = 0, int se = 63, int ah = 0,
                   int al = 0) {
    return Segment(0xDA, SosBody(comps, ss, se, ah, al));
  }
  // Entropy-coded looking bytes: stuffed zeros and no marker.
  JpegBuilder& ScanData() { return Raw({0x12, 0xFF, 0x00, 0x34, 0x56, 0xFF, 0x00, 0x78}); }

  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

// A lossless (SOF3) frame, every difference category coded in 5 bits.
struct LosslessFrame {
  int precision = 8, predictor = 1, pt = 0, width = 0, height = 0;
  bool separateScans = false;
  int restartRows = 0;  // 0: no restarts
  bool jfif = false;
};
// planes[k]: component k's samples, already shifted by the point transform.
Bytes EncodeLossless(const LosslessFrame& f, const std::vector<std::vector<int>>& planes);

// ReleaseFrame, InitFrame, a `window`-byte window over a copy of `data`, Decode(passMode).
class DecoderHarness {
 public:
  int32_t Run(const Bytes& data, int32_t passMode = 0, int32_t window = 16384);
  // Offset in `data` of the next byte the decoder would read.
  int32_t StreamOffset() const;

  CJPEGDecoder decoder;
  CMemBuffInput source;
  Bytes data;
};

}  // namespace vv::test
