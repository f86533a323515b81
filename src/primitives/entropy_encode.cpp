#include "primitives/entropy_encode.h"

#include <cstring>

#include "primitives/dispatch.h"
#include "primitives/tables.h"

namespace vv {
namespace {

// Working copy of the output position and the state for one call. acc and
// pending always describe the last committed code.
struct BitWriter {
  uint8_t* dst;
  int32_t capacity;
  int32_t offset;
  uint32_t acc;  // pending bits left-aligned under bit 23
  int32_t pending;
};

// Appends the low n bits of code (n = 0: the symbol has no code). Whole
// bytes go out at once, each 0xFF followed by a stuffed 0x00.
inline int32_t PutBits(BitWriter& w, uint32_t code, int32_t n) {
  if (n == 0 || n > 16) return StatusBadTable;
  int32_t total = n + w.pending;
  uint32_t acc = w.acc | (code & ((1u << n) - 1)) << (24 - total);
  while (total >= 8) {
    if (w.offset >= w.capacity) return StatusBufferEnd;
    const uint8_t byte = static_cast<uint8_t>(acc >> 16);
    w.dst[w.offset++] = byte;
    if (byte == 0xFF) {
      if (w.offset >= w.capacity) return StatusBufferEnd;
      w.dst[w.offset++] = 0x00;
    }
    acc = (acc << 8) & 0xFFFFFFu;
    total -= 8;
  }
  w.acc = acc;
  w.pending = total;
  return StatusOk;
}

// Sends the Huffman code of a symbol from a spec entry (code | length << 16).
inline int32_t PutCode(BitWriter& w, uint32_t entry) {
  return PutBits(w, entry & 0xFFFF, static_cast<int32_t>(entry >> 16));
}

// Index of the lowest set bit of a non-zero word.
inline int32_t LowestSetBit(uint64_t bits) {
#if defined(__GNUC__)
  return __builtin_ctzll(bits);
#else
  int32_t n = 0;
  while ((bits & 1) == 0) bits >>= 1, ++n;
  return n;
#endif
}

// Zig-zag position of each natural index, walked along the anti-diagonals
// of the block (T.81 Figure A.6), at compile time.
struct NaturalToZigzagOrder {
  int32_t at[64];
};
constexpr NaturalToZigzagOrder MakeNaturalToZigzag() {
  NaturalToZigzagOrder order{};
  int32_t k = 0;
  for (int32_t s = 0; s < 15; ++s) {
    for (int32_t i = 0; i <= s; ++i) {
      const int32_t row = s % 2 == 0 ? s - i : i;
      const int32_t column = s - row;
      if (row < 8 && column < 8) order.at[row * 8 + column] = k++;
    }
  }
  return order;
}

// For each row of the block and each pattern of non-zero coefficients in
// that row (bit c = column c), the same coefficients as zig-zag position
// bits; eight lookups turn a natural-order mask into a zig-zag one.
struct RowMaskTables {
  uint64_t row[8][256];
};
constexpr RowMaskTables MakeRowMaskTables() {
  const NaturalToZigzagOrder zigzag = MakeNaturalToZigzag();
  RowMaskTables tables{};
  for (int32_t r = 0; r < 8; ++r) {
    for (int32_t pattern = 0; pattern < 256; ++pattern) {
      uint64_t bits = 0;
      for (int32_t c = 0; c < 8; ++c) {
        if ((pattern >> c) & 1) bits |= uint64_t{1} << zigzag.at[r * 8 + c];
      }
      tables.row[r][pattern] = bits;
    }
  }
  return tables;
}
constexpr RowMaskTables kRowMaskToZigzag = MakeRowMaskTables();

// Bit k set when the coefficient at zig-zag position k is non-zero. The
// comparisons run over the block in natural order, where they vectorise;
// each row's eight 0/1 bytes become eight bits through one multiplication
// (byte c, read little-endian, lands on bit 56 + c), and the table moves
// them to their zig-zag positions.
inline uint64_t ZigzagNonZeroMask(const int16_t* coefficients) {
  uint8_t nonZero[64];
  for (int32_t n = 0; n < 64; ++n) nonZero[n] = coefficients[n] != 0;
  uint64_t mask = 0;
  for (int32_t r = 0; r < 8; ++r) {
    uint64_t bytes;
    std::memcpy(&bytes, nonZero + 8 * r, sizeof bytes);
    mask |= kRowMaskToZigzag.row[r][(bytes * 0x0102040810204080ull) >> 56];
  }
  return mask;
}

// The s low bits that follow a category code: v, or v - 1 when negative.
inline uint32_t ValueBits(int32_t v) { return static_cast<uint32_t>(v < 0 ? v - 1 : v); }

// The symbols of one block in coding order, nonZero holding the zig-zag
// positions of the non-zero AC coefficients as bits (so that zero runs are
// skipped without a branch per coefficient): emit(entry, value, s) appends
// the code of a spec entry followed by the s low bits of value and returns
// a status; the first failure ends the block with that status.
template <class Emit>
int32_t WalkBlock(const int16_t* coefficients, uint64_t nonZero, int16_t* lastDc,
                  const HuffmanEncodeSpec* dcSpec, const HuffmanEncodeSpec* acSpec, Emit emit) {
  const int32_t diff = coefficients[0] - *lastDc;
  *lastDc = coefficients[0];
  int32_t s = Category(diff);
  int32_t status = emit(dcSpec->codes[s], ValueBits(diff), s);
  if (status != StatusOk) return status;

  const uint32_t zrl = acSpec->codes[0xF0];
  int32_t previous = 0;
  while (nonZero != 0) {
    const int32_t k = LowestSetBit(nonZero);
    nonZero &= nonZero - 1;
    const int32_t v = coefficients[kZigzagToNatural[k]];
    int32_t run = k - previous - 1;
    previous = k;
    for (; run > 15; run -= 16) {
      status = emit(zrl, 0, 0);
      if (status != StatusOk) return status;
    }
    s = Category(v);
    // -32768 is the one 16-bit value of category 16; no AC symbol carries it.
    if (s > 15) return StatusBadTable;
    status = emit(acSpec->codes[run << 4 | s], ValueBits(v), s);
    if (status != StatusOk) return status;
  }
  if (previous < 63) return emit(acSpec->codes[0x00], 0, 0);
  return StatusOk;
}

int32_t EncodeBlock(BitWriter& w, const int16_t* coefficients, uint64_t acNonZero,
                    int16_t* lastDc, const HuffmanEncodeSpec* dcSpec,
                    const HuffmanEncodeSpec* acSpec) {
  return WalkBlock(coefficients, acNonZero, lastDc, dcSpec, acSpec,
                   [&w](uint32_t entry, uint32_t value, int32_t s) {
                     int32_t status = PutCode(w, entry);
                     if (status == StatusOk && s != 0) status = PutBits(w, value, s);
                     return status;
                   });
}

// Number of set bits.
inline int32_t BitCount(uint64_t bits) {
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int32_t>((bits * 0x0101010101010101ull) >> 56);
}

// The most a block with these non-zero AC coefficients can take: a DC code
// and value (16 + 16 bits), the AC codes with values (16 + 15 bits each),
// at most three ZRL and an EOB code (16 bits each), plus 7 pending bits, all
// doubled for stuffed bytes. Bounding by the block's own count rather than
// by 63 lets nearly every block take the wide writer even when the free
// space is down to the encoder's reserve.
inline int32_t BlockWorstCaseBytes(uint64_t acNonZero) {
  return 2 * ((32 + BitCount(acNonZero) * 31 + 4 * 16 + 7) / 8 + 1);
}

// Bits gathered right-aligned in a 64-bit word and written out four bytes
// at a time, for blocks that are known to fit the free space: no capacity
// check per byte and one accumulator update per code and value.
struct WideBitWriter {
  uint8_t* out;
  uint64_t acc;  // the low `bits` bits are pending, oldest highest
  int32_t bits;
};

// One whole byte out, with its stuffed 0x00 after a 0xFF.
inline void WriteByte(WideBitWriter& w) {
  w.bits -= 8;
  const uint8_t byte = static_cast<uint8_t>(w.acc >> w.bits);
  *w.out++ = byte;
  if (byte == 0xFF) *w.out++ = 0x00;
}

// With 32 or more bits pending, writes the oldest four bytes: with one
// store when none of them is 0xFF (a zero byte in the complement), else one
// at a time. Fewer than 32 bits are pending afterwards, which is all that
// the next code and value need.
inline void WriteWord(WideBitWriter& w) {
  const uint32_t word = static_cast<uint32_t>(w.acc >> (w.bits - 32));
  const uint32_t complement = ~word;
  if (((complement - 0x01010101u) & ~complement & 0x80808080u) == 0) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                              static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
    std::memcpy(w.out, bytes, 4);
    w.out += 4;
    w.bits -= 32;
    return;
  }
  for (int i = 0; i < 4; ++i) WriteByte(w);
}

// Every whole byte out, leaving at most 7 bits pending.
inline void WriteWholeBytes(WideBitWriter& w) {
  if (w.bits >= 32) WriteWord(w);
  while (w.bits >= 8) WriteByte(w);
}

// Appends a code from a spec entry (code | length << 16) followed by the s
// low bits of value; false, with nothing appended, for a missing code.
inline bool PutCodeAndValue(WideBitWriter& w, uint32_t entry, uint32_t value, int32_t s) {
  const int32_t n = static_cast<int32_t>(entry >> 16);
  if (n == 0 || n > 16) return false;
  const uint64_t code = entry & ((1u << n) - 1);
  const uint64_t bits = code << s | (value & ((uint64_t{1} << s) - 1));
  // bits < 32 before, n + s <= 32 here: at most 63 bits are held.
  w.acc = w.acc << (n + s) | bits;
  w.bits += n + s;
  if (w.bits >= 32) WriteWord(w);
  return true;
}

// EncodeBlock for a block that fits: same bytes, and on a missing code the
// same output and state as the byte-at-a-time writer leaves.
int32_t EncodeBlockWide(BitWriter& narrow, const int16_t* coefficients, uint64_t acNonZero,
                        int16_t* lastDc, const HuffmanEncodeSpec* dcSpec,
                        const HuffmanEncodeSpec* acSpec) {
  WideBitWriter w{narrow.dst + narrow.offset, narrow.acc >> (24 - narrow.pending),
                  narrow.pending};
  const int32_t status = WalkBlock(coefficients, acNonZero, lastDc, dcSpec, acSpec,
                                   [&w](uint32_t entry, uint32_t value, int32_t s) {
                                     return PutCodeAndValue(w, entry, value, s) ? StatusOk
                                                                                : StatusBadTable;
                                   });
  WriteWholeBytes(w);
  narrow.offset = static_cast<int32_t>(w.out - narrow.dst);
  narrow.pending = w.bits;
  narrow.acc = static_cast<uint32_t>(w.acc & ((1u << w.bits) - 1)) << (24 - w.bits);
  return status;
}

}  // namespace

