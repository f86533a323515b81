#include "primitives/entropy_decode.h"

#include <cstring>

#include "primitives/compiler.h"
#include "primitives/dispatch.h"
#include "primitives/tables.h"

namespace vv {
namespace {

constexpr uint16_t kNoCode = 0xFFFF;

// The decoder's working copy of the stream position and the state, kept in
// locals for the length of one call and stored back on every exit.
struct BitReader {
  const uint8_t* src;
  int32_t length;
  int32_t offset;
  uint32_t marker;
  uint64_t acc;  // the valid bits are the low `bits` bits
  int32_t bits;
  int32_t eobRun;
};

BitReader LoadReader(const uint8_t* src, int32_t length, const int32_t* offset,
                     const uint32_t* marker, const HuffmanDecodeState* state) {
  return BitReader{
      src,          length, *offset, *marker, state->bitAccumulator & 0xFFFFFFFFu, state->bitCount,
      state->eobRun};
}

void StoreReader(const BitReader& r, int32_t* offset, uint32_t* marker, HuffmanDecodeState* state) {
  *offset = r.offset;
  *marker = r.marker;
  state->bitAccumulator = r.acc & 0xFFFFFFFFu;
  state->bitCount = r.bits;
  state->eobRun = r.eobRun;
}

VV_ALWAYS_INLINE uint32_t LoadBigEndian32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
#if defined(__GNUC__)
  return __builtin_bswap32(v);
#else
  return (v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24);
#endif
}

// Tops the accumulator up to at least 25 bits, a byte at a time, stopping at
// a marker or the end of the source; fails when `wanted` bits are still not
// held. Never invents fill bits after a marker.
VV_ALWAYS_INLINE int32_t Refill(BitReader& r, int32_t wanted) {
  if (r.marker != 0) return wanted > r.bits ? StatusBadValue : StatusOk;
  // Common case: the bytes needed hold no 0xFF and all lie inside the
  // source; they go in with one shift, exactly as the loop below would
  // take them.
  if (r.length - r.offset >= 4 && r.bits < 25) {
    const uint32_t word = LoadBigEndian32(r.src + r.offset);
    const int32_t take = (32 - r.bits) >> 3;  // 1..4 bytes reach 25..32 bits
    const uint32_t used = ~(0xFFFFFFFFu >> 1 >> (8 * take - 1));
    // A zero byte of ~word flags a 0xFF (a borrow may also flag its upper
    // neighbour, which only sends a clean word to the loop).
    if (((~word - 0x01010101u) & word & 0x80808080u & used) == 0) {
      r.acc = r.acc << (8 * take) | (word >> (32 - 8 * take));
      r.bits += 8 * take;
      r.offset += take;
      return StatusOk;
    }
  }
  while (r.bits < 25 && r.offset < r.length) {
    const uint32_t b = r.src[r.offset];
    if (b != 0xFF) {
      ++r.offset;
    } else {
      int32_t next = r.offset + 1;
      while (next < r.length && r.src[next] == 0xFF) ++next;
      // The source ends inside the sequence: treat it as the end of the
      // source, with the offset left on the 0xFF so that the sequence is read
      // again whole once the caller has more data. Failing outright would
      // also fail blocks whose bits are all held, whenever a caller's window
      // happens to end between 0xFF and its stuffed 0x00.
      if (next >= r.length) break;
      if (r.src[next] != 0x00) {
        r.marker = r.src[next];
        r.offset = next + 1;
        return wanted > r.bits ? StatusBadValue : StatusOk;
      }
      r.offset = next + 1;
    }
    r.acc = r.acc << 8 | b;
    r.bits += 8;
  }
  return wanted > r.bits ? StatusBufferEnd : StatusOk;
}

// The next n bits (1..16) without consuming them; n <= r.bits.
VV_ALWAYS_INLINE uint32_t PeekBits(const BitReader& r, int32_t n) {
  return static_cast<uint32_t>(r.acc >> (r.bits - n)) & ((1u << n) - 1);
}

// T.81 F.2.2.3 from code length `length` on, a bit at a time.
VV_ALWAYS_INLINE int32_t DecodeLongSymbol(BitReader& r, const HuffmanDecodeSpec* spec,
                                          int32_t length, int32_t* symbol) {
  *symbol = 0;
  // With 16 bits held no refill can happen; compare prefixes of one peek.
  if (r.bits >= 16) {
    const uint32_t next16 = PeekBits(r, 16);
    for (; length <= 16; ++length) {
      const uint32_t code = next16 >> (16 - length);
      const uint32_t maxCode = spec->maxCode[length];
      if (maxCode != kNoCode && code <= maxCode) break;
    }
    if (length > 16) return StatusBadValue;
  }
  for (; length <= 16; ++length) {
    if (r.bits < length) {
      const int32_t status = Refill(r, length);
      if (status != StatusOk) return status;
    }
    const uint32_t code = PeekBits(r, length);
    const uint32_t maxCode = spec->maxCode[length];
    if (maxCode == kNoCode || code > maxCode) continue;
    // Over-full tables can leave a code below the first code of its length;
    // the index check keeps such data inside the symbol table.
    const uint32_t minCode = spec->minCode[length];
    const uint32_t index = spec->valPtr[length] + code - minCode;
    if (code < minCode || index >= spec->valPtr[17] || index > 255) return StatusBadValue;
    r.bits -= length;
    *symbol = spec->symbols[index];
    return StatusOk;
  }
  return StatusBadValue;
}

// One Huffman symbol: a single table lookup for codes of up to 8 bits.
VV_ALWAYS_INLINE int32_t DecodeSymbol(BitReader& r, const HuffmanDecodeSpec* spec,
                                      int32_t* symbol) {
  if (r.bits < 8) {
    const int32_t status = Refill(r, 0);
    if (status != StatusOk) return status;
    if (r.bits < 8) return DecodeLongSymbol(r, spec, 1, symbol);
  }
  const uint32_t entry = spec->fastLookup[PeekBits(r, 8)];
  if (entry >> 16 == 0) return DecodeLongSymbol(r, spec, 9, symbol);
  r.bits -= static_cast<int32_t>(entry >> 16);
  *symbol = static_cast<int32_t>(entry & 0xFFFF);
  return StatusOk;
}

// Takes n bits (1..16).
VV_ALWAYS_INLINE int32_t ReceiveBits(BitReader& r, int32_t n, uint32_t* value) {
  if (r.bits < n) {
    const int32_t status = Refill(r, n);
    if (status != StatusOk) return status;
  }
  *value = PeekBits(r, n);
  r.bits -= n;
  return StatusOk;
}

// EXTEND of T.81 F.2.2.1 for an s-bit field, 1 <= s <= 16.
// Without a branch: the sign of an s-bit field is a coin toss in real data.
VV_ALWAYS_INLINE int32_t Extend(uint32_t value, int32_t s) {
  const int32_t v = static_cast<int32_t>(value);
  const int32_t belowHalf = (v - (1 << (s - 1))) >> 31;  // -1 when the top bit is clear
  return v + (kExtendOffset[s] & belowHalf);
}

// Receives and extends an s-bit value (s may be 0: value 0, no bits).
VV_ALWAYS_INLINE int32_t ReceiveExtended(BitReader& r, int32_t s, int32_t* value) {
  if (s == 0) {
    *value = 0;
    return StatusOk;
  }
  uint32_t bits;
  const int32_t status = ReceiveBits(r, s, &bits);
  if (status != StatusOk) return status;
  *value = Extend(bits, s);
  return StatusOk;
}

// A DC difference: category, then that many bits. Categories above 16 can
// only come from a corrupt table and are refused.
VV_ALWAYS_INLINE int32_t DecodeDcDifference(BitReader& r, const HuffmanDecodeSpec* spec,
                                            int32_t* diff) {
  int32_t s;
  const int32_t status = DecodeSymbol(r, spec, &s);
  if (status != StatusOk) return status;
  if (s > 16) return StatusBadValue;
  return ReceiveExtended(r, s, diff);
}

inline int16_t ToInt16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Checks shared by every decoder once its pointers and length are known good.
int32_t CheckPositionAndState(int32_t length, const int32_t* offset,
                              const HuffmanDecodeState* state) {
  if (*offset < 0 || *offset > length) return StatusBadArgument;
  if (state->bitCount < 0 || state->bitCount > 32 || state->eobRun < 0) return StatusBadArgument;
  return StatusOk;
}

int32_t CheckBand(int32_t ss, int32_t se, int32_t al) {
  if (ss < 1 || ss > 63 || se < ss || se > 63 || al < 0 || al > 13) return StatusBadArgument;
  return StatusOk;
}

// Sequential block body; *count receives the zig-zag positions covered.
int32_t DecodeBlock(BitReader& r, int16_t* coefficients, int16_t* lastDc,
                    const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                    int32_t* count) {
  *count = 0;
  int32_t diff = 0;
  int32_t status = StatusOk;
  // Category and value bits from one look when both are held, as for the
  // AC coefficients below; otherwise the step-by-step path.
  const uint64_t dcWindow = r.bits >= 8 ? r.acc << (64 - r.bits) : 0;
  const uint32_t dcEntry = dcSpec->fastLookup[dcWindow >> 56];
  const int32_t dcLength = static_cast<int32_t>(dcEntry >> 16);
  const int32_t dcSize = static_cast<int32_t>(dcEntry & 0xFFFF);
  if (r.bits >= 8 && dcLength != 0 && dcSize <= 16 && dcLength + dcSize <= r.bits) {
    r.bits -= dcLength + dcSize;
    if (dcSize != 0) {
      diff = Extend(static_cast<uint32_t>(dcWindow << dcLength >> (64 - dcSize)), dcSize);
    }
  } else {
    status = DecodeDcDifference(r, dcSpec, &diff);
    if (status != StatusOk) return status;
  }
  *lastDc = ToInt16(*lastDc + diff);
  coefficients[0] = *lastDc;

  int32_t k = 1;
  while (k < 64) {
    // With 8 or more bits held no refill is due before the symbol, so the
    // symbol can be looked up straight from the held bits; when its value
    // bits are held too (as for most coefficients), code and value come from
    // that one look, with one update of the bit count. Refills happen at
    // exactly the points where the step-by-step path would make them.
    int32_t rs = 0, length = 0;
    uint64_t window = 0;  // the held bits, next bit at the top
    if (r.bits >= 8) {
      window = r.acc << (64 - r.bits);
      const uint32_t entry = acSpec->fastLookup[window >> 56];
      length = static_cast<int32_t>(entry >> 16);
      rs = static_cast<int32_t>(entry & 0xFFFF);
    }
    if (length == 0) {
      status = DecodeSymbol(r, acSpec, &rs);  // refill, or a code above 8 bits
      if (status != StatusOk) break;
    } else if ((rs & 15) != 0 && length + (rs & 15) <= r.bits) {
      const int32_t size = rs & 15;
      const int32_t position = k + (rs >> 4);
      r.bits -= length + size;
      const uint32_t bits = static_cast<uint32_t>(window << length >> (64 - size));
      coefficients[kZigzagToNatural[position]] = ToInt16(Extend(bits, size));
      k = position + 1;
      continue;
    } else {
      r.bits -= length;
    }
    const int32_t run = rs >> 4;
    const int32_t size = rs & 15;
    if (size != 0) {
      const int32_t position = k + run;
      int32_t value;
      status = ReceiveExtended(r, size, &value);
      if (status != StatusOk) break;
      coefficients[kZigzagToNatural[position]] = ToInt16(value);
      k = position + 1;
    } else if (run == 15) {
      k += 16;
    } else {
      break;
    }
  }
  *count = k > 64 ? 64 : k;
  return status;
}

int32_t AcFirst(BitReader& r, int16_t* coefficients, int32_t ss, int32_t se, int32_t al,
                const HuffmanDecodeSpec* acSpec) {
  if (r.eobRun > 0) {
    --r.eobRun;
    return StatusOk;
  }
  const int32_t scale = 1 << al;
  for (int32_t k = ss; k <= se;) {
    int32_t rs;
    int32_t status = DecodeSymbol(r, acSpec, &rs);
    if (status != StatusOk) return status;
    const int32_t run = rs >> 4;
    const int32_t size = rs & 15;
    if (size != 0) {
      const int32_t position = k + run;
      int32_t value;
      status = ReceiveExtended(r, size, &value);
      if (status != StatusOk) return status;
      coefficients[kZigzagToNatural[position]] = ToInt16(value * scale);
      k = position + 1;
    } else if (run == 15) {
      k += 16;
    } else {
      uint32_t extra = 0;
      if (run != 0) {
        status = ReceiveBits(r, run, &extra);
        if (status != StatusOk) return status;
      }
      // This block is the first of the run.
      r.eobRun = (1 << run) + static_cast<int32_t>(extra) - 1;
      return StatusOk;
    }
  }
  return StatusOk;
}

// Applies a correction bit to a coefficient that already has history.
VV_ALWAYS_INLINE int32_t Correct(BitReader& r, int16_t* coefficient, int32_t p1) {
  uint32_t bit;
  const int32_t status = ReceiveBits(r, 1, &bit);
  if (status != StatusOk) return status;
  if (bit != 0 && (*coefficient & p1) == 0)
    *coefficient = ToInt16(*coefficient + (*coefficient >= 0 ? p1 : -p1));
  return StatusOk;
}

int32_t AcRefine(BitReader& r, int16_t* coefficients, int32_t ss, int32_t se, int32_t al,
                 const HuffmanDecodeSpec* acSpec) {
  const int32_t p1 = 1 << al;
  int32_t k = ss;
  int32_t status;
  if (r.eobRun == 0) {
    while (k <= se) {
      int32_t rs;
      status = DecodeSymbol(r, acSpec, &rs);
      if (status != StatusOk) return status;
      int32_t run = rs >> 4;
      int32_t value = 0;
      if ((rs & 15) != 0) {
        uint32_t sign;
        status = ReceiveBits(r, 1, &sign);
        if (status != StatusOk) return status;
        value = sign != 0 ? p1 : -p1;
      } else if (run != 15) {
        uint32_t extra = 0;
        if (run != 0) {
          status = ReceiveBits(r, run, &extra);
          if (status != StatusOk) return status;
        }
        r.eobRun = (1 << run) + static_cast<int32_t>(extra);
        break;
      }
      // Walk to the (run + 1)-th coefficient without history, correcting the
      // ones with history on the way; a ZRL stops on the 16th and skips it.
      for (; k <= se; ++k) {
        int16_t* c = &coefficients[kZigzagToNatural[k]];
        if (*c != 0) {
          status = Correct(r, c, p1);
          if (status != StatusOk) return status;
        } else {
          if (run == 0) break;
          --run;
        }
      }
      if (value != 0) coefficients[kZigzagToNatural[k]] = ToInt16(value);
      ++k;
    }
  }
  if (r.eobRun > 0) {
    for (; k <= se; ++k) {
      int16_t* c = &coefficients[kZigzagToNatural[k]];
      if (*c != 0) {
        status = Correct(r, c, p1);
        if (status != StatusOk) return status;
      }
    }
    --r.eobRun;
  }
  return StatusOk;
}

// A progressive AC band: the argument checks shared by the first and the
// refinement scans, then `body` on the loaded reader.
using BandBody = int32_t(BitReader&, int16_t*, int32_t, int32_t, int32_t, const HuffmanDecodeSpec*);
int32_t DecodeBand(BandBody* body, const uint8_t* src, int32_t length, int32_t* offset,
                   int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se, int32_t al,
                   const HuffmanDecodeSpec* acSpec, HuffmanDecodeState* state) {
  if (src == nullptr || offset == nullptr || coefficients == nullptr || marker == nullptr ||
      acSpec == nullptr || state == nullptr)
    return StatusNullPointer;
  if (length < 1) return StatusSizeError;
  int32_t status = CheckBand(ss, se, al);
  if (status == StatusOk) status = CheckPositionAndState(length, offset, state);
  if (status != StatusOk) return status;

  BitReader r = LoadReader(src, length, offset, marker, state);
  status = body(r, coefficients, ss, se, al, acSpec);
  StoreReader(r, offset, marker, state);
  return status;
}

// One lossless difference per T.81 H.1.2.2.
VV_ALWAYS_INLINE int32_t LosslessDiff(BitReader& r, const HuffmanDecodeSpec* spec, int16_t* out) {
  int32_t s;
  int32_t status = DecodeSymbol(r, spec, &s);
  if (status != StatusOk) return status;
  int32_t value = 32768;
  if (s < 16) {
    status = ReceiveExtended(r, s, &value);
    if (status != StatusOk) return status;
  }
  *out = ToInt16(value);
  return StatusOk;
}

}  // namespace

