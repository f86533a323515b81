// Streams written by libjpeg-turbo as an independent reference: a 40x40 gray
// picture compressed by `cjpeg -grayscale -quality 85` (baseline), the same
// with `-restart 3B` (restarts), and the baseline made progressive by
// `jpegtran -progressive -copy none` (progressive; spectral selection and
// successive approximation of DC and AC). All three carry the same quantised
// coefficients, so every decode must agree, and re-encoding them must give
// the reference's baseline scan byte for byte.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "primitives/entropy_decode.h"
#include "primitives/entropy_encode.h"
#include "primitives/huffman_tables.h"

namespace {

using namespace vv;

// Runs `command` on the bytes of `input` (its standard input) and returns
// what it writes; empty when the tool is missing or fails. Native only: the
// reference tools are Linux programs.
std::vector<uint8_t> RunTool(const std::string& command, const std::vector<uint8_t>& input) {
  std::vector<uint8_t> output;
#ifndef _WIN32
  char inName[] = "/tmp/vv_reference_XXXXXX";
  const int fd = mkstemp(inName);
  if (fd < 0) return output;
  const bool written = write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size());
  close(fd);
  if (written) {
    if (FILE* pipe = popen((command + " < " + inName + " 2>/dev/null").c_str(), "r")) {
      uint8_t buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.insert(output.end(), buffer, buffer + n);
      if (pclose(pipe) != 0) output.clear();
    }
  }
  unlink(inName);
#endif
  return output;
}

// A 40x40 gray picture with smooth shapes and some texture, as a PGM file.
std::vector<uint8_t> GrayPicture() {
  const char header[] = "P5\n40 40\n255\n";
  std::vector<uint8_t> pgm(header, header + sizeof header - 1);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      pgm.push_back(static_cast<uint8_t>(128 + 90 * std::sin(x * 0.21 + y * 0.13) +
                                         ((x * 7919 + y * 104729) % 23) - 11));
  return pgm;
}

struct Table {
  uint8_t bits[16] = {};
  uint8_t vals[256] = {};
};

struct Scan {
  int ss, se, ah, al;
  const uint8_t* data;
  int32_t length;  // up to the marker that ends the scan
  Table dc, ac;    // as defined when the scan starts (tables change between scans)
};

// The few segments a one-component reference file uses.
struct Jpeg {
  Table tables[2][4];
  int blocks = 0, restartInterval = 0;
  bool progressive = false;
  std::vector<Scan> scans;
};

bool EndsScan(const uint8_t* p) { return p[0] == 0xFF && p[1] != 0x00 && (p[1] & 0xF8) != 0xD0; }

Jpeg Parse(const std::vector<uint8_t>& bytes) {
  const uint8_t* d = bytes.data();
  const size_t size = bytes.size();
  Jpeg j;
  size_t i = 2;
  while (i + 4 <= size && d[i + 1] != 0xD9) {
    const int marker = d[i + 1];
    const size_t length = d[i + 2] << 8 | d[i + 3];
    const uint8_t* p = d + i + 4;
    const uint8_t* end = d + i + 2 + length;
    i += 2 + length;
    if (marker == 0xC0 || marker == 0xC2) {
      j.progressive = marker == 0xC2;
      const int height = p[1] << 8 | p[2], width = p[3] << 8 | p[4];
      j.blocks = ((width + 7) / 8) * ((height + 7) / 8);
    } else if (marker == 0xDD) {
      j.restartInterval = p[0] << 8 | p[1];
    } else if (marker == 0xC4) {
      while (p < end) {
        const int tc = p[0] >> 4, th = p[0] & 3;
        int n = 0;
        Table& t = j.tables[tc][th];
        for (int k = 0; k < 16; ++k) n += t.bits[k] = p[1 + k];
        std::memcpy(t.vals, p + 17, n);
        p += 17 + n;
      }
    } else if (marker == 0xDA) {
      size_t e = i;
      while (!EndsScan(d + e)) ++e;
      j.scans.push_back({p[3], p[4], p[5] >> 4, p[5] & 15, d + i, static_cast<int32_t>(e - i),
                         j.tables[0][p[2] >> 4], j.tables[1][p[2] & 3]});
      i = e;
    }
  }
  return j;
}

