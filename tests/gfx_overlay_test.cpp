// gfx_overlay_test.cpp — the clock and counter glyph tables, the overlay's quads and blend passes,
// and the loading screen's drawing and log, on a recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "assets/buffer_pool.h"
#include "assets/texture_manager.h"
#include "gfx/loading_screen.h"
#include "gfx/screen_overlay.h"
#include "recording_device.h"

namespace {

// The glyphs of a text as characters by position, blanks where nothing is drawn.
std::string spell(const OverlayGlyph* glyphs, int count) {
  static const char names[] = "0123456789:.AMP";
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (glyphs[i].position >= static_cast<int>(text.size())) text.resize(glyphs[i].position + 1, ' ');
    text[glyphs[i].position] = names[glyphs[i].glyph];
  }
  return text;
}

TEST(OverlayText, ClockInBothStyles) {
  struct Case {
    int hour, minute, second;
    bool twentyFour;
    const char* shown;
  } cases[] = {
      {0, 7, 9, false, "12:07:09AM"}, {12, 30, 0, false, "12:30:00PM"}, {13, 5, 0, false, " 1:05:00PM"},
      {9, 0, 0, false, " 9:00:00AM"}, {11, 59, 59, false, "11:59:59AM"}, {23, 0, 1, false, "11:00:01PM"},
      {9, 0, 0, true, "09:00:00"},    {0, 7, 9, true, "00:07:09"},       {23, 59, 59, true, "23:59:59"},
  };
  for (const Case& c : cases) {
    OverlayGlyph glyphs[10];
    const int count = clockGlyphs(c.hour, c.minute, c.second, c.twentyFour, glyphs);
    EXPECT_EQ(spell(glyphs, count), c.shown) << c.hour << ":" << c.minute << ":" << c.second;
  }
}

TEST(OverlayText, CounterFromPositionZero) {
  struct Case {
    int32_t fps;
    const char* shown;
  } cases[] = {{0, "0"}, {125, "125"}, {-3, ".3"}, {2147483647, "2147483647"}, {-2147483647 - 1, ".2147483648"}};
  for (const Case& c : cases) {
    OverlayGlyph glyphs[12];
    EXPECT_EQ(spell(glyphs, counterGlyphs(c.fps, glyphs)), c.shown) << c.fps;
  }
}

// The pool never releases its buffers (they live as long as the device); a test does.
void releaseBuffers(BufferPool& buffers) {
  for (int32_t n = 0; n < buffers.vertexBufferCount(); ++n)
    if (IDirect3DVertexBuffer8* b = buffers.vertexRecord(n).buffer) b->Release();
}

// A quad as it was when drawn: its pixel rectangle, colour, texture corners, blend and texture.
struct DrawnQuad {
  float left, top, right, bottom;
  D3DCOLOR colour;
  float uLeft, vTop, uRight, vBottom;
  DWORD srcBlend, destBlend;
  const IDirect3DBaseTexture8* texture;
  D3DSURFACE_DESC textureDesc;   // its first level (zeros without a texture)
};

// Keeps a copy of stream 0's first four screen vertices at every draw.
struct QuadRecordingDevice : RecordingDevice {
  std::vector<DrawnQuad> quads;
  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) override {
    auto* buffer = static_cast<RecordingVertexBuffer*>(streams[0].first);
    if (buffer && buffer->bytes.size() >= 4 * sizeof(ScreenVertex)) {
      const auto* v = reinterpret_cast<const ScreenVertex*>(buffer->bytes.data());
      // Strip order bottom-left, top-left, bottom-right, top-right.
      EXPECT_EQ(v[0].x, v[1].x);
      EXPECT_EQ(v[2].x, v[3].x);
      EXPECT_EQ(v[0].y, v[2].y);
      EXPECT_EQ(v[1].y, v[3].y);
      D3DSURFACE_DESC desc{};
      if (textures[0]) static_cast<IDirect3DTexture8*>(textures[0])->GetLevelDesc(0, &desc);
      quads.push_back({v[1].x, v[1].y, v[2].x, v[2].y, v[0].diffuse, v[1].u, v[1].v, v[2].u, v[2].v,
                       renderStates[D3DRS_SRCBLEND], renderStates[D3DRS_DESTBLEND], textures[0], desc});
    }
    return RecordingDevice::DrawPrimitive(type, start, count);
  }
};

struct OverlayFixture : ::testing::Test {
  QuadRecordingDevice device;
  RecordingDirect3D d3d{&device};
  TextureManager textures;
  BufferPool buffers;
  ScreenOverlay overlay;
  std::vector<const IDirect3DBaseTexture8*> glyphTextures;   // by glyph index

