#include "viewer_dll.h"

#include <cstdlib>
#include <cstdio>

namespace {

ViewerDll LoadViewerDll() {
  ViewerDll dll;
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') --length;
  path[length] = 0;
  std::wstring full = std::wstring(path) + L"VideoViewer.dll";
  dll.module = LoadLibraryW(full.c_str());
  if (dll.module == nullptr) {
    std::fprintf(stderr, "cannot load %ls (error %lu)\n", full.c_str(), GetLastError());
    std::fflush(stderr);
    std::abort();
  }
#define VV_RESOLVE(name)                                                                 \
  dll.name = reinterpret_cast<decltype(&::name)>(                                        \
      reinterpret_cast<void*>(GetProcAddress(dll.module, #name)));                       \
  if (dll.name == nullptr) dll.missing.push_back(#name);
  VV_EXPORT_LIST(VV_RESOLVE)
#undef VV_RESOLVE
  return dll;
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

const ViewerDll& Dll() {
  static const ViewerDll dll = LoadViewerDll();
  return dll;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

TestWindow::TestWindow(int width, int height, const wchar_t* title) {
  static const ATOM windowClass = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"VideoViewerTestWindow";
    return RegisterClassW(&wc);
  }();
  (void)windowClass;
  RECT rect{0, 0, width, height};
  AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
  window_ = CreateWindowExW(0, L"VideoViewerTestWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            0, 0, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window_ != nullptr) {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
    PumpMessages();
  }
}

TestWindow::~TestWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  PumpMessages();
}
