// The shader assembler's refusals; its encodings are read by the emulator and by Direct3D under Wine.
#include "shader_assembler.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vv {
namespace {

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

}  // namespace
}  // namespace vv
