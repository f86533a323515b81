// The shaders from the DLL's resources drawn by a real Direct3D 9 device over
// one quad, on a frame whose texels carry their own coordinates (blue = x,
// green = y): every output pixel read back must show the frame point that
// the exact reference mapping gives, or black where it says so.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "dewarp_reference_util.h"
#include "shader_test_device.h"

namespace {

using vv::DewarpConstants;
using vv::DewarpReferencePoint;
using vv::DewarpSample;
using vv::DewarpShader;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;
constexpr int kFrame = 256;   // one texel per 8-bit level
constexpr int kOutput = 64;
constexpr int kMarker = 200;  // red of every frame texel; black has 0

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

DewarpConstants Lens(double centreX = 128, double centreY = 128) {
  DewarpConstants k{};
  k.size[0] = k.size[1] = kFrame;
  k.imageCenter[0] = centreX;
  k.imageCenter[1] = centreY;
  k.lensProfile[0] = -3;
  k.lensProfile[1] = 2;
  k.lensProfile[2] = 75;
  return k;
}

// A perspective view of a wall (effect 1) or ceiling (effect 2) camera.
DewarpConstants View(int effect, double pan, double tilt, double zoom) {
  DewarpConstants k = Lens();
  k.tangentOfFieldOfView = std::tan(zoom * kDegree);
  if (effect == 1) {
    k.lambdaOffset = kPi;
    k.rotateData[0] = -tilt * kDegree;
    k.rotateData[1] = pan * kDegree;
  } else {
    k.lambdaOffset = kPi / 2;
    k.rotateData[1] = -(tilt + 90) * kDegree;
    k.rotateData[2] = (pan + 90) * kDegree;
  }
  return k;
}

IDirect3DTexture9* CreateCoordinateFrame(IDirect3DDevice9* device) {
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(device->CreateTexture(kFrame, kFrame, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                   &texture, nullptr)))
    return nullptr;
  D3DLOCKED_RECT locked;
  if (FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
    Release(texture);
    return nullptr;
  }
  for (int y = 0; y < kFrame; ++y) {
    uint8_t* row = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch;
    for (int x = 0; x < kFrame; ++x) {
      row[4 * x] = static_cast<uint8_t>(x);
      row[4 * x + 1] = static_cast<uint8_t>(y);
      row[4 * x + 2] = kMarker;
      row[4 * x + 3] = 255;
    }
  }
  texture->UnlockRect(0);
  return texture;
}

void SetConstants(ID3DXConstantTable* table, IDirect3DDevice9* device, DewarpShader shader,
                  const DewarpConstants& k) {
  auto set = [&](const char* name, const double* values, int count) {
    float f[3];
    for (int i = 0; i < count; ++i) f[i] = static_cast<float>(values[i]);
    EXPECT_EQ(table->SetValue(device, name, f, 4 * count), S_OK) << name;
  };
  set("size", k.size, 2);
  set("imageCenter", k.imageCenter, 2);
  set("LensProfile", k.lensProfile, 3);
  if (shader == DewarpShader::kPerspective) {
    set("tangentOfFieldOfView", &k.tangentOfFieldOfView, 1);
    set("lambdaOffset", &k.lambdaOffset, 1);
    set("rotateData", k.rotateData, 3);
  }
}

