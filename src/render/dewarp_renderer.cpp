// The dewarp renderer's frame entry, view set-up and positioning.
#include "render/dewarp_renderer.h"

#include <cstdlib>

#include "api/module.h"
#include "api/viewer_record.h"
#include "render/dewarp_position.h"

namespace vv {
namespace {

constexpr uint32_t kFormatA8R8G8B8 = 21;

// Shader resource ids of type "SHADERS".
constexpr WORD kPerspectiveShader = 101;
constexpr WORD kCeilingPanoramaShader = 102;
constexpr WORD kFloorPanoramaShader = 103;
constexpr WORD kWallPanoramaShader = 104;

// The shader's bytes inside the module's resources, or null when the
// resource is missing or empty.
const void* FindShader(WORD id) {
  HRSRC found = FindResourceW(moduleHandle, MAKEINTRESOURCEW(id), L"SHADERS");
  if (found == nullptr) return nullptr;
  HGLOBAL loaded = LoadResource(moduleHandle, found);
  if (loaded == nullptr) return nullptr;
  const void* bytes = LockResource(loaded);
  if (bytes == nullptr || SizeofResource(moduleHandle, found) == 0) return nullptr;
  return bytes;
}

DewarpView* CreateView(uint32_t overviewAllowed, WORD shaderId) {
  auto* view = static_cast<DewarpView*>(std::calloc(1, sizeof(DewarpView)));
  if (view == nullptr) return nullptr;
  view->overviewAllowed = overviewAllowed;
  view->shaderCode = FindShader(shaderId);
  return view;
}

}  // namespace

void SetUpViews(DewarpRenderer* r) {
  r->singleView = CreateView(1, kPerspectiveShader);
  r->wallPanorama = CreateView(0, kWallPanoramaShader);
  r->ceilingPanorama = CreateView(0, kCeilingPanoramaShader);
  r->floorPanorama = CreateView(0, kFloorPanoramaShader);
  for (DewarpView*& view : r->quadViews) view = CreateView(0, kPerspectiveShader);

  DewarpView* const views[] = {r->singleView,     r->wallPanorama,  r->ceilingPanorama,
                               r->floorPanorama,  r->quadViews[0], r->quadViews[1],
                               r->quadViews[2],   r->quadViews[3]};
  for (DewarpView* view : views) {
    if (view != nullptr) {
      PrepareView(view, r->imageWidth, r->imageHeight, r->lensProfile, r->effect,
                  UploadConstants);
    }
  }
  SpreadQuadViews(r->quadViews, UploadConstants);

  switch (r->effect) {
    case 1:
      r->activePanorama = r->wallPanorama;
      break;
    case 2:
      r->activePanorama = r->ceilingPanorama;
      break;
    case 3:
      r->activePanorama = r->floorPanorama;
      break;
    default:
      break;  // no panorama: composition 2 draws the frame without a shader
  }
}

HRESULT SetPosition(DewarpRenderer* r, float pan, float tilt, float zoom, bool absolute) {
  if (PositionViews(r->singleView, r->quadViews, r->composition, pan, tilt, zoom, absolute,
                    UploadConstants)) {
    Redraw(r);
  }
  return S_OK;
}

void FreeDewarpRenderer(DewarpRenderer* renderer) { std::free(renderer); }

void RendererFrameEntry(ViewerRecord* viewer, DewarpRenderer* r, const uint8_t* bits,
                        uint32_t byteSize, uint32_t width, uint32_t height) {
  if (r->state == 0) {
    // Effect, lens, width and composition are whatever the set-up exports
    // left. Without them: effect 0, width 0 (the device takes the window's
    // size, snapshots are refused), a zero lens that shows the frame centre,
    // and the single view. A failed set-up leaves the renderer inert: the
    // window keeps whatever it showed, as the viewer does not fall back to
    // DrawDib while a renderer is attached.
    r->imageWidth = width;
    r->imageHeight = height;
    r->imageFormat = kFormatA8R8G8B8;
    SetUpViews(r);
    r->state = SUCCEEDED(StartDevice(r)) ? 1 : -1;
    if (viewer->initialPositionPending) {
      SetPosition(r, viewer->initialPosition[0], viewer->initialPosition[1],
                  viewer->initialPosition[2], true);
      viewer->initialPositionPending = 0;
    }
  }
  if (r->state >= 0) RenderFrame(r, bits, byteSize);
}

}  // namespace vv
