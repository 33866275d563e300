// d3d8_picture_test.cpp — the Direct3D semantics the scene relies on, drawn on the real OpenGL
// device and read back; every expected pixel is worked out by hand in the comments.
#include <cmath>

#include "d3d8_test_support.h"

namespace {

using d3d8test::DeviceTest;
using d3d8test::kSize;
using d3d8test::ScreenVertex;

class Picture : public DeviceTest {};

// Four texels, red | green over blue | white, point-sampled over the whole 64 × 64 screen: each
// texel fills one 32 × 32 quadrant with v = 0 at the top, modulated by grey 0x80 (128/255):
// 255 · 128/255 = 128.
TEST_F(Picture, TexturedQuadIsModulatedByVertexColourTopRowFirst) {
  IDirect3DTexture8* texture = makeTexture(2, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
  clear(0xFF000000);
  device->SetTexture(0, texture);
  drawQuad(0, 0, kSize, kSize, 0xFF808080);
  EXPECT_RGB_NEAR(pixel(16, 16), 128, 0, 0);
  EXPECT_RGB_NEAR(pixel(48, 16), 0, 128, 0);
  EXPECT_RGB_NEAR(pixel(16, 48), 0, 0, 128);
  EXPECT_RGB_NEAR(pixel(48, 48), 128, 128, 128);
  texture->Release();
}

struct BlendCase {
  const char* name;
  DWORD src, dest;
  D3DCOLOR clearColour, vertexColour;
  int r, g, b;
};

// Vertex colour and alpha straight from the vertex, blended over the cleared colour.
TEST_F(Picture, BlendFactorsCombineSourceAndDestination) {
  const BlendCase cases[] = {
      // additive: dest + src · 128/255 → 32 + 200 · 0.502 = 132, 64 + 50.2 = 114, 96 + 25.1 = 121
      {"SRCALPHA, ONE", D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0xFF204060, 0x80C86432, 132, 114, 121},
      // multiply: dest · src → 128 · 1, 64 · 128/255 = 32, 192 · 64/255 = 48
      {"ZERO, SRCCOLOR", D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 0xFF8040C0, 0xFFFF8040, 128, 32, 48},
      // darken: dest · (1 − src) → 0, 64 · 127/255 = 32, 192 · 191/255 = 144
      {"ZERO, INVSRCCOLOR", D3DBLEND_ZERO, D3DBLEND_INVSRCCOLOR, 0xFF8040C0, 0xFFFF8040, 0, 32, 144},
      // crossfade-style: src · a + dest · (1 − a), a = 64/255 → 255 · 0.251 + 0 = 64, 0 + 255 · 0.749 = 191
      {"SRCALPHA, INVSRCALPHA", D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0xFF0000FF, 0x40FF0000, 64, 0, 191},
  };
  useVertexColour();
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  for (const BlendCase& c : cases) {
    SCOPED_TRACE(c.name);
    clear(c.clearColour);
    device->SetRenderState(D3DRS_SRCBLEND, c.src);
    device->SetRenderState(D3DRS_DESTBLEND, c.dest);
    drawQuad(0, 0, kSize, kSize, c.vertexColour);
    EXPECT_RGB_NEAR(pixel(32, 32), c.r, c.g, c.b);
  }
}

// Columns of vertex alpha 47, 48, 49 and 255 against GREATEREQUAL 48: only 47 is dropped.
TEST_F(Picture, AlphaTestGreaterEqualComparesEightBitAlphaWithTheReference) {
  useVertexColour();
  device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_ALPHAREF, 48);
  clear(0xFF000000);
  const DWORD alphas[] = {47, 48, 49, 255};
  for (int i = 0; i < 4; ++i) drawQuad(i * 16.0f, 0, i * 16.0f + 16, kSize, alphas[i] << 24 | 0xFFFFFF);
  EXPECT_RGB_NEAR(pixel(8, 32), 0, 0, 0);
  EXPECT_RGB_NEAR(pixel(24, 32), 255, 255, 255);
  EXPECT_RGB_NEAR(pixel(40, 32), 255, 255, 255);
  EXPECT_RGB_NEAR(pixel(56, 32), 255, 255, 255);
}

// Colour = texture × diffuse, alpha = SELECTARG2 (diffuse): the texel's alpha 0 plays no part.
// Red texel, vertex 0x80FFFFFF, SRCALPHA / INVSRCALPHA over black → 255 · 128/255 = 128.
TEST_F(Picture, AlphaSelectArg2TakesTheDiffuseAlphaNotTheTexture) {
  IDirect3DTexture8* texture = makeTexture(1, 1, {0x00FF0000});
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  clear(0xFF000000);
  drawQuad(0, 0, kSize, kSize, 0x80FFFFFF);
  EXPECT_RGB_NEAR(pixel(32, 32), 128, 0, 0);
  texture->Release();
}

// The glow mask's state: colour = TFACTOR (black), alpha = texture, alpha test ≥ 48. The left
// texel is opaque and draws black; the right one is transparent and leaves the white clear.
TEST_F(Picture, BlackTextureFactorWithTextureAlphaCutsTheShape) {
  IDirect3DTexture8* texture = makeTexture(2, 1, {0xFF00FF00, 0x0000FF00});
  device->SetTexture(0, texture);
  device->SetRenderState(D3DRS_TEXTUREFACTOR, 0x00000000);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_ALPHAREF, 48);
  clear(0xFFFFFFFF);
  drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  EXPECT_RGB_NEAR(pixel(16, 32), 0, 0, 0);
  EXPECT_RGB_NEAR(pixel(48, 32), 255, 255, 255);
  texture->Release();
}

