// Fisheye dewarp in the player: the renderer's set-up before the first
// frame, and steering the view with the keyboard and the mouse.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player_options.h"
#include "viewer_library.h"

namespace vv {

// Attaches a dewarp renderer drawing into window and sets it up from the
// options (effect, lens, aspect mode, composition). The output width is the
// client width for the single view and half of it for the panorama and the
// quad view, whose back buffer is twice the width asked for: either way the
// back buffer is as wide as the window and the picture is not stretched
// sideways. Does nothing when options.dewarpEffect is 0.
void AttachDewarp(const ViewerLibrary& library, ViewerRecord* viewer, HWND window,
                  const PlayerOptions& options, int32_t clientWidth);

// The state of a drag with the left button.
struct DewarpSteering {
  uint32_t composition = 1;
  bool dragging = false;
  POINT last{0, 0};
};

// Moves the view for the steering messages: arrow keys (5 degrees), + and -
// on either keyboard and the wheel (5 degrees of zoom a step; + and wheel up
// narrow the view), and left-button drags, which move the picture with the
// pointer by about as many degrees as the pointer covers of the view.
// Returns true when the message was one of them and is handled.
bool SteerDewarp(const ViewerLibrary& library, ViewerRecord* viewer, DewarpSteering* steering,
                 HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace vv
