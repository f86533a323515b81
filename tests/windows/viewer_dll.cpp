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
  auto* picture = reinterpret_cast<const TestPicture*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (picture != nullptr && message == WM_ERASEBKGND) return 1;
  if (picture != nullptr && message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture->width, -picture->height, 1, 32, BI_RGB,
                      0, 0, 0, 0, 0};
    SetDIBitsToDevice(dc, 0, 0, picture->width, picture->height, 0, 0, 0, picture->height,
                      picture->bgrx.data(), &info, DIB_RGB_COLORS);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterTestWindowClass() {
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
  RegisterTestWindowClass();
  RECT rect{0, 0, width, height};
  AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
  window_ = CreateWindowExW(0, L"VideoViewerTestWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            0, 0, rect.right - rect.left, rect.bottom - rect.top, nullptr,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
  UpdateWindow(window_);
  PumpMessages();
}

TestWindow::TestWindow(int x, int y, const TestPicture* picture) {
  RegisterTestWindowClass();
  window_ = CreateWindowExW(WS_EX_TOPMOST, L"VideoViewerTestWindow", L"picture", WS_POPUP, x, y,
                            picture->width, picture->height, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(picture));
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  UpdateWindow(window_);
  PumpMessages();
}

TestWindow::~TestWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
  PumpMessages();
}

void LetWindowSettle() {
  for (int i = 0; i < 10; ++i) {
    PumpMessages();
    Sleep(20);
  }
}

std::vector<uint8_t> ReadClient(HWND window, int width, int height, int left, int top) {
  GdiFlush();
  HDC windowDc = GetDC(window);
  HDC memory = CreateCompatibleDC(windowDc);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, windowDc, left, top, SRCCOPY);
  std::vector<uint8_t> pixels(static_cast<uint8_t*>(bits),
                              static_cast<uint8_t*>(bits) + static_cast<size_t>(width) * height * 4);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, windowDc);
  return pixels;
}

bool StartGdiplus() {
  static const bool started = [] {
    struct StartupInput {  // GdiplusStartupInput, version 1
      UINT32 version = 1;
      void* debugEventCallback = nullptr;
      BOOL suppressBackgroundThread = FALSE;
      BOOL suppressExternalCodecs = FALSE;
    } input;
    using StartupFn = int(WINAPI*)(ULONG_PTR*, const StartupInput*, void*);
    HMODULE gdiplus = LoadLibraryW(L"gdiplus.dll");
    auto startup = gdiplus == nullptr ? nullptr : reinterpret_cast<StartupFn>(
        reinterpret_cast<void*>(GetProcAddress(gdiplus, "GdiplusStartup")));
    ULONG_PTR token = 0;  // left running, as a host would
    return startup != nullptr && startup(&token, &input, nullptr) == 0;
  }();
  return started;
}
