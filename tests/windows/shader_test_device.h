// Direct3D 9 and D3DX loaded the way the library loads them (LoadLibraryW +
// GetProcAddress), one device on a small window for the whole test program,
// and the shader resources of the real DLL.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9shader.h>

#include <cstdint>

struct ShaderTestDevice {
  IDirect3DDevice9* device = nullptr;  // null when Direct3D 9 is unusable
  HRESULT(WINAPI* getConstantTable)(const DWORD*, ID3DXConstantTable**) = nullptr;
};

// The device, created on first use and kept until the program ends.
const ShaderTestDevice& ShaderDevice();

// The token stream of resource `id` of type "SHADERS" in VideoViewer.dll, or
// null with *bytes 0 when it is missing or empty.
const DWORD* ShaderResource(int id, DWORD* bytes);
