// Runs Direct3D 9 pixel-shader token streams (the ps_2_x subset the dewarp
// shaders use) on the CPU in single precision, decoding the tokens itself.
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

// One pixel at texture coordinate (u, v) with 32 constant registers (def
// overrides). False with *error for a malformed stream, anything outside the
// subset, a read before write or of an undeclared register, or no oC0.
bool RunPixelShader(const std::vector<uint32_t>& tokens, const float constants[32][4], float u,
                    float v, const ShaderSampler& sampler, ShaderRun* run, std::string* error);

}  // namespace vv
