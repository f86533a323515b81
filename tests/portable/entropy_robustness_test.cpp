// Argument checks of every entropy primitive at every processor level, and
// corrupt data: random bytes and over-full tables never make a decoder
// write outside its block or row, leave its stream position, or hang.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "entropy_test_util.h"
#include "primitives/entropy_decode.h"
#include "primitives/entropy_encode.h"
#include "primitives/processor_level.h"

namespace {

using namespace vv;

enum class Primitive {
  Block,
  DcFirst,
  DcRefine,
  AcFirst,
  AcRefine,
  LosslessDiff,
  LosslessRow,
  Encode
};

// Valid arguments for every primitive; a case breaks one (or two) of them.
struct Args {
  Args() {
    test::TableDef dc = test::StdTable(kStdDcLuminanceBits, kStdDcLuminanceValues);
    test::TableDef ac = test::StdTable(kStdAcLuminanceBits, kStdAcLuminanceValues);
    BuildHuffmanDecodeSpec(dc.bits, dc.vals, &dcSpec);
    BuildHuffmanDecodeSpec(ac.bits, ac.vals, &acSpec);
    BuildHuffmanEncodeSpec(dc.bits, dc.vals, &dcEncode);
    BuildHuffmanEncodeSpec(ac.bits, ac.vals, &acEncode);
    InitHuffmanDecodeState(&state);
    InitHuffmanEncodeState(&encodeState);
    for (int i = 0; i < 64; ++i) storage[i] = static_cast<int16_t>(i * 3 - 50);
    for (int c = 0; c < 4; ++c) {
      rowStorage[c][0] = rowStorage[c][1] = static_cast<int16_t>(c + 100);
      rowsArray[c] = rowStorage[c];
      specsArray[c] = &dcSpec;
    }
  }
  uint8_t bytes[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  int16_t storage[64];
  int16_t rowStorage[4][2];
  int16_t* rowsArray[4];
  const HuffmanDecodeSpec* specsArray[4];
  HuffmanDecodeSpec dcSpec, acSpec;
  HuffmanEncodeSpec dcEncode, acEncode;
  HuffmanDecodeState state;
  HuffmanEncodeState encodeState;
  uint8_t out[16] = {};
  int32_t offsetValue = 0;
  int16_t lastDcValue = 5;
  uint32_t markerValue = 0;

  const uint8_t* src = bytes;
  int32_t length = 8;
  int32_t* offset = &offsetValue;
  int16_t* coefficients = storage;
  int16_t* lastDc = &lastDcValue;
  uint32_t* marker = &markerValue;
  int32_t ss = 1, se = 63, al = 0;
  const HuffmanDecodeSpec* dc = &dcSpec;
  const HuffmanDecodeSpec* ac = &acSpec;
  HuffmanDecodeState* statePtr = &state;
  int16_t* const* rows = rowsArray;
  int32_t width = 2, components = 4;
  const HuffmanDecodeSpec* const* specs = specsArray;
  uint8_t* destination = out;
  int32_t capacity = 16;
  const HuffmanEncodeSpec* dcEnc = &dcEncode;
  const HuffmanEncodeSpec* acEnc = &acEncode;
  HuffmanEncodeState* encodeStatePtr = &encodeState;
  int32_t flush = 0;

  int32_t Call(Primitive p) {
    switch (p) {
      case Primitive::Block:
        return DecodeHuffmanBlock8x8(src, length, offset, coefficients, lastDc, marker, dc, ac,
                                     statePtr);
      case Primitive::DcFirst:
        return DecodeHuffmanDcFirst(src, length, offset, coefficients, lastDc, marker, al, dc,
                                    statePtr);
      case Primitive::DcRefine:
        return DecodeHuffmanDcRefine(src, length, offset, coefficients, marker, al, statePtr);
      case Primitive::AcFirst:
        return DecodeHuffmanAcFirst(src, length, offset, coefficients, marker, ss, se, al, ac,
                                    statePtr);
      case Primitive::AcRefine:
        return DecodeHuffmanAcRefine(src, length, offset, coefficients, marker, ss, se, al, ac,
                                     statePtr);
      case Primitive::LosslessDiff:
        return DecodeHuffmanLosslessDiff(src, length, offset, coefficients, marker, dc, statePtr);
      case Primitive::LosslessRow:
        return DecodeHuffmanLosslessRow(src, length, offset, rows, width, components, marker, specs,
                                        statePtr);
      case Primitive::Encode:
        return EncodeHuffmanBlock8x8(coefficients, destination, capacity, offset, lastDc, dcEnc,
                                     acEnc, encodeStatePtr, flush);
    }
    return 1;
  }

  // Everything a primitive may write, as bytes.
  std::vector<uint8_t> Outputs() const {
    std::vector<uint8_t> v;
    auto add = [&v](const void* p, size_t n) {
      const uint8_t* b = static_cast<const uint8_t*>(p);
      v.insert(v.end(), b, b + n);
    };
    add(storage, sizeof storage);
    add(rowStorage, sizeof rowStorage);
    add(&state, sizeof state);
    add(&encodeState, sizeof encodeState);
    add(out, sizeof out);
    add(&offsetValue, sizeof offsetValue);
    add(&lastDcValue, sizeof lastDcValue);
    add(&markerValue, sizeof markerValue);
    return v;
  }
};

struct CheckCase {
  const char* name;
  std::vector<Primitive> primitives;
  std::function<void(Args&)> breakArgs;
  int32_t status;
};

const std::vector<Primitive> kDecoders = {
    Primitive::Block,    Primitive::DcFirst,      Primitive::DcRefine,   Primitive::AcFirst,
    Primitive::AcRefine, Primitive::LosslessDiff, Primitive::LosslessRow};
const std::vector<Primitive> kAcBand = {Primitive::AcFirst, Primitive::AcRefine};
const std::vector<Primitive> kDc = {Primitive::DcFirst, Primitive::DcRefine};
const std::vector<Primitive> kSized = {Primitive::DcFirst,      Primitive::DcRefine,
                                       Primitive::AcFirst,      Primitive::AcRefine,
                                       Primitive::LosslessDiff, Primitive::LosslessRow};
const std::vector<Primitive> kRow = {Primitive::LosslessRow};
const std::vector<Primitive> kEncode = {Primitive::Encode};

std::vector<CheckCase> CheckCases() {
  return {
      {"null source", kDecoders, [](Args& a) { a.src = nullptr; }, StatusNullPointer},
      {"null offset", kDecoders, [](Args& a) { a.offset = nullptr; }, StatusNullPointer},
      {"null marker", kDecoders, [](Args& a) { a.marker = nullptr; }, StatusNullPointer},
      {"null state", kDecoders, [](Args& a) { a.statePtr = nullptr; }, StatusNullPointer},
      {"null block",
       {Primitive::Block, Primitive::DcFirst, Primitive::DcRefine, Primitive::AcFirst,
        Primitive::AcRefine, Primitive::LosslessDiff},
       [](Args& a) { a.coefficients = nullptr; },
       StatusNullPointer},
      {"null last DC",
       {Primitive::Block, Primitive::DcFirst},
       [](Args& a) { a.lastDc = nullptr; },
       StatusNullPointer},
      {"null DC spec",
       {Primitive::Block, Primitive::DcFirst, Primitive::LosslessDiff},
       [](Args& a) { a.dc = nullptr; },
       StatusNullPointer},
      {"null AC spec",
       {Primitive::Block, Primitive::AcFirst, Primitive::AcRefine},
       [](Args& a) { a.ac = nullptr; },
       StatusNullPointer},
      {"null first check wins", kDecoders,
       [](Args& a) {
         a.src = nullptr;
         a.length = -1;
         a.al = 99;
       },
       StatusNullPointer},
      {"negative length, block",
       {Primitive::Block},
       [](Args& a) { a.length = -1; },
       StatusBadArgument},
      {"zero length", kSized, [](Args& a) { a.length = 0; }, StatusSizeError},
      {"negative length", kSized, [](Args& a) { a.length = -3; }, StatusSizeError},
      {"negative offset", kDecoders, [](Args& a) { a.offsetValue = -1; }, StatusBadArgument},
      {"offset past length", kDecoders, [](Args& a) { a.offsetValue = 9; }, StatusBadArgument},
      {"state bit count 33", kDecoders, [](Args& a) { a.state.bitCount = 33; }, StatusBadArgument},
      {"state bit count -1", kDecoders, [](Args& a) { a.state.bitCount = -1; }, StatusBadArgument},
      {"negative EOB run", kDecoders, [](Args& a) { a.state.eobRun = -1; }, StatusBadArgument},
      {"Ss 0", kAcBand, [](Args& a) { a.ss = 0; }, StatusBadArgument},
      {"Ss 64", kAcBand, [](Args& a) { a.ss = a.se = 64; }, StatusBadArgument},
      {"Se below Ss", kAcBand, [](Args& a) { a.ss = 10, a.se = 9; }, StatusBadArgument},
      {"Se 64", kAcBand, [](Args& a) { a.se = 64; }, StatusBadArgument},
      {"Al -1", kAcBand, [](Args& a) { a.al = -1; }, StatusBadArgument},
      {"Al 14", kAcBand, [](Args& a) { a.al = 14; }, StatusBadArgument},
      {"DC Al -1", kDc, [](Args& a) { a.al = -1; }, StatusBadArgument},
      {"DC Al 14", kDc, [](Args& a) { a.al = 14; }, StatusBadArgument},
      {"size before range", kAcBand,
       [](Args& a) {
         a.length = 0;
         a.ss = 0;
       },
       StatusSizeError},
      {"width 0", kRow, [](Args& a) { a.width = 0; }, StatusSizeError},
      {"no components", kRow, [](Args& a) { a.components = 0; }, StatusSizeError},
      {"null rows", kRow, [](Args& a) { a.rows = nullptr; }, StatusNullPointer},
      {"null specs", kRow, [](Args& a) { a.specs = nullptr; }, StatusNullPointer},
      {"null row 3", kRow, [](Args& a) { a.rowsArray[3] = nullptr; }, StatusNullPointer},
      {"null spec 2", kRow, [](Args& a) { a.specsArray[2] = nullptr; }, StatusNullPointer},
      {"null destination", kEncode, [](Args& a) { a.destination = nullptr; }, StatusNullPointer},
      {"null destination, flush", kEncode,
       [](Args& a) {
         a.destination = nullptr;
         a.flush = 1;
       },
       StatusNullPointer},
      {"null offset", kEncode, [](Args& a) { a.offset = nullptr; }, StatusNullPointer},
      {"null state", kEncode, [](Args& a) { a.encodeStatePtr = nullptr; }, StatusNullPointer},
      {"null coefficients", kEncode, [](Args& a) { a.coefficients = nullptr; }, StatusNullPointer},
      {"null last DC", kEncode, [](Args& a) { a.lastDc = nullptr; }, StatusNullPointer},
      {"null DC table", kEncode, [](Args& a) { a.dcEnc = nullptr; }, StatusNullPointer},
      {"null AC table", kEncode, [](Args& a) { a.acEnc = nullptr; }, StatusNullPointer},
      {"capacity 0", kEncode, [](Args& a) { a.capacity = 0; }, StatusSizeError},
      {"capacity 0, flush", kEncode,
       [](Args& a) {
         a.capacity = 0;
         a.flush = 1;
       },
       StatusSizeError},
      {"offset past capacity", kEncode, [](Args& a) { a.offsetValue = 17; }, StatusBadArgument},
      {"negative offset", kEncode, [](Args& a) { a.offsetValue = -1; }, StatusBadArgument},
      {"8 pending bits", kEncode, [](Args& a) { a.encodeState.pendingBits = 8; },
       StatusBadArgument},
  };
}

TEST(EntropyArguments, CheckedAlikeAtEveryLevelAndNothingWritten) {
  for (int32_t level = 0; level <= 4; ++level) {
    ForceProcessorLevelForTesting(level);
    for (const CheckCase& c : CheckCases()) {
      for (Primitive p : c.primitives) {
        Args args;
        c.breakArgs(args);
        const std::vector<uint8_t> before = args.Outputs();
        EXPECT_EQ(args.Call(p), c.status)
            << c.name << ", primitive " << static_cast<int>(p) << ", level " << level;
        EXPECT_EQ(args.Outputs(), before) << c.name << ", primitive " << static_cast<int>(p);
      }
    }
  }
  ForceProcessorLevelForTesting(0);
}

// Valid arguments pass the checks at every level (the data itself may then
// fail): guards against a check that rejects too much.
TEST(EntropyArguments, BoundaryValuesAreAccepted) {
  struct Case {
    Primitive p;
    std::function<void(Args&)> set;
  };
  const Case cases[] = {
      {Primitive::Block, [](Args& a) { a.length = 0; }},
      {Primitive::AcFirst, [](Args& a) { a.ss = a.se = 63, a.al = 13; }},
      {Primitive::AcRefine, [](Args& a) { a.ss = 1, a.se = 1, a.al = 13; }},
      {Primitive::DcFirst, [](Args& a) { a.al = 13; }},
      {Primitive::DcRefine, [](Args& a) { a.offsetValue = 8; }},
      {Primitive::LosslessRow, [](Args& a) { a.components = 9, a.width = 1; }},
      {Primitive::Encode, [](Args& a) { a.offsetValue = 16, a.flush = 1; }},
  };
  for (int32_t level = 0; level <= 4; ++level) {
    ForceProcessorLevelForTesting(level);
    for (const Case& c : cases) {
      Args args;
      c.set(args);
      const int32_t status = args.Call(c.p);
      EXPECT_TRUE(status == StatusOk || status == StatusBufferEnd || status == StatusBadValue)
          << static_cast<int>(c.p) << " gave " << status;
    }
  }
  ForceProcessorLevelForTesting(0);
}

// Random bytes, rich in 0xFF, 0x00 and markers.
std::vector<uint8_t> RandomBytes(std::mt19937& rng) {
  std::uniform_int_distribution<int> len(0, 300), pct(0, 99), byte(0, 255);
  std::vector<uint8_t> v(len(rng));
  for (uint8_t& b : v) {
    const int p = pct(rng);
    b = static_cast<uint8_t>(p < 15 ? 0xFF : p < 25 ? 0x00 : p < 30 ? 0xD0 + p % 8 : byte(rng));
  }
  return v;
}

// Valid random codes, or random counts whose codes overflow their lengths.
test::TableDef RandomAnyTable(std::mt19937& rng) {
  std::uniform_int_distribution<int> pct(0, 99), count(0, 40), byte(0, 255);
  if (pct(rng) < 50) return test::RandomTable(rng, test::AcSymbols(15, true), pct(rng) < 50);
  test::TableDef t;
  int total = 0;
  for (int i = 0; i < 16; ++i) {
    const int n = std::min(count(rng) * (pct(rng) < 40), 256 - total);
    t.bits[i] = static_cast<uint8_t>(n);
    total += n;
  }
  for (uint8_t& v : t.vals) v = static_cast<uint8_t>(byte(rng));
  return t;
}

TEST(CorruptData, NeverWritesOutsideTheBlockOrHangs) {
  std::mt19937 rng(2024);
  constexpr int kGuard = 40;
  constexpr int16_t kSentinel = 0x5A5A;
  for (int round = 0; round < 3000; ++round) {
    const test::TableDef dcDef = RandomAnyTable(rng), acDef = RandomAnyTable(rng);
    HuffmanDecodeSpec dc, ac;
    ASSERT_EQ(BuildHuffmanDecodeSpec(dcDef.bits, dcDef.vals, &dc), StatusOk);
    ASSERT_EQ(BuildHuffmanDecodeSpec(acDef.bits, acDef.vals, &ac), StatusOk);
    std::vector<uint8_t> bytes = RandomBytes(rng);
    bytes.push_back(0);  // keeps data() non-null; the length below excludes it
    const int32_t length = static_cast<int32_t>(bytes.size()) - 1;

    std::uniform_int_distribution<int> pick(0, 6), pos(1, 63), al(0, 13);
    const Primitive p = kDecoders[pick(rng)];
    int32_t ss = pos(rng), se = pos(rng);
    if (se < ss) std::swap(ss, se);
    const int32_t a = al(rng);

    int16_t guarded[kGuard + 64 + kGuard];
    std::fill(std::begin(guarded), std::end(guarded), kSentinel);
    int16_t* block = guarded + kGuard;
    std::fill(block, block + 64, int16_t{0});
    const HuffmanDecodeSpec* specs[4] = {&dc, &ac, &dc, &ac};
    int16_t* rows[4] = {block, block + 16, block + 32, block + 48};

    HuffmanDecodeState state;
    InitHuffmanDecodeState(&state);
    int32_t offset = 0;
    uint32_t marker = 0;
    int16_t lastDc = 0;
    // Each call must return; a stream can feed at most this many of them
    // before every later call fails or stops moving.
    for (int call = 0; call < 400; ++call) {
      const int32_t before = offset;
      int32_t status = StatusOk;
      switch (p) {
        case Primitive::Block:
          status = DecodeHuffmanBlock8x8(bytes.data(), length, &offset, block, &lastDc, &marker,
                                         &dc, &ac, &state);
          ASSERT_GE(state.coefficientCount, 0);
          ASSERT_LE(state.coefficientCount, 64);
          break;
        case Primitive::DcFirst:
          status = DecodeHuffmanDcFirst(bytes.data(), length, &offset, block, &lastDc, &marker, a,
                                        &dc, &state);
          break;
        case Primitive::DcRefine:
          status = DecodeHuffmanDcRefine(bytes.data(), length, &offset, block, &marker, a, &state);
          break;
        case Primitive::AcFirst:
          status = DecodeHuffmanAcFirst(bytes.data(), length, &offset, block, &marker, ss, se, a,
                                        &ac, &state);
          break;
        case Primitive::AcRefine:
          status = DecodeHuffmanAcRefine(bytes.data(), length, &offset, block, &marker, ss, se, a,
                                         &ac, &state);
          break;
        case Primitive::LosslessDiff:
          status = DecodeHuffmanLosslessDiff(bytes.data(), length, &offset, block + call % 64,
                                             &marker, &dc, &state);
          break;
        case Primitive::LosslessRow:
          status = DecodeHuffmanLosslessRow(bytes.data(), length, &offset, rows, 16, 4, &marker,
                                            specs, &state);
          break;
        default:
          break;
      }
      if (length == 0) {
        ASSERT_NE(status, StatusOk);
      }
      ASSERT_GE(offset, before);
      ASSERT_LE(offset, length);
      ASSERT_GE(state.bitCount, 0);
      ASSERT_LE(state.bitCount, 32);
      ASSERT_GE(state.eobRun, 0);
      if (status != StatusOk) break;
    }
    for (int i = 0; i < kGuard; ++i) {
      ASSERT_EQ(guarded[i], kSentinel) << "round " << round;
      ASSERT_EQ(guarded[kGuard + 64 + i], kSentinel) << "round " << round;
    }
  }
}

}  // namespace
