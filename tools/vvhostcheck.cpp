// vvhostcheck: the smallest host. Loads VideoViewer.dll as an application
// does, opens a viewer on a real window, exercises the lifecycle and the
// presentation settings, and prints what it saw. Exit status 0 when every
// step behaved.
#include <windows.h>

#include <cstdio>

#include "videoviewer.h"

namespace {

template <typename Fn>
Fn Resolve(HMODULE module, const char* name, int* missing) {
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (fn == nullptr) {
    std::printf("missing export %s\n", name);
    ++*missing;
  }
  return fn;
}

}  // namespace

int main() {
  HMODULE module = LoadLibraryW(L"VideoViewer.dll");
  if (module == nullptr) {
    std::printf("cannot load VideoViewer.dll (error %lu)\n", GetLastError());
    std::fflush(stdout);
    return 1;
  }
  int missing = 0;
#define VV_GET(name) auto name##Fn = Resolve<decltype(&name)>(module, #name, &missing)
  VV_GET(CreateViewer);
  VV_GET(ViewerOpen);
  VV_GET(ViewerSetVideoDestination);
  VV_GET(ViewerRenderMJPEGSample);
  VV_GET(ViewerRepaintVideo);
  VV_GET(ViewerClose);
  VV_GET(DisposeViewer);
#undef VV_GET
  if (missing != 0) return 1;

  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"vvhostcheck";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, L"vvhostcheck", L"VideoViewer host check",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 660, 520, nullptr,
                                nullptr, wc.hInstance, nullptr);
  std::printf("window %s\n", window ? "created" : "FAILED");

  ViewerRecord* viewer = CreateViewerFn();
  ViewerOpenFn(viewer, window);
  ViewerSetVideoDestinationFn(viewer, 0, 0, 640, 480);
  const uint8_t notAPicture[4] = {0xFF, 0xD8, 0xFF, 0xD9};
  uint32_t width = 1, height = 1;
  const int32_t released =
      ViewerRenderMJPEGSampleFn(viewer, notAPicture, sizeof notAPicture, 0, 1, &width, &height);
  const int32_t repaint = ViewerRepaintVideoFn(viewer);
  ViewerCloseFn(viewer);
  DisposeViewerFn(viewer);
  if (window) DestroyWindow(window);

  std::printf("lifecycle: create, open, render (lock release %d, frame %ux%u), repaint %d, "
              "close, dispose\n",
              released, width, height, repaint);
  const bool ok = window != nullptr && released != 0 && width == 0 && height == 0 && repaint == -1;
  std::printf("%s\n", ok ? "host check passed" : "host check FAILED");
  std::fflush(stdout);
  FreeLibrary(module);
  return ok ? 0 : 1;
}
