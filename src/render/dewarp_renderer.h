// The fisheye dewarp renderer a viewer may own: its record (the Direct3D
// presenter's objects and the views), the frame entry, and the operations of
// the presenter and the views. Everything here runs under the viewer lock
// held by the caller, except ReleaseAll from ViewerClose. Operations return
// 0 or E_FAIL; no export turns them into a result for the host.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>

#include "render/dewarp_view.h"

struct ViewerRecord;

namespace vv {

// Fields are in the documented declaration order; created zero-filled.
struct DewarpRenderer {
  HWND presentWindow;                  // may be null: frames are drawn, never presented
  int32_t state;                       // 0 not set up, 1 ready, -1 set-up failed
  uint32_t imageWidth;
  uint32_t imageHeight;
  uint32_t imageFormat;                // 21 (A8R8G8B8) once the frame size is known
  IDirect3D9* direct3d;
  IDirect3DDevice9* device;
  IDirect3DTexture9* frameTexture;     // render target holding the current frame
  IDirect3DSurface9* frameSurface;     // its level 0
  IDirect3DVertexBuffer9* quadVertices;
  IDirect3DSurface9* uploadSurface;    // lockable, the frame rows are copied into it
  D3DDISPLAYMODE displayMode;
  DewarpView* singleView;
  DewarpView* wallPanorama;
  DewarpView* ceilingPanorama;
  DewarpView* floorPanorama;
  DewarpView* activePanorama;          // borrowed: one of the three panoramas
  DewarpView* quadViews[4];            // top left, top right, bottom left, bottom right
  float lensProfile[3];                // relative to the image height
  uint32_t effect;                     // 1 wall, 2 ceiling, 3 floor
  int32_t outputWidth;                 // requested; the back-buffer width after set-up
  int32_t aspectMode;                  // 0 none, 1 4:3, 2 16:9, 3 16:10
  int32_t outputHeight;
  int32_t outputTop;
  uint32_t composition;                // 1 single, 2 panorama, 4 quad
  uint32_t presented;
};

// ---- Renderer (dewarp_renderer.cpp) ----

// The renderer branch of PresentFrame: on the first frame sets the renderer
// up for its size (state 1, or -1 for good when set-up fails) and applies a
// pending initial position; then draws the frame while state is not -1.
// bits: byteSize bytes of 32-bit pixels taken as bottom-up rows.
void RendererFrameEntry(ViewerRecord* viewer, DewarpRenderer* renderer, const uint8_t* bits,
                        uint32_t byteSize, uint32_t width, uint32_t height);

// Creates the eight views, finds their shaders in the module's resources,
// gives them the frame size, lens and effect, spreads the quad views and
// selects the effect's panorama. A view that cannot be allocated stays null.
void SetUpViews(DewarpRenderer* renderer);

// Moves the views of the composition (absolute: the initial position) and
// draws the last frame again. Always 0.
HRESULT SetPosition(DewarpRenderer* renderer, float pan, float tilt, float zoom, bool absolute);

// Frees a renderer record after ReleaseAll.
void FreeDewarpRenderer(DewarpRenderer* renderer);

// ---- Views (dewarp_views.cpp) ----

// Creates the view's pixel shader and constant table on the device and loads
// its size, centre and lens constants, then its position. E_FAIL when the
// view has no shader code or a step fails (what was created stays in the
// view for DestroyView); `device` and `viewAspect` are stored either way.
HRESULT LoadShader(DewarpView* view, IDirect3DDevice9* device, float viewAspect);

// Loads the constants of the view's position into its device; nothing while
// the view has no device. Results are not examined.
void UploadConstants(DewarpView* view);

// Releases the view's shader and constant table and frees the view. Null is
// accepted.
void DestroyView(DewarpView* view);

// ---- Direct3D presenter (d3d_presenter.cpp, d3d_device.cpp) ----

// Creates every Direct3D object and loads the composition's shaders. E_FAIL
// at the first failing step; the objects created so far stay in the record.
HRESULT StartDevice(DewarpRenderer* renderer);

// Uploads one frame (byteSize bytes, bottom-up rows), draws it through the
// views and presents the band. Frames are dropped while the device is lost
// or the renderer is not ready. Always 0.
HRESULT RenderFrame(DewarpRenderer* renderer, const uint8_t* bits, uint32_t byteSize);

// Clears the back buffer and draws the composition's views: the result of
// the first failing device call, else EndScene's.
HRESULT DrawViews(DewarpRenderer* renderer);

// Draws the last uploaded frame again and presents it; nothing before the
// first presented frame.
void Redraw(DewarpRenderer* renderer);

// Presents the back buffer again: 0, or -1 before the first presented frame
// or when presenting fails.
int32_t Repaint(DewarpRenderer* renderer);

// Copies the presented band into new C-heap memory (freed by the caller with
// free) and describes it top-down in *header. 0 on success; E_FAIL before
// the first presented frame, when the band does not lie inside a back buffer
// of outputWidth, or when a device step or the allocation fails, with
// *header, *bits and *byteSize untouched.
HRESULT ReadBack(DewarpRenderer* renderer, BITMAPINFOHEADER* header, uint8_t** bits,
                 uint32_t* byteSize);

// Destroys the views and releases the Direct3D objects in reverse order of
// creation, clearing every pointer. The record itself stays.
void ReleaseAll(DewarpRenderer* renderer);

}  // namespace vv
