#include "shader_emulator_util.h"

#include <cmath>
#include <cstring>

namespace vv {
namespace {

struct Machine {
  float temp[32][4];
  bool written[32][4];
  float constant[32][4];
  float texture[8][4];
  bool textureDeclared[8];
  bool samplerDeclared[16];
  float output[4];
  bool outputWritten;
};

uint32_t RegisterType(uint32_t token) { return ((token >> 28) & 7) | (((token >> 11) & 3) << 3); }
uint32_t RegisterIndex(uint32_t token) { return token & 0x7FF; }

bool Fail(std::string* error, const std::string& message, size_t at) {
  *error = message + " at token " + std::to_string(at);
  return false;
}

// One source operand after swizzle and negation; `used` says which of the
// swizzled components the instruction consumes (those must be initialised).
bool ReadSource(Machine& m, uint32_t token, uint32_t used, size_t at, float value[4],
                std::string* error) {
  if ((token & 0x80000000u) == 0) return Fail(error, "not a parameter token", at);
  uint32_t type = RegisterType(token), index = RegisterIndex(token);
  uint32_t modifier = (token >> 24) & 0xF;
  if (modifier > 1) return Fail(error, "source modifier outside the subset", at);
  const float* reg = nullptr;
  uint32_t swizzle = (token >> 16) & 0xFF;
  switch (type) {
    case 0:
      if (index >= 32) return Fail(error, "temporary out of range", at);
      for (int i = 0; i < 4; ++i)
        if ((used >> i & 1) && !m.written[index][(swizzle >> (2 * i)) & 3])
          return Fail(error, "temporary r" + std::to_string(index) + " read before written", at);
      reg = m.temp[index];
      break;
    case 2:
      if (index >= 32) return Fail(error, "constant out of range", at);
      reg = m.constant[index];
      break;
    case 3:
      if (index >= 8 || !m.textureDeclared[index]) return Fail(error, "undeclared t register", at);
      reg = m.texture[index];
      break;
    default:
      return Fail(error, "source register type " + std::to_string(type), at);
  }
  for (int i = 0; i < 4; ++i) {
    value[i] = reg[(swizzle >> (2 * i)) & 3];
    if (modifier == 1) value[i] = -value[i];
  }
  return true;
}

}  // namespace

bool RunPixelShader(const std::vector<uint32_t>& tokens, const float constants[32][4], float u,
                    float v, const ShaderSampler& sampler, ShaderRun* run, std::string* error) {
  Machine m;
  std::memset(&m, 0, sizeof m);
  std::memcpy(m.constant, constants, sizeof m.constant);
  m.texture[0][0] = u;
  m.texture[0][1] = v;
  run->sincosCount = 0;
  run->sincosWorst = 0;
  if (tokens.empty() || tokens[0] != 0xFFFF0201u) return Fail(error, "not a ps_2_x stream", 0);
  size_t at = 1;
  while (at < tokens.size()) {
    uint32_t instruction = tokens[at];
    uint32_t opcode = instruction & 0xFFFF;
    if (opcode == 0xFFFF) {
      if (!m.outputWritten) return Fail(error, "oC0 never written", at);
      std::memcpy(run->color, m.output, sizeof m.output);
      return true;
    }
    if (opcode == 0xFFFE) {
      at += 1 + ((instruction >> 16) & 0x7FFF);
      continue;
    }
    size_t length = (instruction >> 24) & 0xF;
    if (length == 0 || at + length >= tokens.size()) return Fail(error, "bad length", at);
    const uint32_t* p = &tokens[at + 1];
    size_t next = at + 1 + length;
    if (opcode == 81) {  // def
      if (length != 5 || RegisterType(p[0]) != 2 || RegisterIndex(p[0]) >= 32)
        return Fail(error, "bad def", at);
      std::memcpy(m.constant[RegisterIndex(p[0])], p + 1, 16);
      at = next;
      continue;
    }
    if (opcode == 31) {  // dcl
      if (length != 2) return Fail(error, "bad dcl", at);
      uint32_t type = RegisterType(p[1]), index = RegisterIndex(p[1]);
      if (type == 3 && index < 8) m.textureDeclared[index] = true;
      else if (type == 10 && index < 16 && (p[0] >> 27 & 0xF) == 2) m.samplerDeclared[index] = true;
      else return Fail(error, "dcl outside the subset", at);
      at = next;
      continue;
    }
    float s[3][4] = {};
    float result[4] = {};
    size_t sources = length - 1;
    if (opcode == 66) {  // texld: coordinate, sampler
      if (length != 3 || RegisterType(p[2]) != 10 || !m.samplerDeclared[RegisterIndex(p[2])] ||
          RegisterIndex(p[2]) != 0)
        return Fail(error, "bad texld", at);
      if (!ReadSource(m, p[1], 0x3, at, s[0], error)) return false;
      sampler(s[0][0], s[0][1], result);
    } else {
      if (sources > 3) return Fail(error, "too many sources", at);
      uint32_t mask = (p[0] >> 16) & 0xF;
      for (size_t i = 0; i < sources; ++i) {
        uint32_t used = mask;
        if (opcode == 6 || opcode == 7 || opcode == 37) used = 0x1;
        else if (opcode == 8) used = 0x7;
        else if (opcode == 90) used = i < 2 ? 0x3 : 0x1;
        if (!ReadSource(m, p[1 + i], used, at, s[i], error)) return false;
      }
      auto each = [&](auto f) { for (int i = 0; i < 4; ++i) result[i] = f(i); };
      switch (opcode) {
        case 1: each([&](int i) { return s[0][i]; }); break;
        case 2: each([&](int i) { return s[0][i] + s[1][i]; }); break;
        case 3: each([&](int i) { return s[0][i] - s[1][i]; }); break;
        case 4: each([&](int i) { return s[0][i] * s[1][i] + s[2][i]; }); break;
        case 5: each([&](int i) { return s[0][i] * s[1][i]; }); break;
        case 6: each([&](int) { return 1.0f / s[0][0]; }); break;
        case 7: each([&](int) { return 1.0f / std::sqrt(std::fabs(s[0][0])); }); break;
        case 8: each([&](int) { return s[0][0] * s[1][0] + s[0][1] * s[1][1] + s[0][2] * s[1][2]; }); break;
        case 10: each([&](int i) { return s[0][i] < s[1][i] ? s[0][i] : s[1][i]; }); break;
        case 11: each([&](int i) { return s[0][i] >= s[1][i] ? s[0][i] : s[1][i]; }); break;
        case 19: each([&](int i) { return s[0][i] - std::floor(s[0][i]); }); break;
        case 35: each([&](int i) { return std::fabs(s[0][i]); }); break;
        case 88: each([&](int i) { return s[0][i] >= 0 ? s[1][i] : s[2][i]; }); break;
        case 90: each([&](int) { return s[0][0] * s[1][0] + s[0][1] * s[1][1] + s[2][0]; }); break;
        case 37:  // sincos: x = cos, y = sin; the series constants must be c registers
          if (length != 4 || RegisterType(p[2]) != 2 || RegisterType(p[3]) != 2)
            return Fail(error, "bad sincos", at);
          result[0] = std::cos(s[0][0]);
          result[1] = std::sin(s[0][0]);
          ++run->sincosCount;
          if (std::fabs(s[0][0]) > run->sincosWorst) run->sincosWorst = std::fabs(s[0][0]);
          break;
        default:
          return Fail(error, "opcode " + std::to_string(opcode) + " outside the subset", at);
      }
    }
    uint32_t destination = p[0];
    uint32_t type = RegisterType(destination), index = RegisterIndex(destination);
    uint32_t mask = (destination >> 16) & 0xF;
    uint32_t modifiers = (destination >> 20) & 0xF;
    if ((destination & 0x80000000u) == 0 || mask == 0) return Fail(error, "bad destination", at);
    float* target;
    if (type == 0 && index < 32) {
      target = m.temp[index];
    } else if (type == 8 && index == 0 && opcode == 1 && mask == 0xF) {
      target = m.output;
      m.outputWritten = true;
    } else {
      return Fail(error, "destination outside the subset", at);
    }
    for (int i = 0; i < 4; ++i) {
      if ((mask & (1u << i)) == 0) continue;
      float value = result[i];
      if (modifiers & 1) value = std::fmin(1.0f, std::fmax(0.0f, value));
      target[i] = value;
      if (type == 0) m.written[index][i] = true;
    }
    at = next;
  }
  return Fail(error, "no end token", at);
}

}  // namespace vv
