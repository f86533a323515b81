// The shader assembler's tokens, checked against encodings worked out by
// hand from the Direct3D 9 byte-code format; its constant table read back
// field by field; the four dewarp shaders' tables against their documented
// registers; and line-numbered refusals of bad sources.
#include "shader_assembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
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
      {"dp2add r3.x, r1, r1, c0.w", {0x0400005A, 0x80010003, 0x80E40001, 0x80E40001, 0xA0FF0000}},
      {"rcp r0.z, c0.x", {0x02000006, 0x80040000, 0xA0000000}},
      {"add r0, r1.xy, v1", {0x03000002, 0x800F0000, 0x80540001, 0x90E40001}},
      {"mov r31, c31.abgr", {0x02000001, 0x800F001F, 0xA01B001F}},
      {"frc r5.yw, -t7.zzxy", {0x02000013, 0x800A0005, 0xB14A0007}},
      {"def c6, 0.5, 1.0, -2.0, 0", {0x05000051, 0xA00F0006, 0x3F000000, 0x3F800000, 0xC0000000, 0}},
      {"dcl t0.xy", {0x0200001F, 0x80000000, 0xB0030000}},
      {"dcl_2d s0", {0x0200001F, 0x90000000, 0xA00F0800}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Body(Assemble(std::string("ps_2_a\n") + c.line)), c.tokens) << c.line;
  }
}

// Constant-table reader written from the format: 'CTAB', a 28-byte header,
// 20-byte entries, 16-byte type records, offsets from the byte after 'CTAB'.
struct TableEntry {
  uint16_t set, index, count, typeClass, type, rows, columns, elements;
};

std::map<std::string, TableEntry> ReadTable(const std::vector<uint32_t>& tokens) {
  std::map<std::string, TableEntry> entries;
  EXPECT_EQ(tokens.at(0), 0xFFFF0201u);
  EXPECT_EQ(tokens.at(1) & 0xFFFF, 0xFFFEu);
  size_t words = tokens.at(1) >> 16;
  EXPECT_EQ(tokens.at(2), 0x42415443u);  // 'CTAB'
  std::vector<uint8_t> table((words - 1) * 4);
  std::memcpy(table.data(), &tokens.at(3), table.size());
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    EXPECT_LE(at + 4, table.size());
    if (at + 4 <= table.size()) std::memcpy(&v, &table[at], 4);
    return v;
  };
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(u32(at & ~size_t{3}) >> (8 * (at & 2))); };
  auto text = [&](size_t at) {
    size_t end = at;
    while (end < table.size() && table[end] != 0) ++end;
    EXPECT_LT(end, table.size()) << "unterminated string";
    return std::string(table.begin() + at, table.begin() + end);
  };
  EXPECT_EQ(u32(0), 28u);
  EXPECT_EQ(u32(8), 0xFFFF0201u);
  EXPECT_EQ(text(u32(24)), "ps_2_a");
  EXPECT_FALSE(text(u32(4)).empty());
  uint32_t count = u32(12), info = u32(16);
  for (uint32_t i = 0; i < count; ++i) {
    size_t e = info + 20 * i;
    size_t type = u32(e + 12);
    TableEntry entry{u16(e + 4), u16(e + 6), u16(e + 8), u16(type), u16(type + 2),
                     u16(type + 4), u16(type + 6), u16(type + 8)};
    EXPECT_EQ(u32(e + 16), 0u) << "default value";
    entries[text(u32(e))] = entry;
  }
  return entries;
}

