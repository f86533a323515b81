// Direct3D 9 and D3DX 9, loaded on first use rather than linked, so that a
// host that never attaches a dewarp renderer never loads them.
#pragma once

#include <windows.h>
#include <d3d9.h>
#include <d3dx9shader.h>

namespace vv {

struct Direct3DLibrary {
  IDirect3D9*(WINAPI* create)(UINT sdkVersion);
  D3DMATRIX*(WINAPI* orthoOffCenterLH)(D3DMATRIX* out, float left, float right, float bottom,
                                       float top, float zNear, float zFar);
  HRESULT(WINAPI* getShaderConstantTable)(const DWORD* code, ID3DXConstantTable** table);
};

// Loads d3d9.dll and d3dx9_39.dll once per process (thread-safe) and returns
// their entry points, or null when either library or entry point is
// missing. The libraries stay loaded for the life of the process.
const Direct3DLibrary* LoadDirect3DLibrary();

}  // namespace vv