struct LitVertex {   // format 0x152: position, normal, diffuse, u, v
  float x, y, z, nx, ny, nz;
  DWORD diffuse;
  float u, v;
};

// One directional light on a full-screen quad (identity transforms, clip space = position) with
// normal (0, 0, −2) and NORMALIZENORMALS. The light travels along (0, 0.6, 0.8), so towards the
// light is (0, −0.6, −0.8) and N·L = 0.8. Light diffuse (0.5, 0.75, 0.25), light ambient 0.1,
// material ambient 1, D3DRS_AMBIENT 0x19 = 0.09804. Colour = Ca · (Ga + La) + Cd · Ld · N·L.
TEST_F(Picture, DirectionalLightAndAmbientGiveTheLitColour) {
  IDirect3DVertexBuffer8* buffer = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(4 * sizeof(LitVertex), 0, 0x152, D3DPOOL_MANAGED, &buffer), D3D_OK);
  const DWORD vertexColour = 0xFF804020;   // Cd = (0.50196, 0.25098, 0.12549)
  LitVertex quad[4] = {{-1, -1, 0.5f, 0, 0, -2, vertexColour, 0, 1},
                       {-1, 1, 0.5f, 0, 0, -2, vertexColour, 0, 0},
                       {1, -1, 0.5f, 0, 0, -2, vertexColour, 1, 1},
                       {1, 1, 0.5f, 0, 0, -2, vertexColour, 1, 0}};
  BYTE* data;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, quad, sizeof quad);
  buffer->Unlock();

  D3DLIGHT8 light{};
  light.Type = D3DLIGHT_DIRECTIONAL;
  light.Diffuse = {0.5f, 0.75f, 0.25f, 0};
  light.Ambient = {0.1f, 0.1f, 0.1f, 0};
  light.Direction = {0, 0.6f, 0.8f};
  D3DMATERIAL8 material{};
  material.Diffuse = {1, 1, 1, 1};
  material.Ambient = {1, 1, 1, 1};
  device->SetLight(0, &light);
  device->LightEnable(0, TRUE);
  device->SetMaterial(&material);
  device->SetRenderState(D3DRS_LIGHTING, TRUE);
  device->SetRenderState(D3DRS_AMBIENT, 0xFF191919);
  device->SetRenderState(D3DRS_NORMALIZENORMALS, TRUE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  useVertexColour();
  device->SetVertexShader(0x152);
  device->SetStreamSource(0, buffer, sizeof(LitVertex));

  struct {
    const char* name;
    BOOL colorVertex;
    int r, g, b;
  } cases[] = {
      // Vertex diffuse as the diffuse material: 0.19804 + 0.5 · 0.50196 · 0.8 = 0.39882 → 102;
      // 0.19804 + 0.75 · 0.25098 · 0.8 = 0.34863 → 89; 0.19804 + 0.25 · 0.12549 · 0.8 → 57.
      {"vertex colour", TRUE, 102, 89, 57},
      // COLORVERTEX off: the material's diffuse (1, 1, 1): 0.59804 → 152.5; 0.79804 → 203.5;
      // 0.39804 → 101.5.
      {"material", FALSE, 152, 203, 101},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    device->SetRenderState(D3DRS_COLORVERTEX, c.colorVertex);
    clear(0xFF000000);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    d3d8test::Rgb got = pixel(32, 32);
    EXPECT_NEAR(got.r, c.r, 1.5);
    EXPECT_NEAR(got.g, c.g, 1.5);
    EXPECT_NEAR(got.b, c.b, 1.5);
  }
  // Lighting off: the vertex colour as it is.
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  clear(0xFF000000);
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  EXPECT_RGB_NEAR(pixel(32, 32), 0x80, 0x40, 0x20);
  buffer->Release();
}

