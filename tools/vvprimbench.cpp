// vvprimbench: micro-benchmark of the primitive layer, a baseline for vector
// work. Prints ns per 8x8 inverse transform (each form), per Huffman symbol
// decoded, and ms per megapixel colour-converted and upsampled, at the
// processor level this machine selects or the one given with --level N.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "primitives/aligned_memory.h"
#include "primitives/colour.h"
#include "primitives/entropy_decode.h"
#include "primitives/entropy_encode.h"
#include "primitives/huffman_tables.h"
#include "primitives/idct.h"
#include "primitives/processor_level.h"
#include "primitives/quant_tables.h"
#include "primitives/sampling.h"
#include "primitives/tables.h"

namespace {

using Clock = std::chrono::steady_clock;
volatile uint32_t sink;

template <typename Fn>
double BestSeconds(int repeats, Fn&& fn) {
  double best = 1e30;
  for (int r = 0; r < repeats; ++r) {
    const auto t0 = Clock::now();
    fn();
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

// Blocks shaped like quantised natural-picture blocks: a DC, a few low
// frequencies, zeros elsewhere (zig-zag tail empty).
std::vector<int16_t> MakeBlocks(int count, int nonZeroAc, std::mt19937& rng) {
  std::vector<int16_t> blocks(static_cast<size_t>(count) * 64, 0);
  std::uniform_int_distribution<int> dc(-60, 60), ac(-12, 12);
  for (int b = 0; b < count; ++b) {
    int16_t* block = &blocks[static_cast<size_t>(b) * 64];
    block[0] = static_cast<int16_t>(dc(rng));
    for (int k = 1; k <= nonZeroAc; ++k) block[vv::kZigzagToNatural[k]] = static_cast<int16_t>(ac(rng));
  }
  return blocks;
}

void BenchIdct(std::mt19937& rng) {
  const int count = 4096;
  uint16_t quant[64];
  vv::BuildDequantTable8u(
      [] {
        static uint8_t q[64];
        for (int i = 0; i < 64; ++i) q[i] = static_cast<uint8_t>(2 + i / 4);
        return q;
      }(),
      quant);
  float quantF[64];
  for (int i = 0; i < 64; ++i) quantF[i] = quant[i];
  auto full = MakeBlocks(count, 20, rng);
  auto low4 = MakeBlocks(count, 9, rng);   // zig-zag 0..9 lie in the top-left 4x4
  auto low2 = MakeBlocks(count, 2, rng);   // zig-zag 0..2 lie in the top-left 2x2
  auto* out8 = static_cast<uint8_t*>(vv::AlignedAlloc(64 * 8));
  auto* out16 = static_cast<uint16_t*>(vv::AlignedAlloc(64 * 2 * 8));
  struct Form {
    const char* name;
    const std::vector<int16_t>* blocks;
    int32_t (*fn)(const int16_t*, uint8_t*, int32_t, const uint16_t*);
  };
  const Form forms[] = {
      {"DequantIdct8x8ToU8", &full, vv::DequantIdct8x8ToU8},
      {"DequantIdct8x8Low4x4ToU8", &low4, vv::DequantIdct8x8Low4x4ToU8},
      {"DequantIdct8x8Low2x2ToU8", &low2, vv::DequantIdct8x8Low2x2ToU8},
      {"DequantIdctDcOnlyToU8", &low2, vv::DequantIdctDcOnlyToU8},
      {"DequantIdct8x8To4x4U8", &full, vv::DequantIdct8x8To4x4U8},
      {"DequantIdct8x8To2x2U8", &full, vv::DequantIdct8x8To2x2U8},
  };
  for (const Form& f : forms) {
    const double s = BestSeconds(5, [&] {
      for (int i = 0; i < count; ++i) f.fn(&(*f.blocks)[static_cast<size_t>(i) * 64], out8, 8, quant);
    });
    std::printf("%-28s %8.1f ns/block\n", f.name, s * 1e9 / count);
  }
  const double s = BestSeconds(5, [&] {
    for (int i = 0; i < count; ++i) vv::DequantIdct8x8To16uFloat(&full[static_cast<size_t>(i) * 64], out16, 16, quantF);
  });
  std::printf("%-28s %8.1f ns/block\n", "DequantIdct8x8To16uFloat", s * 1e9 / count);
  sink = out8[0] + out16[0];
  vv::AlignedFree(out8);
  vv::AlignedFree(out16);
}

void BenchHuffman(std::mt19937& rng) {
  const int count = 20000;
  auto blocks = MakeBlocks(count, 14, rng);
  // Thin the AC so the runs vary, as in real pictures.
  std::uniform_int_distribution<int> keep(0, 2);
  for (size_t i = 0; i < blocks.size(); ++i) {
    if (i % 64 != 0 && keep(rng) == 0) blocks[i] = 0;
  }
  vv::HuffmanEncodeSpec dcE, acE;
  vv::HuffmanDecodeSpec dcD, acD;
  vv::BuildHuffmanEncodeSpec(vv::kStdDcLuminanceBits, vv::kStdDcLuminanceValues, &dcE);
  vv::BuildHuffmanEncodeSpec(vv::kStdAcLuminanceBits, vv::kStdAcLuminanceValues, &acE);
  vv::BuildHuffmanDecodeSpec(vv::kStdDcLuminanceBits, vv::kStdDcLuminanceValues, &dcD);
  vv::BuildHuffmanDecodeSpec(vv::kStdAcLuminanceBits, vv::kStdAcLuminanceValues, &acD);
  std::vector<uint8_t> stream(static_cast<size_t>(count) * 200);
  int32_t offset = 0;
  int16_t lastDc = 0;
  auto* encodeState = static_cast<vv::HuffmanEncodeState*>(vv::AlignedAlloc(sizeof(vv::HuffmanEncodeState)));
  vv::InitHuffmanEncodeState(encodeState);
  long symbols = 0;
  for (int b = 0; b < count; ++b) {
    const int16_t* block = &blocks[static_cast<size_t>(b) * 64];
    vv::EncodeHuffmanBlock8x8(block, stream.data(), static_cast<int32_t>(stream.size()), &offset,
                              &lastDc, &dcE, &acE, encodeState, 0);
    int run = 0;
    symbols += 1;
    for (int k = 1; k < 64; ++k) {
      if (block[vv::kZigzagToNatural[k]] == 0) { ++run; continue; }
      symbols += run / 16 + 1;
      run = 0;
    }
    if (run > 0) symbols += 1;
  }
  vv::EncodeHuffmanBlock8x8(nullptr, stream.data(), static_cast<int32_t>(stream.size()), &offset,
                            nullptr, nullptr, nullptr, encodeState, 1);
  const int32_t length = offset;
  vv::HuffmanDecodeState decodeState;
  alignas(32) int16_t coefficients[64];
  const double s = BestSeconds(5, [&] {
    int32_t at = 0;
    uint32_t marker = 0;
    int16_t dc = 0;
    vv::InitHuffmanDecodeState(&decodeState);
    for (int b = 0; b < count; ++b) {
      vv::DecodeHuffmanBlock8x8(stream.data(), length, &at, coefficients, &dc, &marker, &dcD, &acD, &decodeState);
    }
    sink = coefficients[0];
  });
  std::printf("%-28s %8.2f ns/symbol (%.1f ns/block, %.1f symbols/block, %d bytes)\n",
              "DecodeHuffmanBlock8x8", s * 1e9 / symbols, s * 1e9 / count,
              static_cast<double>(symbols) / count, length);
  vv::AlignedFree(encodeState);
}

void BenchPixels(std::mt19937& rng) {
  const int width = 1920, height = 1080;
  const int32_t pixels = width * height;
  std::vector<uint8_t> y(pixels), cb(pixels), cr(pixels), out(static_cast<size_t>(pixels) * 4);
  for (auto* plane : {&y, &cb, &cr}) {
    for (auto& v : *plane) v = static_cast<uint8_t>(rng());
  }
  const uint8_t* planes[3] = {y.data(), cb.data(), cr.data()};
  const vv::ImageSize size{width, height};
  const double mp = pixels / 1e6;
  double s = BestSeconds(5, [&] { vv::YCbCrToBgraVideo(planes, width, out.data(), width * 4, size, 0); });
  std::printf("%-28s %8.2f ms/megapixel\n", "YCbCrToBgraVideo", s * 1e3 / mp);
  s = BestSeconds(5, [&] { vv::YCbCrToRgb(planes, width, out.data(), width * 3, size); });
  std::printf("%-28s %8.2f ms/megapixel\n", "YCbCrToRgb", s * 1e3 / mp);
  s = BestSeconds(5, [&] {
    for (int r = 0; r < height; ++r) vv::UpsampleRowH2(&y[static_cast<size_t>(r) * width / 2], width / 2, &out[static_cast<size_t>(r) * width]);
  });
  std::printf("%-28s %8.2f ms/megapixel out\n", "UpsampleRowH2", s * 1e3 / mp);
  s = BestSeconds(5, [&] {
    for (int r = 1; r < height; ++r)
      vv::UpsampleRowH2V2(&y[static_cast<size_t>(r) * width / 2], &y[static_cast<size_t>(r - 1) * width / 2], width / 2, &out[static_cast<size_t>(r) * width]);
  });
  std::printf("%-28s %8.2f ms/megapixel out\n", "UpsampleRowH2V2", s * 1e3 / mp);
  sink = out[12345];
}

}  // namespace

int main(int argc, char** argv) {
  vv::SelectProcessorLevel();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--level") == 0 && i + 1 < argc) {
      vv::ForceProcessorLevelForTesting(std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: vvprimbench [--level 0..3]\n");
      return 2;
    }
  }
  std::printf("processor level %d\n", vv::ProcessorLevel());
  std::mt19937 rng(12345);
  BenchIdct(rng);
  BenchHuffman(rng);
  BenchPixels(rng);
  return 0;
}
