// Two passes over the text: statements are parsed into instruction records
// and uniform declarations first, so the constant table (which must follow
// the version token) can be laid out before the instruction tokens.
#include "shader_assembler.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace vv {
namespace {

constexpr uint32_t kVersionToken = 0xFFFF0201;  // ps_2_x, which ps_2_a uses
constexpr uint32_t kEndToken = 0x0000FFFF;
constexpr uint32_t kCommentOpcode = 0xFFFE;
constexpr uint32_t kTableFourCC = 0x42415443;  // 'CTAB'

// Register types of the byte-code format (split over bits 28-30 and 11-12).
enum RegisterType : uint32_t {
  kTemp = 0, kInput = 1, kConst = 2, kTexture = 3, kColorOut = 8, kSampler = 10
};

struct RegisterKind {
  const char* prefix;
  RegisterType type;
  int count;  // registers of this kind that ps_2_a has
};
// "oC" before "c" so the longer prefix wins.
constexpr RegisterKind kRegisterKinds[] = {
    {"oC", kColorOut, 4}, {"r", kTemp, 32}, {"c", kConst, 32},
    {"t", kTexture, 8},   {"s", kSampler, 16}, {"v", kInput, 2},
};

enum OperandRule : uint8_t {
  kAny,        // any source register
  kScalar,     // one component selected (replicated swizzle)
  kConstOnly,  // a c register without swizzle or modifier (sincos series)
  kSamplerOnly,
};

struct Opcode {
  const char* name;
  uint16_t code;
  uint8_t sources;
  OperandRule rules[3];
};
constexpr Opcode kOpcodes[] = {
    {"mov", 1, 1, {kAny}},
    {"add", 2, 2, {kAny, kAny}},
    {"sub", 3, 2, {kAny, kAny}},
    {"mad", 4, 3, {kAny, kAny, kAny}},
    {"mul", 5, 2, {kAny, kAny}},
    {"rcp", 6, 1, {kScalar}},
    {"rsq", 7, 1, {kScalar}},
    {"dp3", 8, 2, {kAny, kAny}},
    {"dp4", 9, 2, {kAny, kAny}},
    {"min", 10, 2, {kAny, kAny}},
    {"max", 11, 2, {kAny, kAny}},
    {"lrp", 18, 3, {kAny, kAny, kAny}},
    {"frc", 19, 1, {kAny}},
    {"abs", 35, 1, {kAny}},
    {"sincos", 37, 3, {kScalar, kConstOnly, kConstOnly}},
    {"texld", 66, 2, {kAny, kSamplerOnly}},
    {"cmp", 88, 3, {kAny, kAny, kAny}},
    {"dp2add", 90, 3, {kAny, kAny, kScalar}},
};
constexpr uint16_t kDeclareOpcode = 31;
constexpr uint16_t kDefineOpcode = 81;

struct Register {
  RegisterType type;
  uint32_t index;
};

struct UniformConstant {
  std::string name;
  Register reg;
  uint16_t typeClass;  // 0 scalar, 1 vector, 4 object
  uint16_t typeCode;   // 3 float, 12 sampler2D
  uint16_t columns;
};

uint32_t RegisterBits(Register reg) {
  return ((reg.type & 7u) << 28) | (((reg.type >> 3) & 3u) << 11) | reg.index;
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> SplitOperands(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == ',') {
      parts.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!Trim(current).empty() || !parts.empty()) parts.push_back(Trim(current));
  return parts;
}

int ComponentIndex(char c) {
  switch (c) {
    case 'x': case 'r': return 0;
    case 'y': case 'g': return 1;
    case 'z': case 'b': return 2;
    case 'w': case 'a': return 3;
    default: return -1;
  }
}

class Assembler {
 public:
  bool Run(const std::string& source, std::vector<uint32_t>* tokens, std::string* error);

 private:
  bool Fail(const std::string& message) {
    std::ostringstream text;
    text << "line " << line_ << ": " << message;
    error_ = text.str();
    return false;
  }
  bool Statement(const std::string& text);
  bool DeclareUniform(const std::string& text);
  bool Define(const std::vector<std::string>& operands);
  bool Declare(const std::string& mnemonic, const std::vector<std::string>& operands);
  bool Instruction(const std::string& mnemonic, const std::vector<std::string>& operands);
  bool ParseRegister(const std::string& text, Register* reg, std::string* rest);
  bool ParseDestination(const std::string& text, uint32_t modifiers, Register* reg,
                        uint32_t* token);
  bool ParseSource(const std::string& text, OperandRule rule, uint32_t* token);
  bool ClaimConstant(Register reg, const char* what);
  void EmitTable(std::vector<uint32_t>* out) const;