// Draws the shader over the whole output and returns its pixels as blue,
// green, red, alpha, top row first; empty on failure.
std::vector<uint8_t> Draw(const DWORD* code, DewarpShader shader, const DewarpConstants& k) {
  IDirect3DDevice9* device = ShaderDevice().device;
  std::vector<uint8_t> pixels;
  ID3DXConstantTable* table = nullptr;
  IDirect3DPixelShader9* pixelShader = nullptr;
  IDirect3DTexture9* frame = CreateCoordinateFrame(device);
  IDirect3DSurface9 *target = nullptr, *readBack = nullptr, *previous = nullptr;
  if (frame != nullptr && SUCCEEDED(ShaderDevice().getConstantTable(code, &table)) &&
      SUCCEEDED(device->CreatePixelShader(code, &pixelShader)) &&
      SUCCEEDED(device->CreateRenderTarget(kOutput, kOutput, D3DFMT_A8R8G8B8,
                                           D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr)) &&
      SUCCEEDED(device->CreateOffscreenPlainSurface(kOutput, kOutput, D3DFMT_A8R8G8B8,
                                                    D3DPOOL_SYSTEMMEM, &readBack, nullptr)) &&
      SUCCEEDED(device->GetRenderTarget(0, &previous))) {
    device->SetRenderTarget(0, target);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 255, 0, 255), 0, 0);
    SetConstants(table, device, shader, k);
    device->SetPixelShader(pixelShader);
    device->SetTexture(0, frame);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    // Pre-transformed corners half a pixel up and left, so that pixel
    // (i, j) is drawn with u = (i + 0.5) / width, v = (j + 0.5) / height.
    const float e = kOutput - 0.5f;
    const float quad[4][6] = {{-0.5f, -0.5f, 0, 1, 0, 0}, {e, -0.5f, 0, 1, 1, 0},
                              {-0.5f, e, 0, 1, 0, 1}, {e, e, 0, 1, 1, 1}};
    if (SUCCEEDED(device->BeginScene())) {
      device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof quad[0]);
      device->EndScene();
    }
    D3DLOCKED_RECT locked;
    if (SUCCEEDED(device->GetRenderTargetData(target, readBack)) &&
        SUCCEEDED(readBack->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
      for (int y = 0; y < kOutput; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
        pixels.insert(pixels.end(), row, row + 4 * kOutput);
      }
      readBack->UnlockRect();
    }
    device->SetRenderTarget(0, previous);
    device->SetPixelShader(nullptr);
    device->SetTexture(0, nullptr);
  }
  Release(previous);
  Release(readBack);
  Release(target);
  Release(pixelShader);
  Release(table);
  Release(frame);
  return pixels;
}

struct PictureCase {
  const char* what;
  int resource;
  DewarpShader shader;
  DewarpConstants constants;
};

TEST(ShaderPicture, DrawnPixelsShowTheReferencePoints) {
  ASSERT_NE(ShaderDevice().device, nullptr) << "no Direct3D 9 device";
  const PictureCase cases[] = {
      {"wall default view", 101, DewarpShader::kPerspective, View(1, 0, 0, 30)},
      {"wall view turned off the frame", 101, DewarpShader::kPerspective, View(1, 80, -20, 50)},
      {"ceiling default view", 101, DewarpShader::kPerspective, View(2, 0, -30, 30)},
      {"ceiling panorama", 102, DewarpShader::kCeilingPanorama, Lens()},
      {"ceiling panorama, rim off the frame", 102, DewarpShader::kCeilingPanorama, Lens(60, 110)},
      {"floor panorama", 103, DewarpShader::kFloorPanorama, Lens()},
      {"floor panorama, rim off the frame", 103, DewarpShader::kFloorPanorama, Lens(200, 180)},
      {"wall panorama", 104, DewarpShader::kWallPanorama, Lens(110, 140)},
  };
  for (const PictureCase& c : cases) {
    SCOPED_TRACE(c.what);
    DWORD bytes = 0;
    const DWORD* code = ShaderResource(c.resource, &bytes);
    ASSERT_NE(code, nullptr);
    std::vector<uint8_t> pixels = Draw(code, c.shader, c.constants);
    ASSERT_EQ(pixels.size(), size_t{4} * kOutput * kOutput);
    int compared = 0, black = 0, wrong = 0;
    double worst = 0;
    for (int j = 0; j < kOutput; ++j) {
      for (int i = 0; i < kOutput; ++i) {
        DewarpSample s = DewarpReferencePoint(c.shader, c.constants, (i + 0.5) / kOutput,
                                              (j + 0.5) / kOutput);
        const uint8_t* p = &pixels[4 * (j * kOutput + i)];
        // Texel centres sit half a texel in: the filtered blue is sx - 0.5.
        double tx = s.x - 0.5, ty = s.y - 0.5;
        double margin = std::fmin(std::fmin(tx, kFrame - 1 - tx), std::fmin(ty, kFrame - 1 - ty));
        if (s.black && margin < -2) {
          ++black;
          if (p[0] != 0 || p[1] != 0 || p[2] != 0) ++wrong;
        } else if (!s.black && margin > 1) {
          ++compared;
          double error = std::fmax(std::fabs(p[0] - tx), std::fabs(p[1] - ty));
          worst = std::fmax(worst, error);
          if (p[2] != kMarker || error > 1.0) ++wrong;
        }
      }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(compared + black, kOutput * kOutput / 2);
    std::printf("  %-38s %4d compared (worst %.2f levels), %4d black\n", c.what, compared,
                worst, black);
    std::fflush(stdout);
  }
}

}  // namespace
