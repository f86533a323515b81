// vvplay: a small Win32 host of VideoViewer.dll that plays a Motion-JPEG
// source in a window: frames are decoded and presented by the library on a
// decoding thread at the source's frame rate; the window's thread repaints,
// follows resizes and saves snapshots. For unattended runs it plays a fixed
// number of frames and then saves what was asked for. Exit status 0 on
// success, 1 on a failure, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mjpeg_source.h"
#include "player_dewarp.h"
#include "player_options.h"
#include "player_pictures.h"
#include "player_playback.h"
#include "viewer_library.h"

namespace {

using vv::PlayerOptions;

constexpr UINT kPlaybackDone = WM_APP + 1;
// The whole source is held in memory; far beyond any clip this player is for.
constexpr size_t kMaxSourceBytes = size_t{1} << 30;
constexpr double kDefaultFramesPerSecond = 25;

struct PlayerWindow {
  const vv::ViewerLibrary* library = nullptr;
  ViewerRecord* viewer = nullptr;
  vv::Playback* playback = nullptr;
  bool finished = false;  // the decoding thread has ended
  int snapshotsSaved = 0;
  bool dewarp = false;
  vv::DewarpSteering steering;
};

void SaveSnapshotOnKey(PlayerWindow* player) {
  char path[64];
  std::snprintf(path, sizeof path, "vvplay-snapshot-%d.bmp", ++player->snapshotsSaved);
  vv::SavedPicture saved;
  if (vv::SaveSnapshot(*player->library, player->viewer, path, &saved))
    std::printf("snapshot: %s (%dx%d, frame %llu)\n", path, saved.width, saved.height,
                static_cast<unsigned long long>(saved.tag));
  else
    std::printf("snapshot: no picture yet, or %s cannot be written\n", path);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* player = reinterpret_cast<PlayerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (player != nullptr && player->dewarp && player->viewer != nullptr &&
      vv::SteerDewarp(*player->library, player->viewer, &player->steering, window, message, wParam,
                      lParam))
    return 0;
  switch (message) {
    case WM_SIZE:
      // The presenter stretches the picture over the destination; the
      // player keeps no aspect ratio of its own and fills the client area.
      if (player != nullptr && player->viewer != nullptr) {
        player->library->ViewerSetVideoDestination(player->viewer, 0, 0, LOWORD(lParam),
                                                   HIWORD(lParam));
        InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the picture covers the client area; erasing would flicker
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      const bool drawn = player != nullptr && player->viewer != nullptr &&
                         player->library->ViewerRepaintVideo(player->viewer) == 0;
      if (!drawn) FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
      EndPaint(window, &paint);
      return 0;
    }
    case WM_KEYDOWN:
      if (wParam == 'S' && player != nullptr) SaveSnapshotOnKey(player);
      if (wParam == VK_ESCAPE) PostMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE:
      // The decoding thread may be inside a rendering call that draws into
      // this window: let it finish, and close when it reports back.
      if (player != nullptr && !player->finished) {
        player->playback->Stop();
        return 0;
      }
      DestroyWindow(window);
      return 0;
    case kPlaybackDone:
      if (player != nullptr) {
        player->playback->Join();
        player->finished = true;
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

// The first frame whose header gives a size, for the window's first layout.
bool FirstFrameSize(const std::vector<uint8_t>& data, const vv::MjpegIndex& index, int32_t* width,
                    int32_t* height) {
  for (size_t i = 0; i < index.frames.size() && i < 16; ++i) {
    const vv::MjpegFrameSpan& frame = index.frames[i];
    if (vv::ReadJpegFrameSize(data.data() + frame.offset, frame.size, width, height) &&
        *width > 0 && *height > 0)
      return true;
  }
  return false;
}

// The frame size shrunk, keeping its shape, until the window fits the screen.
void FitToScreen(int32_t* width, int32_t* height, DWORD style) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  const double roomX = GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left);
  const double roomY = GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top);
  double scale = 1;
  if (*width > roomX) scale = roomX / *width;
  if (*height * scale > roomY) scale = roomY / *height;
  if (scale < 1 && scale > 0) {
    *width = static_cast<int32_t>(*width * scale);
    *height = static_cast<int32_t>(*height * scale);
  }
}

HWND CreatePlayerWindow(int32_t clientWidth, int32_t clientHeight, PlayerWindow* player) {
  const DWORD style = WS_OVERLAPPEDWINDOW;
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.lpszClassName = L"vvplay";
  RegisterClassW(&windowClass);
  RECT frame{0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND window = CreateWindowExW(0, L"vvplay", L"VideoViewer player", style, 0, 0,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
  if (window != nullptr) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(player));
  return window;
}

void PrintStats(const vv::PlaybackStats& stats) {
  const int64_t frames = stats.decoded + stats.failed;
  std::printf("stats: %ux%u, frames decoded %lld, failed %lld, decode+present mean %.2f ms, "
              "worst %.2f ms\n",
              stats.width, stats.height, static_cast<long long>(stats.decoded),
              static_cast<long long>(stats.failed), frames ? stats.totalMs / frames : 0.0,
              stats.worstMs);
}

// After the last frame: the unattended outputs, in the order asked for by
// the options. False when any of them failed.
bool SaveOutputs(const PlayerOptions& options, const vv::ViewerLibrary& library,
                 ViewerRecord* viewer, HWND window) {
  bool ok = true;
  vv::SavedPicture saved;
  if (!options.snapshotPath.empty()) {
    if (vv::SaveSnapshot(library, viewer, options.snapshotPath.c_str(), &saved)) {
      std::printf("snapshot: %s (%dx%d, frame %llu)\n", options.snapshotPath.c_str(), saved.width,
                  saved.height, static_cast<unsigned long long>(saved.tag));
    } else {
      std::printf("snapshot FAILED: no picture to lend, or %s cannot be written\n",
                  options.snapshotPath.c_str());
      ok = false;
    }
  }
  if (!options.screenshotPath.empty()) {
    UpdateWindow(window);  // pending paints land before the read-back
    // A dewarped picture is presented by Direct3D, which the window's own
    // device context does not show: present the last frame once more and
    // read the screen where the client area is.
    const bool dewarp = options.dewarpEffect != 0;
    if (dewarp) library.ViewerRepaintVideo(viewer);
    if (vv::SaveWindowPixels(window, dewarp, options.screenshotPath.c_str(), &saved)) {
      std::printf("screenshot: %s (%dx%d)\n", options.screenshotPath.c_str(), saved.width,
                  saved.height);
    } else {
      std::printf("screenshot FAILED: %s\n", options.screenshotPath.c_str());
      ok = false;
    }
  }
  if (!options.capturePath.empty()) {
    const int32_t status = vv::CaptureWindowToFile(library, viewer, window, options.captureQuality,
                                                   options.capturePath.c_str(), &saved);
    if (status == 0) {
      std::printf("capture: %s (%dx%d, %u bytes)\n", options.capturePath.c_str(), saved.width,
                  saved.height, saved.bytes);
    } else if (status == 1) {
      std::printf("capture FAILED: cannot write %s\n", options.capturePath.c_str());
      ok = false;
    } else {
      std::printf("capture FAILED: ViewerCapture2 returned %d; nothing written to %s\n", status,
                  options.capturePath.c_str());
      ok = false;
    }
  }
  return ok;
}

int Play(const PlayerOptions& options) {
  std::vector<uint8_t> data;
  if (!vv::ReadWholeFile(options.source.c_str(), kMaxSourceBytes, &data)) {
    std::printf("cannot read %s (missing, unreadable or over 1 GiB)\n", options.source.c_str());
    return 1;
  }
  vv::MjpegIndex index;
  if (!vv::IndexMjpegSource(data.data(), data.size(), &index)) {
    std::printf("%s: no JPEG frames found\n", options.source.c_str());
    return 1;
  }
  double framesPerSecond = options.framesPerSecond;
  if (framesPerSecond < 0)
    framesPerSecond = index.framesPerSecond > 0 ? index.framesPerSecond : kDefaultFramesPerSecond;
  int32_t width = 640, height = 480;
  const bool sized = FirstFrameSize(data, index, &width, &height);
  std::printf("source: %s, %s, %zu frames, %dx%d, playing at %.3g fps\n", options.source.c_str(),
              vv::ContainerName(index.container), index.frames.size(), width, height,
              framesPerSecond);
  if (!sized) std::printf("source: no frame header found in the first frames\n");

  vv::ViewerLibrary library;
  std::string error;
  if (!vv::LoadViewerLibrary(&library, &error)) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  ULONG_PTR gdiplusToken = 0;
  const bool gdiplus = !options.masks.empty() && vv::StartGdiplus(&gdiplusToken);
  if (!options.masks.empty() && !gdiplus)
    std::printf("masks: GDI+ could not be started; the library will draw no masks\n");

  if (options.clientWidth > 0) {
    width = options.clientWidth;
    height = options.clientHeight;
  } else {
    FitToScreen(&width, &height, WS_OVERLAPPEDWINDOW);
  }
  PlayerWindow player;
  player.library = &library;
  HWND window = CreatePlayerWindow(width, height, &player);
  if (window == nullptr) {
    std::printf("cannot create the window (error %lu)\n", GetLastError());
    if (gdiplus) vv::StopGdiplus(gdiplusToken);
    UnloadViewerLibrary(&library);
    return 1;
  }
  player.viewer = library.CreateViewer();
  library.ViewerOpen(player.viewer, window);
  RECT client;
  GetClientRect(window, &client);
  library.ViewerSetVideoDestination(player.viewer, 0, 0, client.right, client.bottom);
  vv::AttachDewarp(library, player.viewer, window, options, client.right);
  player.dewarp = options.dewarpEffect != 0;
  player.steering.composition = options.composition;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);

  vv::Playback playback(library, player.viewer, data.data(), index,
                        vv::BuildMaskBlock(options.masks), framesPerSecond, options.frames,
                        window, kPlaybackDone);
  player.playback = &playback;
  bool ok = playback.Start();
  if (!ok) {
    std::printf("cannot start the decoding thread\n");
    PostMessageW(window, kPlaybackDone, 0, 0);
  }
  MSG message;
  bool closing = false;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (player.finished && !closing) {
      closing = true;
      ok = SaveOutputs(options, library, player.viewer, window) && ok;
      // Closed before the window goes: the viewer holds its device context.
      ViewerRecord* viewer = player.viewer;
      player.viewer = nullptr;
      library.ViewerClose(viewer);
      library.DisposeViewer(viewer);
      DestroyWindow(window);
    }
  }
  const vv::PlaybackStats& stats = playback.Stats();
  if (options.stats) PrintStats(stats);
  if (stats.decoded == 0) {
    std::printf("no frame decoded\n");
    ok = false;
  }
  if (gdiplus) vv::StopGdiplus(gdiplusToken);
  UnloadViewerLibrary(&library);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // msvcrt buffers stdout fully when it is a pipe or a file; the player's
  // lines must survive however it ends.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  PlayerOptions options;
  std::string error;
  if (!vv::ParsePlayerOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "vvplay: %s\n%s", error.c_str(), vv::PlayerUsage());
    return 2;
  }
  return Play(options);
}
