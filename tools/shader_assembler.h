// Assembler for the dewarp pixel shaders: shader-model-2 assembly text in,
// a Direct3D 9 pixel-shader token stream for the ps_2_a profile out (version
// token 0xFFFF0201), with a constant table that D3DX can read by name.
//
// Source format, one statement a line, "//" starts a comment:
//   ps_2_a                                  version, the first statement
//   uniform float2 size : c0                a named constant for the table
//   uniform sampler2D input : s0            (float, float2..4, sampler2D)
//   def c6, 0.5, 1.0, 3.14159265, 6.2831853 literal constant
//   dcl t0.xy  /  dcl_2d s0                 input and sampler declarations
//   mad_sat r0.xy, t0, c0, -r1.zw           instructions; dst write mask,
//                                           result modifiers _sat and _pp,
//                                           source negation and swizzles
// Instructions: mov add sub mad mul rcp rsq dp3 dp4 dp2add min max frc abs
// cmp lrp sincos texld.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vv {

// Assembles one shader source. On success returns true and replaces *tokens
// with the token stream (version, constant-table comment, declarations,
// instructions, end token). On failure returns false, *error holds
// "line N: what is wrong" for the first fault, and *tokens is untouched.
bool AssembleShader(const std::string& source, std::vector<uint32_t>* tokens,
                    std::string* error);

}  // namespace vv
