// The player's view of VideoViewer.dll: loaded at run time with
// LoadLibraryW and GetProcAddress, as hosts that ship the library beside
// their program usually do, so a missing or older DLL is reported by name
// instead of stopping the program at start-up.
#pragma once

#include <windows.h>

#include <string>

#include "videoviewer.h"

namespace vv {

struct ViewerLibrary {
  HMODULE module = nullptr;
  decltype(&::CreateViewer) CreateViewer = nullptr;
  decltype(&::DisposeViewer) DisposeViewer = nullptr;
  decltype(&::ViewerOpen) ViewerOpen = nullptr;
  decltype(&::ViewerClose) ViewerClose = nullptr;
  decltype(&::ViewerRenderMJPEGSample) ViewerRenderMJPEGSample = nullptr;
  decltype(&::ViewerRenderMJPEGSampleEx) ViewerRenderMJPEGSampleEx = nullptr;
  decltype(&::ViewerSetVideoDestination) ViewerSetVideoDestination = nullptr;
  decltype(&::ViewerRepaintVideo) ViewerRepaintVideo = nullptr;
  decltype(&::ViewerLockSnapshot) ViewerLockSnapshot = nullptr;
  decltype(&::ViewerUnlockSnapshot) ViewerUnlockSnapshot = nullptr;
  decltype(&::ViewerOpenCapture2) ViewerOpenCapture2 = nullptr;
  decltype(&::ViewerCapture2) ViewerCapture2 = nullptr;
  decltype(&::ViewerCloseCapture) ViewerCloseCapture = nullptr;
  decltype(&::ViewerAttachDewarpRenderer) ViewerAttachDewarpRenderer = nullptr;
  decltype(&::ViewerSetupDewarpEffect2) ViewerSetupDewarpEffect2 = nullptr;
  decltype(&::ViewerSetupDewarpComposition) ViewerSetupDewarpComposition = nullptr;
  decltype(&::ViewerSetDewarpPosition) ViewerSetDewarpPosition = nullptr;
  decltype(&::ViewerGetDewarpPosition) ViewerGetDewarpPosition = nullptr;
};

// Loads VideoViewer.dll (the program's own directory first, as the loader
// searches) and resolves the exports the player uses. False with the reason
// in *error (the load error or the first missing export); *library is
// untouched and nothing stays loaded then.
bool LoadViewerLibrary(ViewerLibrary* library, std::string* error);

// Unloads the library; its entry points are cleared.
void UnloadViewerLibrary(ViewerLibrary* library);

// Starts GDI+ in this process, which the library needs before it paints
// privacy masks and never starts itself. False when gdiplus.dll is missing
// or refuses; *token is untouched then.
bool StartGdiplus(ULONG_PTR* token);

// Stops GDI+ started by StartGdiplus.
void StopGdiplus(ULONG_PTR token);

}  // namespace vv