// Three strips, each red at depth 0.5 then green at 0.7 (LESSEQUAL, cleared to 1.0).
TEST_F(Picture, DepthTestAndDepthWritesSwitchIndependently) {
  useVertexColour();
  clear(0xFF000000);
  // Both on: green is behind red.
  drawQuad(0, 0, 16, kSize, 0xFFFF0000, 0.5f);
  drawQuad(0, 0, 16, kSize, 0xFF00FF00, 0.7f);
  // Writes off for red: the depth stays 1.0 and green passes.
  device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
  drawQuad(16, 0, 32, kSize, 0xFFFF0000, 0.5f);
  device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
  drawQuad(16, 0, 32, kSize, 0xFF00FF00, 0.7f);
  // Test off for green: it overwrites red whatever the depth.
  drawQuad(32, 0, 48, kSize, 0xFFFF0000, 0.5f);
  device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
  drawQuad(32, 0, 48, kSize, 0xFF00FF00, 0.7f);
  EXPECT_RGB_NEAR(pixel(8, 32), 255, 0, 0);
  EXPECT_RGB_NEAR(pixel(24, 32), 0, 255, 0);
  EXPECT_RGB_NEAR(pixel(40, 32), 0, 255, 0);
}

struct PositionVertex {   // format 0x42: position and colour
  float x, y, z;
  DWORD diffuse;
};