namespace level0 {

int32_t EncodeHuffmanBlock8x8(const int16_t* coefficients, uint8_t* destination, int32_t capacity,
                              int32_t* offset, int16_t* lastDc, const HuffmanEncodeSpec* dcSpec,
                              const HuffmanEncodeSpec* acSpec, HuffmanEncodeState* state,
                              int32_t flush) {
  if (destination == nullptr || offset == nullptr || state == nullptr) return StatusNullPointer;
  if (flush == 0 &&
      (coefficients == nullptr || lastDc == nullptr || dcSpec == nullptr || acSpec == nullptr))
    return StatusNullPointer;
  if (capacity < 1) return StatusSizeError;
  if (*offset < 0 || *offset > capacity || state->pendingBits < 0 || state->pendingBits > 7)
    return StatusBadArgument;

  BitWriter w{destination, capacity, *offset, state->bitAccumulator & 0xFFFFFFu,
              state->pendingBits};
  int32_t status;
  if (flush != 0) {
    // Seven 1-bits complete any partial byte; what is left over is dropped.
    status = PutBits(w, 0x7F, 7);
    *offset = w.offset;
    if (status == StatusOk) std::memset(state, 0, sizeof *state);
    return status;
  }
  // The wide writer needs the pending bits clean below the last one, as
  // every writer here leaves them.
  const bool cleanState = (w.acc & ((1u << (24 - w.pending)) - 1)) == 0;
  const uint64_t acNonZero = ZigzagNonZeroMask(coefficients) & ~uint64_t{1};
  if (cleanState && capacity - w.offset >= BlockWorstCaseBytes(acNonZero)) {
    status = EncodeBlockWide(w, coefficients, acNonZero, lastDc, dcSpec, acSpec);
  } else {
    status = EncodeBlock(w, coefficients, acNonZero, lastDc, dcSpec, acSpec);
  }
  *offset = w.offset;
  state->bitAccumulator = w.acc;
  state->pendingBits = w.pending;
  return status;
}

}  // namespace level0

namespace {

using EncodeBlockFn = decltype(level0::EncodeHuffmanBlock8x8);
constexpr EncodeBlockFn* kEncodeHuffmanBlock8x8[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::EncodeHuffmanBlock8x8);

}  // namespace

int32_t EncodeHuffmanBlock8x8(const int16_t* coefficients, uint8_t* destination, int32_t capacity,
                              int32_t* offset, int16_t* lastDc, const HuffmanEncodeSpec* dcSpec,
                              const HuffmanEncodeSpec* acSpec, HuffmanEncodeState* state,
                              int32_t flush) {
  return kEncodeHuffmanBlock8x8[ProcessorLevel()](coefficients, destination, capacity, offset,
                                                  lastDc, dcSpec, acSpec, state, flush);
}

}  // namespace vv