namespace level0 {

int32_t DecodeHuffmanBlock8x8(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, int16_t* lastDc, uint32_t* marker,
                              const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                              HuffmanDecodeState* state) {
  if (src == nullptr || offset == nullptr || coefficients == nullptr || lastDc == nullptr ||
      marker == nullptr || dcSpec == nullptr || acSpec == nullptr || state == nullptr)
    return StatusNullPointer;
  if (length < 0) return StatusBadArgument;
  int32_t status = CheckPositionAndState(length, offset, state);
  if (status != StatusOk) return status;

  // Two halves: compilers expand each into a few plain stores, where one
  // 128-byte clear may become a string instruction with a high start-up
  // cost for so small a block.
  std::memset(coefficients, 0, 32 * sizeof *coefficients);
  std::memset(coefficients + 32, 0, 32 * sizeof *coefficients);
  BitReader r = LoadReader(src, length, offset, marker, state);
  int32_t count;
  status = DecodeBlock(r, coefficients, lastDc, dcSpec, acSpec, &count);
  StoreReader(r, offset, marker, state);
  state->coefficientCount = count;
  return status;
}

int32_t DecodeHuffmanDcFirst(const uint8_t* src, int32_t length, int32_t* offset,
                             int16_t* coefficients, int16_t* lastDc, uint32_t* marker, int32_t al,
                             const HuffmanDecodeSpec* dcSpec, HuffmanDecodeState* state) {
  if (src == nullptr || offset == nullptr || coefficients == nullptr || lastDc == nullptr ||
      marker == nullptr || dcSpec == nullptr || state == nullptr)
    return StatusNullPointer;
  if (length < 1) return StatusSizeError;
  if (al < 0 || al > 13) return StatusBadArgument;
  int32_t status = CheckPositionAndState(length, offset, state);
  if (status != StatusOk) return status;

  BitReader r = LoadReader(src, length, offset, marker, state);
  int32_t diff;
  status = DecodeDcDifference(r, dcSpec, &diff);
  if (status == StatusOk) {
    *lastDc = ToInt16(*lastDc + diff);
    coefficients[0] = ToInt16(*lastDc * (1 << al));
  }
  StoreReader(r, offset, marker, state);
  return status;
}

int32_t DecodeHuffmanDcRefine(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, uint32_t* marker, int32_t al,
                              HuffmanDecodeState* state) {
  if (src == nullptr || offset == nullptr || coefficients == nullptr || marker == nullptr ||
      state == nullptr)
    return StatusNullPointer;
  if (length < 1) return StatusSizeError;
  if (al < 0 || al > 13) return StatusBadArgument;
  int32_t status = CheckPositionAndState(length, offset, state);
  if (status != StatusOk) return status;

  BitReader r = LoadReader(src, length, offset, marker, state);
  uint32_t bit;
  status = ReceiveBits(r, 1, &bit);
  if (status == StatusOk && bit != 0) coefficients[0] = ToInt16(coefficients[0] | (1 << al));
  StoreReader(r, offset, marker, state);
  return status;
}

int32_t DecodeHuffmanAcFirst(const uint8_t* src, int32_t length, int32_t* offset,
                             int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se,
                             int32_t al, const HuffmanDecodeSpec* acSpec,
                             HuffmanDecodeState* state) {
  return DecodeBand(AcFirst, src, length, offset, coefficients, marker, ss, se, al, acSpec, state);
}

int32_t DecodeHuffmanAcRefine(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se,
                              int32_t al, const HuffmanDecodeSpec* acSpec,
                              HuffmanDecodeState* state) {
  return DecodeBand(AcRefine, src, length, offset, coefficients, marker, ss, se, al, acSpec, state);
}

int32_t DecodeHuffmanLosslessDiff(const uint8_t* src, int32_t length, int32_t* offset, int16_t* out,
                                  uint32_t* marker, const HuffmanDecodeSpec* spec,
                                  HuffmanDecodeState* state) {
  if (src == nullptr || offset == nullptr || out == nullptr || marker == nullptr ||
      spec == nullptr || state == nullptr)
    return StatusNullPointer;
  if (length < 1) return StatusSizeError;
  int32_t status = CheckPositionAndState(length, offset, state);
  if (status != StatusOk) return status;

  BitReader r = LoadReader(src, length, offset, marker, state);
  status = LosslessDiff(r, spec, out);
  StoreReader(r, offset, marker, state);
  return status;
}

int32_t DecodeHuffmanLosslessRow(const uint8_t* src, int32_t length, int32_t* offset,
                                 int16_t* const* rows, int32_t width, int32_t componentCount,
                                 uint32_t* marker, const HuffmanDecodeSpec* const* specs,
                                 HuffmanDecodeState* state) {
  if (src == nullptr || offset == nullptr || rows == nullptr || marker == nullptr ||
      specs == nullptr || state == nullptr)
    return StatusNullPointer;
  if (length < 1 || width < 1 || componentCount < 1) return StatusSizeError;
  const int32_t components = componentCount > 4 ? 4 : componentCount;
  for (int32_t c = 0; c < components; ++c)
    if (rows[c] == nullptr || specs[c] == nullptr) return StatusNullPointer;
  int32_t status = CheckPositionAndState(length, offset, state);
  if (status != StatusOk) return status;

  BitReader r = LoadReader(src, length, offset, marker, state);
  for (int32_t x = 0; x < width && status == StatusOk; ++x)
    for (int32_t c = 0; c < components && status == StatusOk; ++c)
      status = LosslessDiff(r, specs[c], &rows[c][x]);
  StoreReader(r, offset, marker, state);
  return status;
}

}  // namespace level0

