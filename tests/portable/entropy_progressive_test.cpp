// Progressive decoding (spectral selection and successive approximation)
// against a test-side progressive encoder written from T.81 G.1.2: every
// scan script must give back the original coefficients exactly.
#include <gtest/gtest.h>

#include <cstring>

#include "entropy_test_util.h"
#include "primitives/entropy_decode.h"
#include "primitives/tables.h"

namespace {

using namespace vv;
using test::BitSink;
using test::Code;

struct Block {
  int16_t c[64];
};

int CategoryOf(int32_t v) {
  uint32_t a = static_cast<uint32_t>(v < 0 ? -v : v);
  int s = 0;
  while (a >> s) ++s;
  return s;
}

int FloorShift(int v, int al) { return v >= 0 ? v >> al : -((-v - 1) >> al) - 1; }

struct Scan {
  int ss, se, ah, al;
};

// One scan of one component, T.81 G.1.2.1 to G.1.2.3.
class ScanWriter {
 public:
  ScanWriter(const std::vector<Code>& dc, const std::vector<Code>& ac) : dc_(dc), ac_(ac) {}

  std::vector<uint8_t> Write(const std::vector<Block>& blocks, const Scan& scan) {
    sink_ = BitSink();
    eobRun_ = 0;
    pendingCorrections_.clear();
    int lastDc = 0;
    for (const Block& b : blocks) {
      if (scan.ss == 0 && scan.ah == 0) {
        const int v = FloorShift(b.c[0], scan.al);
        const int diff = v - lastDc;
        lastDc = v;
        sink_.Put(dc_[CategoryOf(diff)]);
        sink_.PutValue(diff, CategoryOf(diff));
      } else if (scan.ss == 0) {
        sink_.Put(FloorShift(b.c[0], scan.al) & 1, 1);
      } else if (scan.ah == 0) {
        AcFirst(b, scan);
      } else {
        AcRefine(b, scan);
      }
    }
    FlushEobRun();
    sink_.Pad();
    return sink_.bytes;
  }

 private:
  static int Magnitude(const Block& b, int k, int al) {
    const int v = b.c[kZigzagToNatural[k]];
    return (v < 0 ? -v : v) >> al;
  }

  void CountEob() {
    if (++eobRun_ == 0x7FFF) FlushEobRun();
  }

  void FlushEobRun() {
    if (eobRun_ == 0) return;
    int n = 0;
    while (eobRun_ >> (n + 1)) ++n;
    sink_.Put(ac_[n << 4]);
    if (n > 0) sink_.Put(static_cast<uint32_t>(eobRun_), n);
    for (int bit : pendingCorrections_) sink_.Put(bit, 1);
    pendingCorrections_.clear();
    eobRun_ = 0;
  }

  void AcFirst(const Block& b, const Scan& scan) {
    int run = 0;
    for (int k = scan.ss; k <= scan.se; ++k) {
      const int a = Magnitude(b, k, scan.al);
      if (a == 0) {
        ++run;
        continue;
      }
      FlushEobRun();
      for (; run >= 16; run -= 16) sink_.Put(ac_[0xF0]);
      const int s = CategoryOf(a);
      sink_.Put(ac_[run << 4 | s]);
      sink_.PutValue(b.c[kZigzagToNatural[k]] < 0 ? -a : a, s);
      run = 0;
    }
    if (run > 0) CountEob();
  }

  // Coefficients with history (magnitude > 1 after the shift) send their bit
  // al as a correction bit after the next symbol; newly significant ones
  // (magnitude 1) are coded with run/size 1 and a sign bit.
  void AcRefine(const Block& b, const Scan& scan) {
    int lastNew = -1;
    for (int k = scan.ss; k <= scan.se; ++k)
      if (Magnitude(b, k, scan.al) == 1) lastNew = k;
    int run = 0;
    std::vector<int> corrections;
    for (int k = scan.ss; k <= scan.se; ++k) {
      const int a = Magnitude(b, k, scan.al);
      if (a == 0) {
        ++run;
        continue;
      }
      while (run > 15 && k <= lastNew) {
        FlushEobRun();
        sink_.Put(ac_[0xF0]);
        run -= 16;
        for (int bit : corrections) sink_.Put(bit, 1);
        corrections.clear();
      }
      if (a > 1) {
        corrections.push_back(a & 1);
        continue;
      }
      FlushEobRun();
      sink_.Put(ac_[run << 4 | 1]);
      sink_.Put(b.c[kZigzagToNatural[k]] < 0 ? 0 : 1, 1);
      for (int bit : corrections) sink_.Put(bit, 1);
      corrections.clear();
      run = 0;
    }
    if (run > 0 || !corrections.empty()) {
      pendingCorrections_.insert(pendingCorrections_.end(), corrections.begin(), corrections.end());
      CountEob();
    }
  }