// A triangle clockwise on screen (y down) at the left, counter-clockwise at the right, drawn both
// pre-transformed and through the (identity) transforms, where clip y points up.
TEST_F(Picture, CullModesRemoveTrianglesByTheirWindingOnScreen) {
  const ScreenVertex screen[6] = {
      {2, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {30, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {2, 30, 0.5f, 1, 0xFFFFFFFF, 0, 0},
      {34, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {34, 30, 0.5f, 1, 0xFFFFFFFF, 0, 0}, {62, 2, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
  // The same shapes in clip space: x = px / 32 − 1, y = 1 − py / 32.
  const PositionVertex world[6] = {{-0.9375f, 0.9375f, 0.5f, 0xFFFFFFFF}, {-0.0625f, 0.9375f, 0.5f, 0xFFFFFFFF},
                                   {-0.9375f, 0.0625f, 0.5f, 0xFFFFFFFF}, {0.0625f, 0.9375f, 0.5f, 0xFFFFFFFF},
                                   {0.0625f, 0.0625f, 0.5f, 0xFFFFFFFF}, {0.9375f, 0.9375f, 0.5f, 0xFFFFFFFF}};
  IDirect3DVertexBuffer8* buffer = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(sizeof world, 0, 0x42, D3DPOOL_MANAGED, &buffer), D3D_OK);
  BYTE* data;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, world, sizeof world);
  buffer->Unlock();
  useVertexColour();
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  struct {
    DWORD mode;
    bool clockwiseDrawn, counterDrawn;
  } cases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
  for (const auto& c : cases) {
    for (bool transformed : {false, true}) {
      SCOPED_TRACE(testing::Message() << "cull " << c.mode << (transformed ? " transformed" : " screen"));
      clear(0xFF000000);
      device->SetRenderState(D3DRS_CULLMODE, c.mode);
      if (transformed) {
        device->SetVertexShader(0x42);
        device->SetStreamSource(0, buffer, sizeof(PositionVertex));
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
      } else {
        drawScreenVertices(screen, 6, D3DPT_TRIANGLELIST, 2);
      }
      std::vector<uint32_t> argb = readPixels();
      EXPECT_EQ(d3d8test::rgbOf(argb[8 * kSize + 8]).r == 255, c.clockwiseDrawn);
      EXPECT_EQ(d3d8test::rgbOf(argb[8 * kSize + 40]).r == 255, c.counterDrawn);
    }
  }
  buffer->Release();
}

// Pixel centres sit at integer coordinates: a quad from (8, 8) to (24, 16) covers exactly the
// pixels x = 8…23, y = 8…15 — no more, no fewer.
TEST_F(Picture, ScreenSpaceQuadCoversExactlyItsPixels) {
  useVertexColour();
  clear(0xFF000000);
  drawQuad(8, 8, 24, 16, 0xFFFFFFFF);
  std::vector<uint32_t> argb = readPixels();
  for (UINT y = 0; y < kSize; ++y)
    for (UINT x = 0; x < kSize; ++x) {
      bool inside = x >= 8 && x < 24 && y >= 8 && y < 16;
      ASSERT_EQ((argb[y * kSize + x] & 0xFFFFFF) == 0xFFFFFF, inside) << "pixel " << x << ", " << y;
    }
}

// Through the transforms too: a clip-space quad spanning x −0.5…0.5 covers pixels 16…47.
TEST_F(Picture, TransformedQuadMapsToTheSamePixelsAsDirect3D) {
  const PositionVertex quad[4] = {{-0.5f, -0.5f, 0.5f, 0xFFFFFFFF}, {-0.5f, 0.5f, 0.5f, 0xFFFFFFFF},
                                  {0.5f, -0.5f, 0.5f, 0xFFFFFFFF}, {0.5f, 0.5f, 0.5f, 0xFFFFFFFF}};
  IDirect3DVertexBuffer8* buffer = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(sizeof quad, 0, 0x42, D3DPOOL_MANAGED, &buffer), D3D_OK);
  BYTE* data;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, quad, sizeof quad);
  buffer->Unlock();
  useVertexColour();
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  clear(0xFF000000);
  device->SetVertexShader(0x42);
  device->SetStreamSource(0, buffer, sizeof(PositionVertex));
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
  std::vector<uint32_t> argb = readPixels();
  // Direct3D: x_s = (ndc + 1) / 2 · 64 → 16…48, pixel centres 16…47 inside (top-left rule).
  int first = -1, last = -1;
  for (int x = 0; x < int(kSize); ++x)
    if (argb[32 * kSize + x] & 0xFF) {
      if (first < 0) first = x;
      last = x;
    }
  EXPECT_EQ(first, 16);
  EXPECT_EQ(last, 47);
  buffer->Release();
}

// The left edge is at w = 1, the right at w = 4: perspective-correct u reaches 0.5 (the texel
// boundary) at t = 0.8 of the width (x ≈ 51), not at the middle as affine mapping would.
TEST_F(Picture, ScreenSpaceTexturingIsPerspectiveCorrect) {
  IDirect3DTexture8* texture = makeTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  clear(0xFF000000);
  ScreenVertex v[4] = {{0, kSize, 0.5f, 1, 0xFFFFFFFF, 0, 1}, {0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                       {kSize, kSize, 0.5f, 0.25f, 0xFFFFFFFF, 1, 1}, {kSize, 0, 0.5f, 0.25f, 0xFFFFFFFF, 1, 0}};
  drawScreenVertices(v, 4, D3DPT_TRIANGLESTRIP, 2);
  EXPECT_RGB_NEAR(pixel(40, 32), 255, 0, 0);
  EXPECT_RGB_NEAR(pixel(56, 32), 0, 255, 0);
  texture->Release();
}

// Draw into a 32 × 32 render-target texture (blue, with red in its top half), then lay it over
// the screen: the red half must come out at the top.
TEST_F(Picture, RenderTargetTextureIsSampledBackInTheRightOrientation) {
  IDirect3DTexture8* target = nullptr;
  IDirect3DSurface8* depth = nullptr;
  ASSERT_EQ(device->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target),
            D3D_OK);
  ASSERT_EQ(device->CreateDepthStencilSurface(32, 32, D3DFMT_D16, D3DMULTISAMPLE_NONE, &depth), D3D_OK);
  IDirect3DSurface8 *oldTarget = nullptr, *oldDepth = nullptr, *level = nullptr;
  device->GetRenderTarget(&oldTarget);
  device->GetDepthStencilSurface(&oldDepth);
  target->GetSurfaceLevel(0, &level);
  ASSERT_EQ(device->SetRenderTarget(level, depth), D3D_OK);
  D3DVIEWPORT8 viewport;
  device->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 32u);
  EXPECT_EQ(viewport.Height, 32u);
  useVertexColour();
  clear(0xFF0000FF);
  drawQuad(0, 0, 32, 16, 0xFFFF0000);
  ASSERT_EQ(device->SetRenderTarget(oldTarget, oldDepth), D3D_OK);
  device->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, kSize);
  level->Release();
  oldTarget->Release();
  oldDepth->Release();

  device->SetTexture(0, target);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  clear(0xFF000000);
  drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  EXPECT_RGB_NEAR(pixel(32, 8), 255, 0, 0);
  EXPECT_RGB_NEAR(pixel(32, 56), 0, 0, 255);
  device->SetTexture(0, nullptr);
  target->Release();
  depth->Release();
}