namespace {

using BlockFn = decltype(level0::DecodeHuffmanBlock8x8);
using DcFirstFn = decltype(level0::DecodeHuffmanDcFirst);
using DcRefineFn = decltype(level0::DecodeHuffmanDcRefine);
using AcBandFn = decltype(level0::DecodeHuffmanAcFirst);
using LosslessDiffFn = decltype(level0::DecodeHuffmanLosslessDiff);
using LosslessRowFn = decltype(level0::DecodeHuffmanLosslessRow);

constexpr BlockFn* kDecodeHuffmanBlock8x8[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanBlock8x8);
constexpr DcFirstFn* kDecodeHuffmanDcFirst[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanDcFirst);
constexpr DcRefineFn* kDecodeHuffmanDcRefine[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanDcRefine);
constexpr AcBandFn* kDecodeHuffmanAcFirst[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanAcFirst);
constexpr AcBandFn* kDecodeHuffmanAcRefine[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanAcRefine);
constexpr LosslessDiffFn* kDecodeHuffmanLosslessDiff[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanLosslessDiff);
constexpr LosslessRowFn* kDecodeHuffmanLosslessRow[kLevelTableSize] =
    VV_SAME_AT_EVERY_LEVEL(level0::DecodeHuffmanLosslessRow);

}  // namespace

