// On-demand loading of Direct3D 9 and D3DX 9.
#include "render/direct3d_library.h"

namespace vv {
namespace {

Direct3DLibrary library;
bool libraryLoaded = false;
INIT_ONCE loadOnce = INIT_ONCE_STATIC_INIT;

template <typename Function>
bool Resolve(HMODULE module, const char* name, Function* out) {
  FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
  *out = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  return address != nullptr;
}

BOOL CALLBACK LoadOnce(PINIT_ONCE, PVOID, PVOID*) {
  // Never freed: devices and constant tables of any viewer may still use
  // them, and unloading while the host runs would gain nothing.
  HMODULE d3d9 = LoadLibraryW(L"d3d9.dll");
  HMODULE d3dx9 = LoadLibraryW(L"d3dx9_39.dll");
  libraryLoaded = Resolve(d3d9, "Direct3DCreate9", &library.create) &&
                  Resolve(d3dx9, "D3DXMatrixOrthoOffCenterLH", &library.orthoOffCenterLH) &&
                  Resolve(d3dx9, "D3DXGetShaderConstantTable", &library.getShaderConstantTable);
  return TRUE;
}

}  // namespace

const Direct3DLibrary* LoadDirect3DLibrary() {
  InitOnceExecuteOnce(&loadOnce, LoadOnce, nullptr, nullptr);
  return libraryLoaded ? &library : nullptr;
}

}  // namespace vv