  void SetUp() override {
    textures.init(&d3d, &device, D3DFMT_X8R8G8B8, nullptr);
    buffers.init(&device, nullptr);
    buffers.createVertexBuffer(overlay.quad, screenVertexFormat, 4);
    overlay.layout = landscapeOverlayLayout;
    // Each glyph gets a texture of its own so the test can tell which one a quad used.
    for (int g = 0; g < overlayGlyphCount; ++g) {
      overlay.glyphs[g] = textures.createTarget(8 + g, 8 + g, 1, false);
      glyphTextures.push_back(textures.entry(overlay.glyphs[g].index).texture);
      ASSERT_NE(glyphTextures.back(), nullptr);
    }
    device.calls.clear();
  }
  void TearDown() override {
    textures.releaseAll();
    releaseBuffers(buffers);
    EXPECT_EQ(device.liveObjects(), 0);
  }

  void draw(OverlayOptions options, int32_t fps, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME now{};
    now.wHour = hour, now.wMinute = minute, now.wSecond = second;
    drawOverlay(&device, overlay, textures, buffers, options, fps, now);
  }

  // The glyph whose texture a quad used.
  int glyphOf(const DrawnQuad& quad) const {
    for (size_t g = 0; g < glyphTextures.size(); ++g)
      if (glyphTextures[g] == quad.texture) return static_cast<int>(g);
    return -1;
  }
};

constexpr float kWidth = 800, kHeight = 600;


TEST_F(OverlayFixture, TwentyFourHourClockPlacesEightGlyphsWithShadowThenLight) {
  draw({true, true, false}, 0, 9, 41, 7);
  ASSERT_EQ(device.quads.size(), 16u);
  const OverlayLayout& l = landscapeOverlayLayout;
  const int expectedGlyphs[8] = {0, 9, glyphColon, 4, 1, glyphColon, 0, 7};
  for (int i = 0; i < 8; ++i) {
    const DrawnQuad& shadow = device.quads[2 * i];
    const DrawnQuad& light = device.quads[2 * i + 1];
    const float left = (l.clockLeft + i * l.glyphWidth * l.advanceFactor) * kWidth;
    SCOPED_TRACE(i);
    EXPECT_EQ(glyphOf(shadow), expectedGlyphs[i]);
    EXPECT_EQ(glyphOf(light), expectedGlyphs[i]);
    EXPECT_NEAR(shadow.left, left, 1e-3);
    EXPECT_NEAR(shadow.top, l.clockTop * kHeight, 1e-3);
    EXPECT_NEAR(shadow.right - shadow.left, l.glyphWidth * 1.07f * kWidth, 1e-3);
    EXPECT_NEAR(shadow.bottom - shadow.top, l.glyphHeight * 1.07f * kHeight, 1e-3);
    EXPECT_EQ(shadow.srcBlend, DWORD(D3DBLEND_ZERO));
    EXPECT_EQ(shadow.destBlend, DWORD(D3DBLEND_INVSRCCOLOR));
    EXPECT_EQ(shadow.colour, 0xFFFFFFFFu);
    EXPECT_NEAR(light.left, left, 1e-3);
    EXPECT_NEAR(light.right - light.left, l.glyphWidth * kWidth, 1e-3);
    EXPECT_NEAR(light.bottom - light.top, l.glyphHeight * kHeight, 1e-3);
    EXPECT_EQ(light.srcBlend, DWORD(D3DBLEND_SRCALPHA));
    EXPECT_EQ(light.destBlend, DWORD(D3DBLEND_ONE));
    for (const DrawnQuad* q : {&shadow, &light}) {
      EXPECT_EQ(q->uLeft, 0.0f);
      EXPECT_EQ(q->vTop, 0.0f);
      EXPECT_EQ(q->uRight, 1.0f);
      EXPECT_EQ(q->vBottom, 1.0f);
    }
  }
  // The worked extent: from 0.69 to about 0.9969 of the width, the last shadow to about 1.0002.
  EXPECT_NEAR(device.quads[15].right / kWidth, 0.9969, 1e-4);
  EXPECT_NEAR(device.quads[14].right / kWidth, 1.0002, 1e-4);
  EXPECT_NEAR(device.quads[15].bottom / kHeight, 0.98375, 1e-5);
}

