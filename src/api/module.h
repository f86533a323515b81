#pragma once
#include <windows.h>

namespace vv {
// The library's own module handle, recorded by DllMain.
extern HMODULE moduleHandle;
}