  int line_ = 0;
  bool sawVersion_ = false;
  std::string error_;
  std::vector<UniformConstant> uniforms_;
  std::vector<uint32_t> body_;      // everything after the constant table
  bool constantUsed_[32] = {};
  bool samplerUsed_[16] = {};
};

bool Assembler::Run(const std::string& source, std::vector<uint32_t>* tokens,
                    std::string* error) {
  std::istringstream lines(source);
  std::string text;
  while (std::getline(lines, text)) {
    ++line_;
    size_t comment = text.find("//");
    if (comment != std::string::npos) text.resize(comment);
    text = Trim(text);
    if (text.empty()) continue;
    if (!Statement(text)) {
      *error = error_;
      return false;
    }
  }
  if (!sawVersion_) {
    line_ = 0;
    Fail("no version statement (ps_2_a)");
    *error = error_;
    return false;
  }
  std::vector<uint32_t> out{kVersionToken};
  EmitTable(&out);
  out.insert(out.end(), body_.begin(), body_.end());
  out.push_back(kEndToken);
  tokens->swap(out);
  return true;
}

bool Assembler::Statement(const std::string& text) {
  size_t space = 0;
  while (space < text.size() && !std::isspace(static_cast<unsigned char>(text[space]))) ++space;
  std::string mnemonic = text.substr(0, space);
  std::string rest = Trim(text.substr(space));
  if (mnemonic == "ps_2_a" || mnemonic == "ps_2_x") {
    if (sawVersion_ || !body_.empty() || !uniforms_.empty())
      return Fail("the version must be the first statement, once");
    if (!rest.empty()) return Fail("unexpected text after the version");
    sawVersion_ = true;
    return true;
  }
  if (!sawVersion_) return Fail("'" + mnemonic + "' before the version statement (ps_2_a)");
  if (mnemonic == "uniform") return DeclareUniform(rest);
  std::vector<std::string> operands = SplitOperands(rest);
  for (const std::string& operand : operands)
    if (operand.empty()) return Fail("empty operand");
  if (mnemonic == "def") return Define(operands);
  if (mnemonic.compare(0, 3, "dcl") == 0) return Declare(mnemonic, operands);
  return Instruction(mnemonic, operands);
}

bool Assembler::ClaimConstant(Register reg, const char* what) {
  bool* used = reg.type == kConst ? &constantUsed_[reg.index] : &samplerUsed_[reg.index];
  if (*used) return Fail(std::string(what) + ": register already taken");
  *used = true;
  return true;
}

// "uniform TYPE NAME : REGISTER"
bool Assembler::DeclareUniform(const std::string& text) {
  std::istringstream words(text);
  std::string type, name, colon, reg_text, extra;
  words >> type >> name >> colon >> reg_text;
  if (reg_text.empty() || colon != ":" || (words >> extra))
    return Fail("expected 'uniform TYPE NAME : REGISTER'");
  if (!(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_'))
    return Fail("bad constant name '" + name + "'");
  for (const auto& u : uniforms_)
    if (u.name == name) return Fail("constant '" + name + "' declared twice");
  UniformConstant u{name, {}, 0, 3, 1};
  std::string rest;
  if (!ParseRegister(reg_text, &u.reg, &rest)) return false;
  if (!rest.empty()) return Fail("a constant's register takes no component suffix");
  if (type == "sampler2D") {
    if (u.reg.type != kSampler) return Fail("a sampler2D lives in an s register");
    u.typeClass = 4;
    u.typeCode = 12;
  } else if (type == "float" || type == "float1") {
    u.typeClass = 0;
  } else if (type.size() == 6 && type.compare(0, 5, "float") == 0 && type[5] >= '2' &&
             type[5] <= '4') {
    u.typeClass = 1;
    u.columns = static_cast<uint16_t>(type[5] - '0');
  } else {
    return Fail("unknown constant type '" + type + "'");
  }
  if (u.typeClass != 4 && u.reg.type != kConst) return Fail("a float constant lives in a c register");
  if (!ClaimConstant(u.reg, "uniform")) return false;
  uniforms_.push_back(u);
  return true;
}

bool Assembler::Define(const std::vector<std::string>& operands) {
  if (operands.size() != 5) return Fail("def takes a c register and four numbers");
  Register reg;
  std::string rest;
  if (!ParseRegister(operands[0], &reg, &rest)) return false;
  if (reg.type != kConst || !rest.empty()) return Fail("def writes a whole c register");
  if (!ClaimConstant(reg, "def")) return false;
  body_.push_back(kDefineOpcode | (5u << 24));
  body_.push_back(0x80000000u | RegisterBits(reg) | (0xFu << 16));
  for (int i = 1; i <= 4; ++i) {
    const char* start = operands[i].c_str();
    char* end = nullptr;
    errno = 0;
    float value = std::strtof(start, &end);
    if (end == start || *end != '\0' || errno == ERANGE)
      return Fail("bad number '" + operands[i] + "'");
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    body_.push_back(bits);
  }
  return true;
}

bool Assembler::Declare(const std::string& mnemonic, const std::vector<std::string>& operands) {
  if (operands.size() != 1) return Fail(mnemonic + " takes one register");
  Register reg;
  uint32_t destination;
  if (mnemonic == "dcl_2d") {
    if (!ParseDestination(operands[0], 0, &reg, &destination)) return false;
    if (reg.type != kSampler) return Fail("dcl_2d declares an s register");
    if ((destination & 0x000F0000u) != 0x000F0000u) return Fail("a sampler takes no write mask");
    body_.push_back(kDeclareOpcode | (2u << 24));
    body_.push_back(0x80000000u | (2u << 27));  // texture type 2: two-dimensional
  } else if (mnemonic == "dcl") {
    if (!ParseDestination(operands[0], 0, &reg, &destination)) return false;
    if (reg.type != kTexture && reg.type != kInput) return Fail("dcl declares a t or v register");
    body_.push_back(kDeclareOpcode | (2u << 24));
    body_.push_back(0x80000000u);
  } else {
    return Fail("unknown declaration '" + mnemonic + "'");
  }
  body_.push_back(destination);
  return true;
}

bool Assembler::Instruction(const std::string& mnemonic, const std::vector<std::string>& operands) {
  std::string name = mnemonic;
  uint32_t modifiers = 0;
  for (;;) {
    size_t cut = name.rfind('_');
    if (cut == std::string::npos) break;
    std::string suffix = name.substr(cut + 1);
    if (suffix == "sat") modifiers |= 1;
    else if (suffix == "pp") modifiers |= 2;
    else break;
    name.resize(cut);
  }
  const Opcode* op = nullptr;
  for (const Opcode& candidate : kOpcodes)
    if (name == candidate.name) op = &candidate;
  if (op == nullptr) return Fail("unknown instruction '" + mnemonic + "'");
  if (operands.size() != 1u + op->sources) {
    std::ostringstream text;
    text << name << " takes " << (1 + op->sources) << " operands";
    return Fail(text.str());
  }
  Register reg;
  uint32_t destination;
  if (!ParseDestination(operands[0], modifiers, &reg, &destination)) return false;
  if (reg.type == kColorOut) {
    if (op->code != 1) return Fail("oC registers are written only by mov");
    if ((destination & 0x000F0000u) != 0x000F0000u) return Fail("oC takes no write mask");
  } else if (reg.type != kTemp) {
    return Fail("the destination must be an r or oC register");
  }
  if (op->code == 37) {
    uint32_t mask = (destination >> 16) & 0xF;
    if (mask == 0 || (mask & ~3u) != 0) return Fail("sincos writes .x, .y or .xy");
  }
  body_.push_back(op->code | (static_cast<uint32_t>(1 + op->sources) << 24));
  body_.push_back(destination);
  for (int i = 0; i < op->sources; ++i) {
    uint32_t source;
    if (!ParseSource(operands[1 + i], op->rules[i], &source)) return false;
    body_.push_back(source);
  }
  return true;
}

bool Assembler::ParseRegister(const std::string& text, Register* reg, std::string* rest) {
  for (const RegisterKind& kind : kRegisterKinds) {
    size_t length = std::strlen(kind.prefix);
    if (text.compare(0, length, kind.prefix) != 0) continue;
    size_t digits = length;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
    if (digits == length || digits - length > 3) break;
    int index = std::atoi(text.substr(length, digits - length).c_str());
    if (index >= kind.count) return Fail("register '" + text.substr(0, digits) + "' out of range");
    reg->type = kind.type;
    reg->index = static_cast<uint32_t>(index);
    *rest = text.substr(digits);
    return true;
  }
  return Fail("bad register '" + text + "'");
}

bool Assembler::ParseDestination(const std::string& text, uint32_t modifiers, Register* reg,
                                 uint32_t* token) {
  std::string rest;
  if (!ParseRegister(text, reg, &rest)) return false;
  uint32_t mask = 0xF;
  if (!rest.empty()) {
    if (rest[0] != '.' || rest.size() < 2 || rest.size() > 5)
      return Fail("bad write mask in '" + text + "'");
    mask = 0;
    int last = -1;
    for (size_t i = 1; i < rest.size(); ++i) {
      int component = ComponentIndex(rest[i]);
      if (component <= last) return Fail("bad write mask in '" + text + "'");
      mask |= 1u << component;
      last = component;
    }
  }
  *token = 0x80000000u | RegisterBits(*reg) | (mask << 16) | (modifiers << 20);
  return true;
}

bool Assembler::ParseSource(const std::string& text, OperandRule rule, uint32_t* token) {
  bool negate = !text.empty() && text[0] == '-';
  std::string body = negate ? Trim(text.substr(1)) : text;
  Register reg;
  std::string rest;
  if (!ParseRegister(body, &reg, &rest)) return false;
  if (reg.type == kColorOut) return Fail("oC cannot be read");
  uint32_t swizzle = 0xE4;  // .xyzw
  size_t selected = 4;
  if (!rest.empty()) {
    if (rest[0] != '.' || rest.size() < 2 || rest.size() > 5)
      return Fail("bad swizzle in '" + text + "'");
    selected = rest.size() - 1;
    int components[4];
    for (size_t i = 0; i < 4; ++i) {
      // A short swizzle repeats its last component.
      components[i] = ComponentIndex(rest[1 + (i < selected ? i : selected - 1)]);
      if (components[i] < 0) return Fail("bad swizzle in '" + text + "'");
    }
    swizzle = 0;
    for (int i = 0; i < 4; ++i) swizzle |= static_cast<uint32_t>(components[i]) << (2 * i);
  }
  switch (rule) {
    case kAny:
      if (reg.type == kSampler) return Fail("a sampler is read only by texld");
      break;
    case kScalar:
      if (reg.type == kSampler || selected != 1)
        return Fail("'" + text + "' must select one component, e.g. r0.x");
      break;
    case kConstOnly:
      if (reg.type != kConst || negate || !rest.empty())
        return Fail("'" + text + "' must be a plain c register");
      break;
    case kSamplerOnly:
      if (reg.type != kSampler || negate || !rest.empty())
        return Fail("'" + text + "' must be a plain s register");
      break;
  }
  *token = 0x80000000u | RegisterBits(reg) | (swizzle << 16) | ((negate ? 1u : 0u) << 24);
  return true;
}

// The table lives in a comment token: 'CTAB', a 28-byte header, 20-byte
// constant entries, 16-byte type entries, then the strings. Offsets count
// from the byte after the FourCC.
void Assembler::EmitTable(std::vector<uint32_t>* out) const {
  const char* kCreator = "VideoViewer shader assembler";
  const char* kTarget = "ps_2_a";
  std::vector<uint32_t> table;
  std::vector<uint32_t> strings;
  uint32_t count = static_cast<uint32_t>(uniforms_.size());
  uint32_t string_base = 28 + count * 36;
  auto add_string = [&](const std::string& text) {
    uint32_t offset = string_base + static_cast<uint32_t>(strings.size()) * 4;
    std::vector<uint32_t> words((text.size() + 4) / 4, 0);
    std::memcpy(words.data(), text.data(), text.size());
    strings.insert(strings.end(), words.begin(), words.end());
    return offset;
  };
  uint32_t creator = add_string(kCreator);
  uint32_t target = add_string(kTarget);
  table = {28, creator, kVersionToken, count, 28, 0, target};
  for (uint32_t i = 0; i < count; ++i) {
    const UniformConstant& u = uniforms_[i];
    uint32_t set = u.reg.type == kSampler ? 3 : 2;
    uint32_t type_offset = 28 + count * 20 + i * 16;
    table.push_back(add_string(u.name));
    table.push_back(set | (u.reg.index << 16));
    table.push_back(1);  // register count; reserved word 0
    table.push_back(type_offset);
    table.push_back(0);  // no default value
  }
  for (const UniformConstant& u : uniforms_) {
    table.push_back(u.typeClass | (static_cast<uint32_t>(u.typeCode) << 16));
    table.push_back(1u | (static_cast<uint32_t>(u.columns) << 16));  // rows, columns
    table.push_back(1);  // elements; no struct members
    table.push_back(0);
  }
  table.insert(table.end(), strings.begin(), strings.end());
  out->push_back(kCommentOpcode | (static_cast<uint32_t>(table.size() + 1) << 16));
  out->push_back(kTableFourCC);
  out->insert(out->end(), table.begin(), table.end());
}

}  // namespace

bool AssembleShader(const std::string& source, std::vector<uint32_t>* tokens,
                    std::string* error) {
  Assembler assembler;
  return assembler.Run(source, tokens, error);
}

}  // namespace vv