int32_t DecodeHuffmanBlock8x8(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, int16_t* lastDc, uint32_t* marker,
                              const HuffmanDecodeSpec* dcSpec, const HuffmanDecodeSpec* acSpec,
                              HuffmanDecodeState* state) {
  return kDecodeHuffmanBlock8x8[ProcessorLevel()](src, length, offset, coefficients, lastDc, marker,
                                                  dcSpec, acSpec, state);
}

int32_t DecodeHuffmanDcFirst(const uint8_t* src, int32_t length, int32_t* offset,
                             int16_t* coefficients, int16_t* lastDc, uint32_t* marker, int32_t al,
                             const HuffmanDecodeSpec* dcSpec, HuffmanDecodeState* state) {
  return kDecodeHuffmanDcFirst[ProcessorLevel()](src, length, offset, coefficients, lastDc, marker,
                                                 al, dcSpec, state);
}

int32_t DecodeHuffmanDcRefine(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, uint32_t* marker, int32_t al,
                              HuffmanDecodeState* state) {
  return kDecodeHuffmanDcRefine[ProcessorLevel()](src, length, offset, coefficients, marker, al,
                                                  state);
}

int32_t DecodeHuffmanAcFirst(const uint8_t* src, int32_t length, int32_t* offset,
                             int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se,
                             int32_t al, const HuffmanDecodeSpec* acSpec,
                             HuffmanDecodeState* state) {
  return kDecodeHuffmanAcFirst[ProcessorLevel()](src, length, offset, coefficients, marker, ss, se,
                                                 al, acSpec, state);
}

