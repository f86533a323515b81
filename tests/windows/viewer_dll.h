// Loads VideoViewer.dll the way a host does (LoadLibraryW + GetProcAddress)
// and keeps the 28 entry points, plus a real top-level window for tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_pictures.h"
#include "videoviewer.h"

#define VV_EXPORT_LIST(X)                                                             \
  X(CreateViewer) X(DisposeViewer) X(ViewerOpen) X(ViewerClose)                       \
  X(ViewerRenderMJPEGSample) X(ViewerRenderMJPEGSampleEx)                             \
  X(ViewerRenderMJPEGSampleDec1) X(ViewerRenderMJPEGSampleDec2)                       \
  X(ViewerRenderMJPEGSampleDec1Flip) X(ViewerRenderMJPEGSampleDec2Flip)               \
  X(ViewerSetVideoSource) X(ViewerSetVideoDestination) X(ViewerRepaintVideo)          \
  X(ViewerLockSnapshot) X(ViewerUnlockSnapshot)                                       \
  X(ViewerAttachDewarpRenderer) X(ViewerDetachDewarpRenderer)                         \
  X(ViewerSetupDewarpEffect) X(ViewerSetupDewarpEffect2)                              \
  X(ViewerSetupDewarpComposition) X(ViewerSetInitialDewarpPosition)                   \
  X(ViewerSetDewarpPosition) X(ViewerGetDewarpPosition)                               \
  X(ViewerOpenCapture) X(ViewerOpenCapture2) X(ViewerCapture) X(ViewerCapture2)       \
  X(ViewerCloseCapture)

struct ViewerDll {
#define VV_DECLARE_POINTER(name) decltype(&::name) name = nullptr;
  VV_EXPORT_LIST(VV_DECLARE_POINTER)
#undef VV_DECLARE_POINTER
  HMODULE module = nullptr;
  std::vector<std::string> missing;  // exports GetProcAddress did not find
};

// The DLL, loaded once per test program from the directory of the program.
const ViewerDll& Dll();

// A visible top-level window of the given client size, with a message pump
// run until it is shown. Destroyed by the destructor.
class TestWindow {
 public:
  TestWindow(int width, int height, const wchar_t* title = L"VideoViewer test");
  // A borderless topmost window at (x, y) that paints `picture` itself in
  // WM_PAINT: under Wine the screen (which capture copies from) shows drawing
  // only after the drawing thread's messages are pumped, so drawing from
  // outside WM_PAINT would race the reads. The picture must outlive it.
  TestWindow(int x, int y, const TestPicture* picture);
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND handle() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// Runs the calling thread's message queue until it is empty.
void PumpMessages();

// Pumps messages for a while, so a new window is mapped and its background
// painted before a test draws into it and reads it back.
void LetWindowSettle();

// The window's client pixels from (left, top) as blue, green, red, x
// quadruples, top row first, read back with BitBlt through a device context
// of the window (under Wine the screen's DC does not see a window's surface
// before it is flushed to X). A null window reads the screen instead, which
// is where capture copies from and Direct3D presents to.
std::vector<uint8_t> ReadClient(HWND window, int width, int height, int left = 0, int top = 0);

// Starts GDI+ in the process once, as a host that sends privacy masks does
// (GdiplusStartup resolved from gdiplus.dll); true when it is running.
bool StartGdiplus();