// u runs 0…2 across the screen over a red | green texture, point-sampled, 16 pixels per texel.
TEST_F(Picture, AddressModesRepeatMirrorOrClampTheTexture) {
  IDirect3DTexture8* texture = makeTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
  device->SetTexture(0, texture);
  struct {
    const char* name;
    DWORD mode;
    bool green[4];
  } cases[] = {{"WRAP", D3DTADDRESS_WRAP, {false, true, false, true}},
               {"MIRROR", D3DTADDRESS_MIRROR, {false, true, true, false}},
               {"CLAMP", D3DTADDRESS_CLAMP, {false, true, true, true}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    device->SetTextureStageState(0, D3DTSS_ADDRESSU, c.mode);
    clear(0xFF000000);
    drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF, 0.5f, 0, 0, 2, 1);
    std::vector<uint32_t> argb = readPixels();
    for (int i = 0; i < 4; ++i) {
      d3d8test::Rgb p = d3d8test::rgbOf(argb[32 * kSize + 8 + 16 * i]);
      EXPECT_EQ(p.g == 255 && p.r == 0, c.green[i]) << "column " << i;
      EXPECT_EQ(p.r == 255 && p.g == 0, !c.green[i]) << "column " << i;
    }
  }
  texture->Release();
}

// Black | white texels stretched over 64 pixels: point sampling keeps them apart, linear
// filtering blends them to mid-grey at the centre (u = 0.5 lies between the two texel centres).
TEST_F(Picture, LinearFilterBlendsNeighbouringTexels) {
  IDirect3DTexture8* texture = makeTexture(2, 1, {0xFF000000, 0xFFFFFFFF});
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
  clear(0xFF000000);
  drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  EXPECT_EQ(pixel(31, 32).r, 0);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
  drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  // Pixel 31's centre lies at x = 31, so u = 31/64 and the weight of white is u · 2 − 0.5 =
  // 0.46875 → 119.5 (a GL-style centre at 31.5 would give 123.4).
  EXPECT_NEAR(pixel(31, 32).r, 119.5, 1.5);
  texture->Release();
}