TEST_F(OverlayFixture, TwelveHourClockStartsTwoStepsLeftAndSkipsLeadingZero) {
  draw({true, false, false}, 0, 13, 5, 0);   // " 1:05:00PM"
  ASSERT_EQ(device.quads.size(), 18u);
  const OverlayLayout& l = landscapeOverlayLayout;
  const float step = l.glyphWidth * l.advanceFactor;
  EXPECT_NEAR(device.quads[0].left / kWidth, l.clockLeft - 2 * step + step, 1e-5);   // position 1
  EXPECT_EQ(glyphOf(device.quads[0]), 1);
  EXPECT_EQ(glyphOf(device.quads[14]), glyphP);
  EXPECT_EQ(glyphOf(device.quads[16]), glyphM);
  EXPECT_NEAR(device.quads[17].right / kWidth, 0.9969, 1e-4);   // the same right edge
  // The 12-hour clock's origin: about 0.61574 of the width.
  EXPECT_NEAR(device.quads[0].left / kWidth - step, 0.61574, 1e-5);
}

TEST_F(OverlayFixture, CounterDrawsFromItsOriginInTheOverlayColour) {
  overlay.colour[0] = 10, overlay.colour[1] = 20, overlay.colour[2] = 30;
  draw({false, false, true}, 125, 0, 0, 0);
  ASSERT_EQ(device.quads.size(), 6u);
  const OverlayLayout& l = landscapeOverlayLayout;
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(device.quads[2 * i].left, (l.counterLeft + i * l.glyphWidth * l.advanceFactor) * kWidth, 1e-3);
    EXPECT_NEAR(device.quads[2 * i].top, l.counterTop * kHeight, 1e-3);
    EXPECT_EQ(device.quads[2 * i].colour, 0xFFFFFFFFu);
    EXPECT_EQ(device.quads[2 * i + 1].colour, 0xFF0A141Eu);
  }
  EXPECT_EQ(glyphOf(device.quads[0]), 1);
  EXPECT_EQ(glyphOf(device.quads[2]), 2);
  EXPECT_EQ(glyphOf(device.quads[4]), 5);
}

TEST_F(OverlayFixture, StateAroundTheGlyphsAndNothingDrawnWhenBothAreOff) {
  draw({false, false, false}, 99, 12, 0, 0);
  EXPECT_TRUE(device.quads.empty());
  EXPECT_EQ(device.traceOf({"SetRenderState", "SetTexture", "DrawPrimitive"}),
            "SetRenderState(7, 0)\n"      // depth test off
            "SetRenderState(27, 1)\n"     // blending on
            "SetTexture(0, null)\n"
            "SetRenderState(24, 0)\n"     // alpha reference 0
            "SetRenderState(7, 1)\n"
            "SetRenderState(27, 0)\n");
  EXPECT_EQ(device.vertexShader, screenVertexFormat);
  EXPECT_EQ(device.streams[0].second, screenVertexStride);
}

TEST_F(OverlayFixture, GlyphWithoutTextureDrawsUntextured) {
  overlay.glyphs[4] = TextureSlot{};   // a glyph missing from the archive
  draw({true, true, false}, 0, 14, 0, 0);
  ASSERT_EQ(device.quads.size(), 16u);
  EXPECT_EQ(device.quads[2].texture, nullptr);   // position 1 shows the 4
  EXPECT_EQ(device.quads[3].texture, nullptr);
  EXPECT_EQ(glyphOf(device.quads[0]), 1);
}

// ---- the loading screen ----

struct LoadingFixture : ::testing::Test {
  QuadRecordingDevice device;
  BufferPool buffers;
  ScreenOverlay overlay;
  std::vector<std::string> log;
  int32_t parity = 1;

  void SetUp() override { buffers.init(&device, nullptr); }
  void TearDown() override {
    releaseBuffers(buffers);
    EXPECT_EQ(device.liveObjects(), 0) << "the loading picture is released before it returns";
  }
  void show() {
    showLoadingScreen(&device, overlay, buffers, parity, [this](const char* line) { log.push_back(line); });
  }
  // Size and format of the texture the two loading quads were drawn with (0 × 0 for none).
  D3DSURFACE_DESC drawnTexture() {
    EXPECT_EQ(device.quads.size(), 2u);
    if (device.quads.size() != 2) return D3DSURFACE_DESC{};
    EXPECT_EQ(device.quads[0].texture, device.quads[1].texture);
    return device.quads[0].textureDesc;
  }
};

