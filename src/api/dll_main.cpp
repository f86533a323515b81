// The library's entry-point routine: records the module handle (the dewarp
// renderer finds its shader resources through it) and selects the processor
// level of the primitive layer on every notification.
#include <windows.h>

#include "api/module.h"
#include "primitives/processor_level.h"

namespace vv {
HMODULE moduleHandle = nullptr;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  vv::moduleHandle = instance;
  vv::SelectProcessorLevel();
  return TRUE;
}