bool operator==(const TableEntry& a, const TableEntry& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(ShaderAssembler, ConstantTableFields) {
  auto table = ReadTable(Assemble(
      "ps_2_a\nuniform float scale : c7\nuniform float3 axis : c2\n"
      "uniform float4 tint : c31\nuniform sampler2D picture : s3\nmov oC0, c7\n"));
  const struct {
    const char* name;
    TableEntry entry;  // set, index, count, class, type, rows, columns, elements
  } expected[] = {{"scale", {2, 7, 1, 0, 3, 1, 1, 1}},
                  {"axis", {2, 2, 1, 1, 3, 1, 3, 1}},
                  {"tint", {2, 31, 1, 1, 3, 1, 4, 1}},
                  {"picture", {3, 3, 1, 4, 12, 1, 1, 1}}};
  EXPECT_EQ(table.size(), 4u);
  for (const auto& e : expected) EXPECT_TRUE(table[e.name] == e.entry) << e.name;
}

std::vector<uint32_t> AssembleFile(const char* name) {
  std::ifstream file(std::string(VV_SHADER_SOURCE_DIR) + "/" + name);
  std::stringstream text;
  text << file.rdbuf();
  return Assemble(text.str());
}

// Register of each constant the renderer sets by name, per shader.
TEST(ShaderAssembler, DewarpShaderTablesMatchTheirRegisters) {
  struct Expected {
    const char* name;
    uint16_t set, index, typeClass, columns;
  };
  const std::vector<Expected> panorama = {
      {"size", 2, 0, 1, 2}, {"imageCenter", 2, 1, 1, 2}, {"LensProfile", 2, 2, 1, 3}, {"input", 3, 0, 4, 1}};
  const struct {
    const char* file;
    std::vector<Expected> constants;
  } shaders[] = {
      {"perspective.psa",
       {{"size", 2, 0, 1, 2}, {"tangentOfFieldOfView", 2, 1, 0, 1}, {"lambdaOffset", 2, 2, 0, 1},
        {"imageCenter", 2, 3, 1, 2}, {"rotateData", 2, 4, 1, 3}, {"LensProfile", 2, 5, 1, 3},
        {"input", 3, 0, 4, 1}}},
      {"ceiling_panorama.psa", panorama},
      {"floor_panorama.psa", panorama},
      {"wall_panorama.psa", panorama},
  };
  for (const auto& shader : shaders) {
    SCOPED_TRACE(shader.file);
    std::vector<uint32_t> tokens = AssembleFile(shader.file);
    auto table = ReadTable(tokens);
    EXPECT_EQ(table.size(), shader.constants.size());
    for (const Expected& e : shader.constants) {
      ASSERT_TRUE(table.count(e.name)) << e.name;
      const TableEntry& t = table[e.name];
      EXPECT_EQ(t.set, e.set) << e.name;
      EXPECT_EQ(t.index, e.index) << e.name;
      EXPECT_EQ(t.typeClass, e.typeClass) << e.name;
      EXPECT_EQ(t.columns, e.columns) << e.name;
      EXPECT_EQ(t.type, e.set == 3 ? 12 : 3) << e.name;
    }
    // Walking by the length fields lands exactly on the end token, and no
    // instruction exceeds the profile's slots.
    std::vector<uint32_t> body = Body(tokens);
    ASSERT_FALSE(body.empty());
    size_t at = 0, instructions = 0;
    while (at < body.size()) {
      EXPECT_EQ(body[at] & 0x80000000u, 0u) << "instruction token expected at " << at;
      at += 1 + ((body[at] >> 24) & 0xF);
      ++instructions;
    }
    EXPECT_EQ(at, body.size());
    EXPECT_LT(instructions, 512u);
  }
}

TEST(ShaderAssembler, RefusesBadSourcesWithTheLine) {
  struct Case {
    const char* source;
    const char* message;  // expected start of the error
  } cases[] = {
      {"", "line 0: no version"},
      {"mov r0, r1", "line 1: 'mov' before the version"},
      {"ps_2_a\nps_2_a", "line 2: the version must be"},
      {"ps_2_a\n\n// note\nmad r0, r1, r2", "line 4: mad takes 4 operands"},
      {"ps_2_a\nmadd r0, r1, r2, r3", "line 2: unknown instruction 'madd'"},
      {"ps_2_a\nmov r32, r0", "line 2: register 'r32' out of range"},
      {"ps_2_a\nmov r0.yx, r1", "line 2: bad write mask"},
      {"ps_2_a\nmov r0, r1.q", "line 2: bad swizzle"},
      {"ps_2_a\nmov r0, r1,", "line 2: empty operand"},
      {"ps_2_a\nmov c0, r1", "line 2: the destination must be"},
      {"ps_2_a\nadd oC0, r1, r2", "line 2: oC registers are written only by mov"},
      {"ps_2_a\nmov oC0.x, r0", "line 2: oC takes no write mask"},
      {"ps_2_a\nrcp r0.x, r1", "line 2: 'r1' must select one component"},
      {"ps_2_a\nsincos r0.z, r1.x, c0, c1", "line 2: sincos writes"},
      {"ps_2_a\nsincos r0.x, r1.x, c0, -c1", "line 2: '-c1' must be a plain c register"},
      {"ps_2_a\ntexld r0, r1, c0", "line 2: 'c0' must be a plain s register"},
      {"ps_2_a\nmov r0, s0", "line 2: a sampler is read only by texld"},
      {"ps_2_a\ndef c0, 1, 2, 3", "line 2: def takes"},
      {"ps_2_a\ndef c0, 1, 2, 3, x", "line 2: bad number 'x'"},
      {"ps_2_a\ndef c0, 1, 2, 3, 1e99", "line 2: bad number"},
      {"ps_2_a\nuniform float2 a : c0\ndef c0, 1, 2, 3, 4", "line 3: def: register already taken"},
      {"ps_2_a\nuniform float a : c0\nuniform float a : c1", "line 3: constant 'a' declared twice"},
      {"ps_2_a\nuniform float5 a : c0", "line 2: unknown constant type"},
      {"ps_2_a\nuniform sampler2D a : c0", "line 2: a sampler2D lives in an s register"},
      {"ps_2_a\nuniform float a c0", "line 2: expected 'uniform"},
      {"ps_2_a\ndcl_2d s0.x", "line 2: a sampler takes no write mask"},
      {"ps_2_a\ndcl r0", "line 2: dcl declares a t or v register"},
      {"ps_2_a\ndcl_cube s0", "line 2: unknown declaration"},
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
