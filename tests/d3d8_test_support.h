// d3d8_test_support.h — a real Direct3D device on a small test window, and the drawing helpers
// the Direct3D stand-in tests share (screen-space quads, small textures, pixel reads).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_test_hooks.h"
#include "platform/win32/windows.h"

namespace d3d8test {

constexpr UINT kSize = 64;   // the test window and back buffer are kSize × kSize

struct ScreenVertex {   // format 0x144: x, y, z, rhw, diffuse, u, v
  float x, y, z, rhw;
  DWORD diffuse;
  float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct Rgb {
  int r, g, b;
};
inline Rgb rgbOf(uint32_t argb) { return {int((argb >> 16) & 0xff), int((argb >> 8) & 0xff), int(argb & 0xff)}; }

inline LRESULT CALLBACK testWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

inline HWND createTestWindow(UINT width = kSize, UINT height = kSize) {
  static char dir[] = "/tmp/tw-d3d8-XXXXXX";
  static bool made = mkdtemp(dir) != nullptr;
  if (made) setenv("XDG_RUNTIME_DIR", dir, 1);
  WNDCLASSA cls{};
  cls.lpfnWndProc = testWindowProc;
  cls.lpszClassName = "D3D8Test";
  RegisterClassA(&cls);
  return CreateWindowExA(0, "D3D8Test", "d3d8 test", WS_POPUP | WS_VISIBLE, 0, 0, int(width), int(height),
                         nullptr, nullptr, nullptr, nullptr);
}

inline D3DPRESENT_PARAMETERS fullScreenParameters(UINT width = kSize, UINT height = kSize) {
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = width;
  p.BackBufferHeight = height;
  p.BackBufferFormat = D3DFMT_X8R8G8B8;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.Windowed = FALSE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D24X8;
  return p;
}

// A window, the Direct3D object and a device whose back buffer covers the window.
class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window = createTestWindow();
    ASSERT_NE(window, nullptr);
    direct3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(direct3d, nullptr);
    parameters = fullScreenParameters();
    ASSERT_EQ(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                     &parameters, &device),
              D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(64 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, kScreenFvf,
                                         D3DPOOL_MANAGED, &quads),
              D3D_OK);
  }
  void TearDown() override {
    if (quads) quads->Release();
    if (device) device->Release();
    if (direct3d) direct3d->Release();
    if (window) DestroyWindow(window);
  }

  // Draws the rectangle [x0, x1) × [y0, y1) in pixels as a two-triangle strip (bottom-left,
  // top-left, bottom-right, top-right: clockwise on screen), texture corners (u0, v0)…(u1, v1).
  void drawQuad(float x0, float y0, float x1, float y1, DWORD color, float z = 0.5f, float u0 = 0,
                float v0 = 0, float u1 = 1, float v1 = 1) {
    ScreenVertex v[4] = {{x0, y1, z, 1, color, u0, v1},
                         {x0, y0, z, 1, color, u0, v0},
                         {x1, y1, z, 1, color, u1, v1},
                         {x1, y0, z, 1, color, u1, v0}};
    drawScreenVertices(v, 4, D3DPT_TRIANGLESTRIP, 2);
  }
  void drawScreenVertices(const ScreenVertex* v, UINT count, D3DPRIMITIVETYPE type, UINT primitives) {
    BYTE* data = nullptr;
    ASSERT_EQ(quads->Lock(0, count * sizeof(ScreenVertex), &data, 0), D3D_OK);
    std::memcpy(data, v, count * sizeof(ScreenVertex));
    quads->Unlock();
    device->SetVertexShader(kScreenFvf);
    device->SetStreamSource(0, quads, sizeof(ScreenVertex));
    ASSERT_EQ(device->DrawPrimitive(type, 0, primitives), D3D_OK);
  }
  // A managed A8R8G8B8 texture from rows of 0xAARRGGBB texels, top row first.
  IDirect3DTexture8* makeTexture(UINT width, UINT height, const std::vector<uint32_t>& texels,
                                 UINT levels = 1) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(width, height, levels, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
              D3D_OK);
    if (texture) fillLevel(texture, 0, texels);
    return texture;
  }
  static void fillLevel(IDirect3DTexture8* texture, UINT level, const std::vector<uint32_t>& texels) {
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(level, &desc);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y)
      std::memcpy(static_cast<BYTE*>(locked.pBits) + y * locked.Pitch, &texels[y * desc.Width], desc.Width * 4);
    texture->UnlockRect(level);
  }
  void clear(D3DCOLOR color) { device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0); }
  // Untextured drawing: colour and alpha straight from the vertex.
  void useVertexColour() {
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  }
  std::vector<uint32_t> readPixels() {
    std::vector<uint32_t> argb;
    UINT w = 0, h = 0;
    EXPECT_TRUE(d3d8TestReadRenderTarget(device, argb, w, h));
    width = w;
    height = h;
    return argb;
  }
  Rgb pixel(int x, int y) {
    std::vector<uint32_t> argb = readPixels();
    return rgbOf(argb[size_t(y) * width + size_t(x)]);
  }

  HWND window = nullptr;
  IDirect3D8* direct3d = nullptr;
  IDirect3DDevice8* device = nullptr;
  IDirect3DVertexBuffer8* quads = nullptr;
  D3DPRESENT_PARAMETERS parameters{};
  UINT width = 0, height = 0;
};

}  // namespace d3d8test

// Colours match within one level per channel (GPU rounding).
#define EXPECT_RGB_NEAR(actual, er, eg, eb)                                                  \
  do {                                                                                       \
    d3d8test::Rgb a_ = (actual);                                                             \
    EXPECT_TRUE(std::abs(a_.r - (er)) <= 1 && std::abs(a_.g - (eg)) <= 1 && std::abs(a_.b - (eb)) <= 1) \
        << "got (" << a_.r << ", " << a_.g << ", " << a_.b << "), expected (" << (er) << ", " << (eg) \
        << ", " << (eb) << ")";                                                              \
  } while (0)
