// Constant tables shared by the block primitives, built into the program.
#pragma once
#include <cstdint>

namespace vv {

// Zig-zag position → natural (row-major) index, ITU-T T.81 Figure A.6,
// followed by sixteen guard entries of 63: a run of up to 15 from any
// position up to 63 (corrupt data) lands inside the block without a clamp.
extern const int32_t kZigzagToNatural[64 + 16];

// Natural index → zig-zag position (the inverse of the first 64 entries above).
extern const int32_t kNaturalToZigzag[64];

// Number of significant bits of v for 0 <= v < 256 (0 for 0).
extern const uint8_t kBitLength[256];

// EXTEND offsets (T.81 F.2.2.1): an s-bit field v with its top bit clear
// stands for v + kExtendOffset[s], kExtendOffset[s] = 1 - 2^s (0 for s = 0 and 16).
extern const int32_t kExtendOffset[17];

// Category (SSSS) of a value: significant bits of |v|, for |v| < 65536.
inline int32_t Category(int32_t v) {
  const uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
  return a < 256 ? kBitLength[a] : kBitLength[(a >> 8) & 0xFF] + 8;
}

}  // namespace vv
