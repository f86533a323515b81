#include "viewer_library.h"

namespace vv {
namespace {

template <typename Fn>
bool Resolve(HMODULE module, const char* name, Fn* fn, std::string* error) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (*fn == nullptr && error->empty()) *error = std::string("VideoViewer.dll lacks ") + name;
  return *fn != nullptr;
}

// The flat GDI+ start-up call and its input record, declared here rather
// than through gdiplus.h, whose C++ classes the player does not use.
struct GdiplusStartupInput {
  UINT32 version = 1;
  void* debugEventCallback = nullptr;
  BOOL suppressBackgroundThread = FALSE;
  BOOL suppressExternalCodecs = FALSE;
};
using GdiplusStartupFn = int(WINAPI*)(ULONG_PTR*, const GdiplusStartupInput*, void*);
using GdiplusShutdownFn = void(WINAPI*)(ULONG_PTR);

HMODULE Gdiplus() {
  static HMODULE module = LoadLibraryW(L"gdiplus.dll");
  return module;
}

}  // namespace

bool LoadViewerLibrary(ViewerLibrary* library, std::string* error) {
  ViewerLibrary loaded;
  loaded.module = LoadLibraryW(L"VideoViewer.dll");
  if (loaded.module == nullptr) {
    *error = "cannot load VideoViewer.dll (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  std::string missing;
  HMODULE m = loaded.module;
  bool ok = Resolve(m, "CreateViewer", &loaded.CreateViewer, &missing);
  ok &= Resolve(m, "DisposeViewer", &loaded.DisposeViewer, &missing);
  ok &= Resolve(m, "ViewerOpen", &loaded.ViewerOpen, &missing);
  ok &= Resolve(m, "ViewerClose", &loaded.ViewerClose, &missing);
  ok &= Resolve(m, "ViewerRenderMJPEGSample", &loaded.ViewerRenderMJPEGSample, &missing);
  ok &= Resolve(m, "ViewerRenderMJPEGSampleEx", &loaded.ViewerRenderMJPEGSampleEx, &missing);
  ok &= Resolve(m, "ViewerSetVideoDestination", &loaded.ViewerSetVideoDestination, &missing);
  ok &= Resolve(m, "ViewerRepaintVideo", &loaded.ViewerRepaintVideo, &missing);
  ok &= Resolve(m, "ViewerLockSnapshot", &loaded.ViewerLockSnapshot, &missing);
  ok &= Resolve(m, "ViewerUnlockSnapshot", &loaded.ViewerUnlockSnapshot, &missing);
  ok &= Resolve(m, "ViewerOpenCapture2", &loaded.ViewerOpenCapture2, &missing);
  ok &= Resolve(m, "ViewerCapture2", &loaded.ViewerCapture2, &missing);
  ok &= Resolve(m, "ViewerCloseCapture", &loaded.ViewerCloseCapture, &missing);
  ok &= Resolve(m, "ViewerAttachDewarpRenderer", &loaded.ViewerAttachDewarpRenderer, &missing);
  ok &= Resolve(m, "ViewerSetupDewarpEffect2", &loaded.ViewerSetupDewarpEffect2, &missing);
  ok &= Resolve(m, "ViewerSetupDewarpComposition", &loaded.ViewerSetupDewarpComposition,
                &missing);
  ok &= Resolve(m, "ViewerSetDewarpPosition", &loaded.ViewerSetDewarpPosition, &missing);
  ok &= Resolve(m, "ViewerGetDewarpPosition", &loaded.ViewerGetDewarpPosition, &missing);
  if (!ok) {
    FreeLibrary(loaded.module);
    *error = missing;
    return false;
  }
  *library = loaded;
  return true;
}

void UnloadViewerLibrary(ViewerLibrary* library) {
  if (library->module != nullptr) FreeLibrary(library->module);
  *library = ViewerLibrary();
}

bool StartGdiplus(ULONG_PTR* token) {
  if (Gdiplus() == nullptr) return false;
  auto startup = reinterpret_cast<GdiplusStartupFn>(
      reinterpret_cast<void*>(GetProcAddress(Gdiplus(), "GdiplusStartup")));
  if (startup == nullptr) return false;
  GdiplusStartupInput input;
  ULONG_PTR started = 0;
  if (startup(&started, &input, nullptr) != 0) return false;
  *token = started;
  return true;
}

void StopGdiplus(ULONG_PTR token) {
  if (Gdiplus() == nullptr) return;
  auto shutdown = reinterpret_cast<GdiplusShutdownFn>(
      reinterpret_cast<void*>(GetProcAddress(Gdiplus(), "GdiplusShutdown")));
  if (shutdown != nullptr) shutdown(token);
}

}  // namespace vv
