// One view of the dewarp renderer: a pixel shader with its constant table
// and one view position. Portable: the Direct3D interfaces are only named,
// so the position model compiles and is tested without Windows headers.
// Fields are in the documented declaration order; views start zero-filled.
#pragma once

#include <cstdint>

struct IDirect3DDevice9;
struct IDirect3DPixelShader9;
struct ID3DXConstantTable;

namespace vv {

struct DewarpView {
  uint32_t overviewAllowed;            // 1 only for the single view
  const void* shaderCode;              // inside the module's resources, never freed
  IDirect3DDevice9* device;            // borrowed; null until the shader is loaded
  ID3DXConstantTable* constantTable;
  IDirect3DPixelShader9* pixelShader;
  float imageWidth;
  float imageHeight;
  float lensProfile[3];                // the renderer's profile times imageHeight
  uint32_t effect;                     // 1 wall, 2 ceiling, 3 floor
  float pan;                           // degrees, never limited
  float tilt;                          // degrees, within [tiltMin, tiltMax] after a move
  float zoom;                          // 2..50 degrees; below 2 the overview blend
  float tiltMin;
  float tiltMax;
  uint32_t overviewActive;
  float viewAspect;                    // output width / output height
};

}  // namespace vv