// A 4 × 4 texture with three levels: red, green, blue. Drawn at 4, 2 and 1 pixels the mip
// filter picks levels 0, 1 and 2; with MIPFILTER NONE level 0 is always used.
TEST_F(Picture, MipFilterSelectsTheLevelByScreenSize) {
  std::vector<uint32_t> red(16, 0xFFFF0000), green(4, 0xFF00FF00), blue(1, 0xFF0000FF);
  IDirect3DTexture8* texture = makeTexture(4, 4, red, 3);
  ASSERT_EQ(texture->GetLevelCount(), 3u);
  fillLevel(texture, 1, green);
  fillLevel(texture, 2, blue);
  device->SetTexture(0, texture);
  struct {
    DWORD mip;
    int size;
    int r, g, b;
  } cases[] = {{D3DTEXF_POINT, 4, 255, 0, 0}, {D3DTEXF_POINT, 2, 0, 255, 0}, {D3DTEXF_POINT, 1, 0, 0, 255},
               {D3DTEXF_NONE, 1, 255, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "mip " << c.mip << " size " << c.size);
    device->SetTextureStageState(0, D3DTSS_MIPFILTER, c.mip);
    clear(0xFF000000);
    drawQuad(10, 10, 10.0f + c.size, 10.0f + c.size, 0xFFFFFFFF);
    EXPECT_RGB_NEAR(pixel(10, 10), c.r, c.g, c.b);
  }
  texture->Release();
}

struct ModelVertex {   // format 0x352 with its 56-byte stride: the third set holds three floats
  float x, y, z, nx, ny, nz;
  DWORD diffuse;
  float u0, v0, u1, v1, u2, v2, w2;
};

// Indexed drawing from a 56-byte model vertex with a base vertex index; stage 0 reads the second
// coordinate set (TEXCOORDINDEX 1), which points at the green texel, while set 0 points at red.
TEST_F(Picture, IndexedModelVerticesUseTheirStrideBaseIndexAndCoordinateSet) {
  static_assert(sizeof(ModelVertex) == 56);
  IDirect3DTexture8* texture = makeTexture(2, 1, {0xFFFF0000, 0xFF00FF00});
  IDirect3DVertexBuffer8* vertices = nullptr;
  IDirect3DIndexBuffer8* indices = nullptr;
  ASSERT_EQ(device->CreateVertexBuffer(8 * 56, 0, 0x352, D3DPOOL_MANAGED, &vertices), D3D_OK);
  ASSERT_EQ(device->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices), D3D_OK);
  ModelVertex v[8] = {};
  const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
  for (int i = 0; i < 4; ++i) {
    v[i] = {corners[i][0] * 0.1f, corners[i][1] * 0.1f, 0.5f, 0, 0, -1, 0xFF0000FF, 0.25f, 0.5f, 0.75f, 0.5f, 0, 0, 0};
    v[4 + i] = {corners[i][0], corners[i][1], 0.5f, 0, 0, -1, 0xFFFFFFFF, 0.25f, 0.5f, 0.75f, 0.5f, 0, 0, 0};
  }
  BYTE* data;
  vertices->Lock(0, 0, &data, 0);
  std::memcpy(data, v, sizeof v);
  vertices->Unlock();
  const WORD list[6] = {0, 1, 2, 2, 1, 3};
  indices->Lock(0, 0, &data, 0);
  std::memcpy(data, list, sizeof list);
  indices->Unlock();
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 1);
  device->SetVertexShader(0x352);
  device->SetStreamSource(0, vertices, 56);
  device->SetIndices(indices, 4);
  clear(0xFF000000);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
  EXPECT_RGB_NEAR(pixel(2, 2), 0, 255, 0);     // the big white quad of vertices 4…7, green texel
  device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 4, 0, 2), D3D_OK);
  EXPECT_RGB_NEAR(pixel(2, 2), 255, 0, 0);
  device->SetTexture(0, nullptr);
  texture->Release();
  vertices->Release();
  indices->Release();
}

// Stage 1 multiplies stage 0's result by its own texture (the scene's second model stage);
// a stage with no texture bound reads white, so objects whose picture failed to load are white.
TEST_F(Picture, SecondStageModulatesCurrentAndMissingTexturesReadWhite) {
  IDirect3DTexture8* half = makeTexture(1, 1, {0xFF808080});
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
  device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
  device->SetTexture(0, nullptr);   // stage 0: "texture" × diffuse = diffuse
  device->SetTexture(1, half);
  clear(0xFF000000);
  drawQuad(0, 0, kSize, kSize, 0xFFFF8040);
  // (255, 128, 64) · 128/255 = (128, 64, 32)
  EXPECT_RGB_NEAR(pixel(32, 32), 128, 64, 32);
  device->SetTexture(1, nullptr);
  half->Release();
}

}  // namespace
