// VideoViewer.dll loaded as a host does (LoadLibraryW + GetProcAddress), and real windows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "api/viewer_record.h"  // tests may look inside the record
#include "test_pictures.h"
#include "videoviewer.h"

#define VV_EXPORT_LIST(X)                                                                             \
  X(CreateViewer) X(DisposeViewer) X(ViewerOpen) X(ViewerClose) X(ViewerRenderMJPEGSample)            \
  X(ViewerRenderMJPEGSampleEx) X(ViewerRenderMJPEGSampleDec1) X(ViewerRenderMJPEGSampleDec2)          \
  X(ViewerRenderMJPEGSampleDec1Flip) X(ViewerRenderMJPEGSampleDec2Flip) X(ViewerSetVideoSource)       \
  X(ViewerSetVideoDestination) X(ViewerRepaintVideo) X(ViewerLockSnapshot) X(ViewerUnlockSnapshot)    \
  X(ViewerAttachDewarpRenderer) X(ViewerDetachDewarpRenderer) X(ViewerSetupDewarpEffect)              \
  X(ViewerSetupDewarpEffect2) X(ViewerSetupDewarpComposition) X(ViewerSetInitialDewarpPosition)       \
  X(ViewerSetDewarpPosition) X(ViewerGetDewarpPosition) X(ViewerOpenCapture) X(ViewerOpenCapture2)    \
  X(ViewerCapture) X(ViewerCapture2) X(ViewerCloseCapture)

struct ViewerDll {
#define VV_DECLARE_POINTER(name) decltype(&::name) name = nullptr;
  VV_EXPORT_LIST(VV_DECLARE_POINTER)
#undef VV_DECLARE_POINTER
  HMODULE module = nullptr;
  std::vector<std::string> missing;  // exports GetProcAddress did not find
};

// The DLL, loaded once per test program from the directory of the program.
const ViewerDll& Dll();

// A shown borderless topmost window; with a picture (which must outlive it)
// it is the picture's size and paints it in WM_PAINT.
class TestWindow {
 public:
  TestWindow(int width, int height) : TestWindow(0, 0, width, height, nullptr) {}
  TestWindow(int x, int y, const TestPicture* p) : TestWindow(x, y, p->width, p->height, p) {}
  ~TestWindow();
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;
  HWND handle() const { return window_; }

 private:
  TestWindow(int x, int y, int width, int height, const TestPicture* picture);
  HWND window_ = nullptr;
};

// A viewer opened on `window` (may be null), closed and disposed at scope end.
struct OpenViewer {
  explicit OpenViewer(HWND window) { Dll().ViewerOpen(viewer, window); }
  ~OpenViewer() { Dll().ViewerClose(viewer), Dll().DisposeViewer(viewer); }
  OpenViewer(const OpenViewer&) = delete;
  ViewerRecord* const viewer = Dll().CreateViewer();
};

// The snapshot the viewer lends, top-down; empty when it lends none.
TestPicture Snapshot(ViewerRecord* viewer);

void PumpMessages();
// Pumps messages for a while so a new window is mapped and painted.
void LetWindowSettle();

// The window's client pixels from (left, top), BGRX top-down, through the
// window's DC (Wine's screen DC lags its surfaces); a null window reads the screen.
std::vector<uint8_t> ReadClient(HWND window, int width, int height, int left = 0, int top = 0);

// Starts GDI+ once, as a host that sends privacy masks does; true when running.
bool StartGdiplus();
