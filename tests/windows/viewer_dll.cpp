#include "viewer_dll.h"

#include <cstdio>
#include <cstdlib>

namespace {

ViewerDll LoadViewerDll() {
  ViewerDll dll;
  dll.module = LoadLibraryW(L"VideoViewer.dll");  // the program's directory is searched first
  if (dll.module == nullptr) {
    std::fprintf(stderr, "cannot load VideoViewer.dll (error %lu)\n", GetLastError());
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

TestWindow::TestWindow(int x, int y, int width, int height, const TestPicture* picture) {
  static const ATOM windowClass = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = TestWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"VideoViewerTestWindow";
    return RegisterClassW(&wc);
  }();
  window_ = CreateWindowExW(WS_EX_TOPMOST, MAKEINTATOM(windowClass), L"VideoViewer test", WS_POPUP,
                            x, y, width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
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
  for (int i = 0; i < 10; ++i, Sleep(20)) PumpMessages();
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

TestPicture Snapshot(ViewerRecord* viewer) {
  BITMAPINFOHEADER* header = nullptr;
  uint8_t* pixels = nullptr;
  Dll().ViewerLockSnapshot(viewer, &header, &pixels, nullptr, nullptr);
  if (header == nullptr) return TestPicture();
  TestPicture lent = CopyLentPicture(header, pixels);
  Dll().ViewerUnlockSnapshot(viewer);
  return lent;
}

bool StartGdiplus() {
  static const bool started = [] {
    struct { UINT32 version = 1; void* callback = nullptr; BOOL noThread = 0, noCodecs = 0; } input;
    using StartupFn = int(WINAPI*)(ULONG_PTR*, const void*, void*);
    auto startup = reinterpret_cast<StartupFn>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"gdiplus.dll"), "GdiplusStartup")));
    ULONG_PTR token = 0;  // left running, as a host would
    return startup != nullptr && startup(&token, &input, nullptr) == 0;
  }();
  return started;
}
