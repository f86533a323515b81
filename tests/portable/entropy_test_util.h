// Test-side Huffman helpers, written from T.81 independently of the
// primitives: canonical code assignment (Annex C), a bit sink with 0xFF
// stuffing and 1-bit padding, and random valid tables.
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "primitives/huffman_tables.h"

namespace vv::test {

struct TableDef {
  uint8_t bits[16] = {};
  uint8_t vals[256] = {};
  int count() const {
    int n = 0;
    for (uint8_t b : bits) n += b;
    return n;
  }
};

struct Code {
  uint32_t code = 0;
  int length = 0;  // 0: the symbol has no code
};

// Annex C: consecutive codes within a length, shifted left at each length.
inline std::vector<Code> CanonicalCodes(const TableDef& t) {
  std::vector<Code> codes(256);
  uint32_t code = 0;
  int k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < t.bits[length - 1]; ++i) codes[t.vals[k++]] = Code{code++, length};
    code <<= 1;
  }
  return codes;
}

inline TableDef StdTable(const uint8_t* bits, const uint8_t* vals) {
  TableDef t;
  std::copy(bits, bits + 16, t.bits);
  std::copy(vals, vals + 256, t.vals);
  return t;
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

// A random prefix code for `symbols` (at most 256), Kraft sum below 1 so
// that the all-ones code stays unused, lengths 1..16, symbols in random
// order. `longBias` pushes codes towards the long lengths.
inline TableDef RandomTable(std::mt19937& rng, std::vector<uint8_t> symbols, bool longBias) {
  TableDef t;
  const int n = static_cast<int>(symbols.size());
  std::shuffle(symbols.begin(), symbols.end(), rng);
  std::copy(symbols.begin(), symbols.end(), t.vals);
  int64_t slots = 1;
  int assigned = 0;
  for (int length = 1; length <= 16; ++length) {
    slots *= 2;
    const int need = n - assigned;
    // Keep room for what is still needed plus the reserved all-ones code.
    // Deeper lengths can take (free slots) * 2^(16 - length) codes, less one.
    const auto capacityAfter = [&](int64_t count) {
      return length == 16 ? 0 : (slots - count) * (int64_t{1} << (16 - length)) - 1;
    };
    // Every code taken here costs 2^(16 - length) - 1 of that capacity.
    int64_t hi = std::min<int64_t>(need, slots - 1);
    while (hi > 0 && capacityAfter(hi) < need - hi) --hi;
    const int64_t lo = length == 16 ? need : 0;
    int64_t count = lo;
    if (hi > lo) {
      std::uniform_int_distribution<int64_t> pick(lo, hi);
      count = pick(rng);
      if (longBias) count = std::min(count, pick(rng));
    }
    t.bits[length - 1] = static_cast<uint8_t>(count);
    assigned += static_cast<int>(count);
    slots -= count;
  }
  return t;
}

inline std::vector<uint8_t> DcSymbols(int maxCategory) {
  std::vector<uint8_t> s;
  for (int c = 0; c <= maxCategory; ++c) s.push_back(static_cast<uint8_t>(c));
  return s;
}

// AC symbols with sizes 1..maxSize for every run, plus ZRL and the EOB
// symbols (all of EOB0..EOB14 when withEobRuns, else only EOB).
inline std::vector<uint8_t> AcSymbols(int maxSize, bool withEobRuns) {
  std::vector<uint8_t> s;
  for (int r = 0; r < 16; ++r)
    for (int size = 1; size <= maxSize; ++size) s.push_back(static_cast<uint8_t>(r << 4 | size));
  s.push_back(0xF0);
  s.push_back(0x00);
  if (withEobRuns)
    for (int r = 1; r < 15; ++r) s.push_back(static_cast<uint8_t>(r << 4));
  return s;
}

}  // namespace vv::test
