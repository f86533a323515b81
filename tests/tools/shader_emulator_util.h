// A reader of Direct3D 9 pixel-shader token streams that runs them on the
// CPU in single precision, for the subset of ps_2_x the dewarp shaders use.
// It decodes the tokens from the byte-code format itself, so it checks the
// assembler's encodings as well as the shaders' arithmetic.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vv {

// Fills rgba with the texture's value at texture coordinate (s, t).
using ShaderSampler = std::function<void(float s, float t, float rgba[4])>;

struct ShaderRun {
  float color[4];  // oC0
  int sincosCount;
  float sincosWorst;  // largest |angle| handed to sincos
};

// Runs `tokens` for one pixel whose texture coordinate set 0 is (u, v), with
// float constant registers `constants` (32 of them; def overrides) and the
// texture behind sampler 0. Returns false with *error set when the stream is
// malformed, uses an instruction or register outside the subset, reads a
// temporary component before writing it, reads an undeclared input or
// sampler, or never writes oC0; *run is then unspecified.
bool RunPixelShader(const std::vector<uint32_t>& tokens, const float constants[32][4], float u,
                    float v, const ShaderSampler& sampler, ShaderRun* run, std::string* error);

}  // namespace vv