// The executable's interface archive is linked into this test: the real loading picture.
TEST_F(LoadingFixture, LoadingPictureAtItsOwnSizeThenTheSmallRetryThenNone) {
  show();
  D3DSURFACE_DESC desc = drawnTexture();
  EXPECT_GE(desc.Width, 1024u);
  EXPECT_EQ(desc.Width * 3, desc.Height * 4);

  // Refused in the file's own format: 128 × 128 in R5G6B5.
  device.quads.clear();
  device.textureRefusals.push_back({D3DERR_OUTOFVIDEOMEMORY, 0, 0, desc.Format});
  show();
  desc = drawnTexture();
  EXPECT_EQ(desc.Width, 128u);
  EXPECT_EQ(desc.Height, 128u);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);

  // Refused at every size: the quad is drawn untextured and the log reads the same.
  device.quads.clear();
  device.textureRefusals.push_back({D3DERR_OUTOFVIDEOMEMORY, 0, 0, D3DFMT_UNKNOWN});
  log.clear();
  show();
  EXPECT_EQ(drawnTexture().Width, 0u);
  EXPECT_EQ(log.size(), 4u);
}

TEST(DigitTextures, FifteenGlyphsLoadedOnceUnderTheirGroup) {
  RecordingDevice device;
  RecordingDirect3D d3d(&device);
  TextureManager textures;
  textures.init(&d3d, &device, D3DFMT_X8R8G8B8, nullptr);
  ScreenOverlay overlay;
  std::vector<std::string> log;
  loadDigitTextures(overlay, textures, [&](const char* line) { log.push_back(line); });
  EXPECT_EQ(log, std::vector<std::string>{"Load Digit textures complete"});
  ASSERT_EQ(textures.count(), overlayGlyphCount);
  for (int g = 0; g < overlayGlyphCount; ++g) {
    SCOPED_TRACE(overlayGlyphFiles[g]);
    ASSERT_EQ(overlay.glyphs[g].index, g);
    EXPECT_STREQ(overlay.glyphs[g].name, overlayGlyphFiles[g]);
    const TextureEntry& entry = textures.entry(g);
    EXPECT_STREQ(entry.group, "Digits\\");
    ASSERT_NE(entry.texture, nullptr);
    D3DSURFACE_DESC desc{};
    entry.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 64u);
    EXPECT_EQ(desc.Height, 64u);
  }
  // A second load reuses every texture.
  ScreenOverlay again;
  loadDigitTextures(again, textures, nullptr);
  EXPECT_EQ(textures.count(), overlayGlyphCount);
  for (int g = 0; g < overlayGlyphCount; ++g) EXPECT_EQ(again.glyphs[g].index, g);
  textures.releaseAll();
  EXPECT_EQ(device.liveObjects(), 0);
}

TEST_F(LoadingFixture, DrawsTheViewportQuadTwiceWithTheLogLines) {
  show();
  EXPECT_NE(device.quads.at(0).texture, nullptr);
  ASSERT_GE(overlay.quad, 0);
  EXPECT_EQ(buffers.vertexRecord(overlay.quad).fvf, screenVertexFormat);
  EXPECT_EQ(buffers.vertexRecord(overlay.quad).byteCount, 4 * screenVertexStride);
  EXPECT_EQ(log, (std::vector<std::string>{"Load Loading Texture complete.", "Draw Loading Screen complete.",
                                           "Unload Loading Data complete.", ""}));
  EXPECT_EQ(parity, 1);   // flipped twice
  const std::string frame =
      "Clear(0, 2, 0, 1, 0)\nBeginScene()\nSetRenderState(7, 0)\nDrawPrimitive(5, 0, 2)\n"
      "SetRenderState(7, 1)\nEndScene()\nPresent()\n";
  EXPECT_EQ(device.traceOf({"Clear", "BeginScene", "SetRenderState", "DrawPrimitive", "EndScene", "Present"}),
            frame + frame);
  ASSERT_EQ(device.quads.size(), 2u);
  for (const DrawnQuad& q : device.quads) {
    EXPECT_EQ(q.left, 0.0f);
    EXPECT_EQ(q.top, 0.0f);
    EXPECT_EQ(q.right, kWidth);
    EXPECT_EQ(q.bottom, kHeight);
    EXPECT_EQ(q.colour, 0xFFFFFFFFu);
    EXPECT_EQ(q.uLeft, 0.0f);
    EXPECT_EQ(q.vBottom, 1.0f);
  }
  // z and rhw keep what the quad was made with.
  const auto* buffer = static_cast<RecordingVertexBuffer*>(device.streams[0].first);
  const auto* v = reinterpret_cast<const ScreenVertex*>(buffer->bytes.data());
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(v[i].z, 0.99f);
    EXPECT_EQ(v[i].rhw, 0.5f);
  }
}

}  // namespace