// Decodes every scan of a one-component file. At a restart the decoder may
// or may not have met the marker yet; either way the next interval starts
// after it with a fresh state and DC prediction.
std::vector<int16_t> DecodeAll(const Jpeg& j) {
  std::vector<int16_t> coefficients(j.blocks * 64, 0);
  for (const Scan& s : j.scans) {
    HuffmanDecodeSpec dc, ac;
    EXPECT_EQ(BuildHuffmanDecodeSpec(s.dc.bits, s.dc.vals, &dc), StatusOk);
    EXPECT_EQ(BuildHuffmanDecodeSpec(s.ac.bits, s.ac.vals, &ac), StatusOk);
    HuffmanDecodeState state;
    InitHuffmanDecodeState(&state);
    int32_t offset = 0;
    uint32_t marker = 0;
    int16_t lastDc = 0;
    int restarts = 0;
    for (int b = 0; b < j.blocks; ++b) {
      if (j.restartInterval != 0 && b != 0 && b % j.restartInterval == 0) {
        if (marker == 0) {
          while (offset + 1 < s.length &&
                 !(s.data[offset] == 0xFF && (s.data[offset + 1] & 0xF8) == 0xD0))
            ++offset;
          marker = s.data[offset + 1];
          offset += 2;
        }
        EXPECT_EQ(marker, 0xD0u + restarts++ % 8);
        InitHuffmanDecodeState(&state);
        marker = 0;
        lastDc = 0;
      }
      int16_t* c = &coefficients[b * 64];
      int32_t status;
      if (!j.progressive)
        status =
            DecodeHuffmanBlock8x8(s.data, s.length, &offset, c, &lastDc, &marker, &dc, &ac, &state);
      else if (s.ss == 0 && s.ah == 0)
        status =
            DecodeHuffmanDcFirst(s.data, s.length, &offset, c, &lastDc, &marker, s.al, &dc, &state);
      else if (s.ss == 0)
        status = DecodeHuffmanDcRefine(s.data, s.length, &offset, c, &marker, s.al, &state);
      else if (s.ah == 0)
        status = DecodeHuffmanAcFirst(s.data, s.length, &offset, c, &marker, s.ss, s.se, s.al, &ac,
                                      &state);
      else
        status = DecodeHuffmanAcRefine(s.data, s.length, &offset, c, &marker, s.ss, s.se, s.al, &ac,
                                       &state);
      EXPECT_EQ(status, StatusOk) << "block " << b << " of scan " << s.ss << ".." << s.se;
    }
    EXPECT_EQ(offset, s.length);
    EXPECT_LT(state.bitCount, 8);
  }
  return coefficients;
}

// The three streams, made by the reference tools; the test skips without them.
class ReferenceStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline = RunTool("cjpeg -grayscale -quality 85", GrayPicture());
    restarts = RunTool("cjpeg -grayscale -quality 85 -restart 3B", GrayPicture());
    progressive = RunTool("jpegtran -progressive -copy none", baseline);
    if (baseline.empty() || restarts.empty() || progressive.empty())
      GTEST_SKIP() << "cjpeg and jpegtran are needed";
  }
  std::vector<uint8_t> baseline, restarts, progressive;
};

TEST_F(ReferenceStreams, AllDecodeToTheSameCoefficients) {
  const Jpeg base = Parse(baseline);
  const Jpeg restart = Parse(restarts);
  const Jpeg prog = Parse(progressive);
  ASSERT_EQ(base.blocks, 25);
  ASSERT_EQ(restart.restartInterval, 3);
  ASSERT_GE(prog.scans.size(), 6u);
  const std::vector<int16_t> expected = DecodeAll(base);
  int nonZero = 0;
  for (int16_t v : expected) nonZero += v != 0;
  EXPECT_GT(nonZero, 300);  // a real picture, not an empty one
  EXPECT_EQ(DecodeAll(restart), expected);
  EXPECT_EQ(DecodeAll(prog), expected);
}

TEST_F(ReferenceStreams, ReencodingGivesTheReferenceScan) {
  const Jpeg j = Parse(baseline);
  const std::vector<int16_t> coefficients = DecodeAll(j);
  const Scan& s = j.scans.at(0);
  HuffmanEncodeSpec dc, ac;
  ASSERT_EQ(BuildHuffmanEncodeSpec(s.dc.bits, s.dc.vals, &dc), StatusOk);
  ASSERT_EQ(BuildHuffmanEncodeSpec(s.ac.bits, s.ac.vals, &ac), StatusOk);
  HuffmanEncodeState state;
  InitHuffmanEncodeState(&state);
  std::vector<uint8_t> out(4096);
  int32_t offset = 0;
  int16_t lastDc = 0;
  for (int b = 0; b < j.blocks; ++b)
    ASSERT_EQ(EncodeHuffmanBlock8x8(&coefficients[b * 64], out.data(), 4096, &offset, &lastDc, &dc,
                                    &ac, &state, 0),
              StatusOk);
  ASSERT_EQ(EncodeHuffmanBlock8x8(nullptr, out.data(), 4096, &offset, nullptr, nullptr, nullptr,
                                  &state, 1),
            StatusOk);
  out.resize(offset);
  EXPECT_EQ(out, std::vector<uint8_t>(s.data, s.data + s.length));
}

}  // namespace