  const std::vector<Code>& dc_;
  const std::vector<Code>& ac_;
  BitSink sink_;
  int eobRun_ = 0;
  std::vector<int> pendingCorrections_;
};

// Decodes one scan over all blocks into `decoded`.
void DecodeScan(const std::vector<uint8_t>& bytes, const Scan& scan, const HuffmanDecodeSpec& dc,
                const HuffmanDecodeSpec& ac, std::vector<Block>& decoded) {
  HuffmanDecodeState state;
  ASSERT_EQ(InitHuffmanDecodeState(&state), StatusOk);
  const int32_t length = static_cast<int32_t>(bytes.size());
  int32_t offset = 0;
  uint32_t marker = 0;
  int16_t lastDc = 0;
  for (size_t i = 0; i < decoded.size(); ++i) {
    int16_t* c = decoded[i].c;
    int32_t status;
    if (scan.ss == 0 && scan.ah == 0)
      status = DecodeHuffmanDcFirst(bytes.data(), length, &offset, c, &lastDc, &marker, scan.al,
                                    &dc, &state);
    else if (scan.ss == 0)
      status = DecodeHuffmanDcRefine(bytes.data(), length, &offset, c, &marker, scan.al, &state);
    else if (scan.ah == 0)
      status = DecodeHuffmanAcFirst(bytes.data(), length, &offset, c, &marker, scan.ss, scan.se,
                                    scan.al, &ac, &state);
    else
      status = DecodeHuffmanAcRefine(bytes.data(), length, &offset, c, &marker, scan.ss, scan.se,
                                     scan.al, &ac, &state);
    ASSERT_EQ(status, StatusOk) << "block " << i;
  }
  EXPECT_EQ(offset, length);
  EXPECT_LT(state.bitCount, 8);  // only padding left
  EXPECT_EQ(state.eobRun, 0);
  EXPECT_EQ(marker, 0u);
}

// A random scan script: DC first with some al, then its refinements; the
// band 1..63 cut into a few spectral bands, each with its own al, refined
// bit by bit down to 0 (bands and refinements interleaved randomly is not
// needed: each scan touches a disjoint bit plane of its band).
std::vector<Scan> RandomScript(std::mt19937& rng) {
  std::uniform_int_distribution<int> al(0, 3), cuts(0, 3), pos(1, 62);
  std::vector<Scan> script;
  const int dcAl = al(rng);
  script.push_back({0, 0, 0, dcAl});
  std::vector<int> edges = {0, 63};
  for (int i = cuts(rng); i > 0; --i) edges.push_back(pos(rng));
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  std::vector<Scan> refinements;
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const int ss = edges[i] + 1, se = edges[i + 1];
    const int a = al(rng);
    script.push_back({ss, se, 0, a});
    for (int bit = a - 1; bit >= 0; --bit) refinements.push_back({ss, se, bit + 1, bit});
  }
  for (int bit = dcAl - 1; bit >= 0; --bit) refinements.push_back({0, 0, bit + 1, bit});
  script.insert(script.end(), refinements.begin(), refinements.end());
  return script;
}

Block RandomBlock(std::mt19937& rng) {
  Block b{};
  std::uniform_int_distribution<int> dc(-2047, 2047), ac(-1023, 1023), small(-3, 3), pct(0, 99);
  b.c[0] = static_cast<int16_t>(dc(rng));
  const int kind = pct(rng);
  if (kind < 30) return b;  // DC only: long EOB runs
  const int density = pct(rng) / 2;
  for (int k = 1; k < 64; ++k) {
    if (pct(rng) >= density) continue;
    b.c[kZigzagToNatural[k]] = static_cast<int16_t>(kind < 60 ? small(rng) : ac(rng));
  }
  if (kind > 95) b.c[kZigzagToNatural[63]] = static_cast<int16_t>(ac(rng) | 1);
  return b;
}

void RunScript(const std::vector<Block>& blocks, const std::vector<Scan>& script,
               std::mt19937& rng) {
  const test::TableDef dcDef = test::RandomTable(rng, test::DcSymbols(15), false);
  const test::TableDef acDef = test::RandomTable(rng, test::AcSymbols(15, true), true);
  const std::vector<Code> dcCodes = test::CanonicalCodes(dcDef),
                          acCodes = test::CanonicalCodes(acDef);
  HuffmanDecodeSpec dc, ac;
  ASSERT_EQ(BuildHuffmanDecodeSpec(dcDef.bits, dcDef.vals, &dc), StatusOk);
  ASSERT_EQ(BuildHuffmanDecodeSpec(acDef.bits, acDef.vals, &ac), StatusOk);

  ScanWriter writer(dcCodes, acCodes);
  std::vector<Block> decoded(blocks.size(), Block{});
  for (const Scan& scan : script) {
    SCOPED_TRACE(testing::Message() << "scan Ss " << scan.ss << " Se " << scan.se << " Ah "
                                    << scan.ah << " Al " << scan.al);
    DecodeScan(writer.Write(blocks, scan), scan, dc, ac, decoded);
    if (testing::Test::HasFatalFailure()) return;
  }
  for (size_t i = 0; i < blocks.size(); ++i)
    ASSERT_EQ(std::memcmp(decoded[i].c, blocks[i].c, sizeof(Block)), 0) << "block " << i;
}

TEST(ProgressiveRoundTrip, TypicalScript) {
  std::mt19937 rng(11);
  std::vector<Block> blocks;
  for (int i = 0; i < 300; ++i) blocks.push_back(RandomBlock(rng));
  const std::vector<Scan> script = {{0, 0, 0, 1},  {1, 5, 0, 2},  {6, 63, 0, 2},
                                    {1, 63, 2, 1}, {1, 63, 1, 0}, {0, 0, 1, 0}};
  RunScript(blocks, script, rng);
}

TEST(ProgressiveRoundTrip, RandomScripts) {
  std::mt19937 rng(12);
  for (int round = 0; round < 40; ++round) {
    std::vector<Block> blocks;
    for (int i = 0; i < 80; ++i) blocks.push_back(RandomBlock(rng));
    RunScript(blocks, RandomScript(rng), rng);
    if (HasFatalFailure()) return;
  }
}

// More zero bands in a row than one EOB run can hold (32767).
TEST(ProgressiveRoundTrip, LongEobRuns) {
  std::mt19937 rng(13);
  std::vector<Block> blocks(33000, Block{});
  blocks[5].c[kZigzagToNatural[3]] = 6;
  blocks[32900].c[kZigzagToNatural[10]] = -5;
  RunScript(blocks, {{0, 0, 0, 0}, {1, 63, 0, 1}, {1, 63, 1, 0}}, rng);
}

}  // namespace