int32_t DecodeHuffmanAcRefine(const uint8_t* src, int32_t length, int32_t* offset,
                              int16_t* coefficients, uint32_t* marker, int32_t ss, int32_t se,
                              int32_t al, const HuffmanDecodeSpec* acSpec,
                              HuffmanDecodeState* state) {
  return kDecodeHuffmanAcRefine[ProcessorLevel()](src, length, offset, coefficients, marker, ss, se,
                                                  al, acSpec, state);
}

int32_t DecodeHuffmanLosslessDiff(const uint8_t* src, int32_t length, int32_t* offset, int16_t* out,
                                  uint32_t* marker, const HuffmanDecodeSpec* spec,
                                  HuffmanDecodeState* state) {
  return kDecodeHuffmanLosslessDiff[ProcessorLevel()](src, length, offset, out, marker, spec,
                                                      state);
}

int32_t DecodeHuffmanLosslessRow(const uint8_t* src, int32_t length, int32_t* offset,
                                 int16_t* const* rows, int32_t width, int32_t componentCount,
                                 uint32_t* marker, const HuffmanDecodeSpec* const* specs,
                                 HuffmanDecodeState* state) {
  return kDecodeHuffmanLosslessRow[ProcessorLevel()](src, length, offset, rows, width,
                                                     componentCount, marker, specs, state);
}

}  // namespace vv
