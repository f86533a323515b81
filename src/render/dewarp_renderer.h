// The fisheye dewarp renderer a viewer may own, and its views. Fields are in
// the documented declaration order; both records are created zero-filled.
#pragma once

#include <windows.h>
#include <d3d9.h>

#include <cstdint>

struct ID3DXConstantTable;
struct ViewerRecord;

namespace vv {

struct DewarpView {
  uint32_t overviewAllowed;            // 1 only for the single view
  const void* shaderCode;              // inside the module's resources, never freed
  IDirect3DDevice9* device;            // borrowed
  ID3DXConstantTable* constantTable;
  IDirect3DPixelShader9* pixelShader;
  float imageWidth;
  float imageHeight;
  float lensProfile[3];                // the renderer's profile times imageHeight
  uint32_t effect;
  float pan;
  float tilt;
  float zoom;                          // 2..50 degrees; below 2 the overview blend
  float tiltMin;
  float tiltMax;
  uint32_t overviewActive;
  float viewAspect;
};

struct DewarpRenderer {
  HWND presentWindow;
  int32_t state;                       // 0 not set up, 1 ready, -1 set-up failed
  uint32_t imageWidth;
  uint32_t imageHeight;
  uint32_t imageFormat;                // 21 (A8R8G8B8) once the frame size is known
  IDirect3D9* direct3d;
  IDirect3DDevice9* device;
  IDirect3DTexture9* frameTexture;
  IDirect3DSurface9* frameSurface;
  IDirect3DVertexBuffer9* quadVertices;
  IDirect3DSurface9* uploadSurface;
  D3DDISPLAYMODE displayMode;
  DewarpView* singleView;
  DewarpView* wallPanorama;
  DewarpView* ceilingPanorama;
  DewarpView* floorPanorama;
  DewarpView* activePanorama;          // borrowed: one of the three panoramas
  DewarpView* quadViews[4];            // top left, top right, bottom left, bottom right
  float lensProfile[3];
  uint32_t effect;                     // 1 wall, 2 ceiling, 3 floor
  int32_t outputWidth;
  int32_t aspectMode;                  // 0 none, 1 4:3, 2 16:9, 3 16:10
  int32_t outputHeight;
  int32_t outputTop;
  uint32_t composition;                // 1 single, 2 panorama, 4 quad
  uint32_t presented;
};

// Releases the renderer's Direct3D objects and views (in reverse order of
// creation, clearing each pointer). The renderer record itself stays.
void ReleaseAll(DewarpRenderer* renderer);

// Frees a renderer record after ReleaseAll.
void FreeDewarpRenderer(DewarpRenderer* renderer);

// The renderer branch of PresentFrame, under the viewer lock: sets the
// renderer up on its first frame (applying a pending initial position) and
// draws every frame once it is ready.
void RendererFrameEntry(ViewerRecord* viewer, DewarpRenderer* renderer, const uint8_t* bits,
                        uint32_t byteSize, uint32_t width, uint32_t height);

// Presents the last frame again: 0, or -1 when nothing was presented yet or
// presenting failed.
int32_t Repaint(DewarpRenderer* renderer);

// Copies the presented view into new C-heap memory for a snapshot: a
// non-negative status with *header, *bits and *byteCount filled, or negative
// with nothing allocated.
int32_t ReadBack(DewarpRenderer* renderer, BITMAPINFOHEADER* header, uint8_t** bits,
                 uint32_t* byteCount);

}  // namespace vv
