// The shader assembler's tokens, checked against encodings worked out by
// hand from the Direct3D 9 byte-code format, and line-numbered refusals of
// bad sources. (The constant tables are read by D3DX itself in the Windows
// picture tests, which find the constants by name.)
#include "shader_assembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace vv {
namespace {

std::vector<uint32_t> Assemble(const std::string& source) {
  std::vector<uint32_t> tokens;
  std::string error;
  EXPECT_TRUE(AssembleShader(source, &tokens, &error)) << error;
  return tokens;
}

// The tokens between the constant-table comment and the end token.
std::vector<uint32_t> Body(const std::vector<uint32_t>& tokens) {
  if (tokens.size() < 3 || (tokens[1] & 0xFFFF) != 0xFFFE) return {};
  size_t start = 2 + (tokens[1] >> 16);
  if (start >= tokens.size() || tokens.back() != 0x0000FFFF) return {};
  return {tokens.begin() + start, tokens.end() - 1};
}

TEST(ShaderAssembler, InstructionTokens) {
  struct Case {
    const char* line;
    std::vector<uint32_t> tokens;
  } cases[] = {
      {"mov oC0, r0", {0x02000001, 0x800F0800, 0x80E40000}},
      {"mad_sat r1.xy, t0, c2.x, -r3.wzyx", {0x04000004, 0x80130001, 0xB0E40000, 0xA0000002, 0x811B0003}},
      {"texld r2, r1, s0", {0x03000042, 0x800F0002, 0x80E40001, 0xA0E40800}},
      {"sincos r4.xy, r5.z, c10, c11", {0x04000025, 0x80030004, 0x80AA0005, 0xA0E4000A, 0xA0E4000B}},
      {"cmp_pp r0.w, -r1.y, c0, r2", {0x04000058, 0x80280000, 0x81550001, 0xA0E40000, 0x80E40002}},
      {"frc r5.yw, -t7.zzxy", {0x02000013, 0x800A0005, 0xB14A0007}},
      {"def c6, 0.5, 1.0, -2.0, 0", {0x05000051, 0xA00F0006, 0x3F000000, 0x3F800000, 0xC0000000, 0}},
      {"dcl_2d s0", {0x0200001F, 0x90000000, 0xA00F0800}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Body(Assemble(std::string("ps_2_a\n") + c.line)), c.tokens) << c.line;
  }
}

TEST(ShaderAssembler, RefusesBadSourcesWithTheLine) {
  struct Case {
    const char* source;
    const char* message;  // expected start of the error
  } cases[] = {
      {"", "line 0: no version"},
      {"ps_2_a\n\n// note\nmad r0, r1, r2", "line 4: mad takes 4 operands"},
      {"ps_2_a\nmov r32, r0", "line 2: register 'r32' out of range"},
      {"ps_2_a\nmov r0.yx, r1", "line 2: bad write mask"},
      {"ps_2_a\nadd oC0, r1, r2", "line 2: oC registers are written only by mov"},
      {"ps_2_a\nuniform float a : c0\nuniform float a : c1", "line 3: constant 'a' declared twice"},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> tokens = {7};
    std::string error;
    EXPECT_FALSE(AssembleShader(c.source, &tokens, &error)) << c.source;
    EXPECT_EQ(error.compare(0, std::strlen(c.message), c.message), 0) << c.source << " -> " << error;
    EXPECT_EQ(tokens, std::vector<uint32_t>{7}) << "untouched on failure";
  }
}

// Every prefix and every one-character deletion of a real shader either
// assembles or is refused; none crashes (run under the sanitizers too).
TEST(ShaderAssembler, DamagedSourcesNeverCrash) {
  std::ifstream file(std::string(VV_SHADER_SOURCE_DIR) + "/ceiling_panorama.psa");
  std::stringstream stream;
  stream << file.rdbuf();
  const std::string source = stream.str();
  ASSERT_FALSE(source.empty());
  std::vector<uint32_t> tokens;
  std::string error;
  for (size_t i = 0; i < source.size(); ++i) {
    AssembleShader(source.substr(0, i), &tokens, &error);
    AssembleShader(source.substr(0, i) + source.substr(i + 1), &tokens, &error);
    std::string flipped = source;
    flipped[i] = static_cast<char>(flipped[i] ^ 0x5A);
    AssembleShader(flipped, &tokens, &error);
  }
}

}  // namespace
}  // namespace vv
