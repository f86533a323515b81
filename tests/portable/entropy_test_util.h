// Test-side Huffman helpers from T.81, independent of the primitives.
#pragma once
#include <cstdint>
#include <vector>

namespace vv::test {

struct Code {
  uint32_t code = 0;
  int length = 0;  // 0: the symbol has no code
};

// Annex C: consecutive codes within a length, shifted left at each length.
inline std::vector<Code> CanonicalCodes(const uint8_t* bits, const uint8_t* vals) {
  std::vector<Code> codes(256);
  uint32_t code = 0;
  int k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < bits[length - 1]; ++i) codes[vals[k++]] = Code{code++, length};
    code <<= 1;
  }
  return codes;
}

// MSB-first bit writer with the entropy-coded segment's byte stuffing.
class BitSink {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      current_ = static_cast<uint8_t>(current_ << 1 | ((value >> i) & 1));
      if (++filled_ == 8) EmitByte();
    }
  }
  void Put(const Code& c) { Put(c.code, c.length); }
  // The bit count of |v| (T.81 F.1.2.1's category SSSS).
  static int Category(int32_t v) {
    int s = 0;
    while ((static_cast<uint32_t>(v < 0 ? -v : v) >> s) != 0) ++s;
    return s;
  }
  // The low s bits of v, or of v - 1 for a negative v (T.81 F.1.2.1).
  void PutValue(int32_t v, int s) {
    if (s > 0) Put(static_cast<uint32_t>(v < 0 ? v - 1 : v), s);
  }
  // Completes the last byte with 1-bits.
  void Pad() {
    while (filled_ != 0) Put(1, 1);
  }
  void PutMarker(uint8_t m) {
    Pad();
    bytes.push_back(0xFF);
    bytes.push_back(m);
  }
  std::vector<uint8_t> bytes;

 private:
  void EmitByte() {
    bytes.push_back(current_);
    if (current_ == 0xFF) bytes.push_back(0x00);
    current_ = 0;
    filled_ = 0;
  }
  uint8_t current_ = 0;
  int filled_ = 0;
};

}  // namespace vv::test
