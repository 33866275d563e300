// screen_overlay.cpp — the clock and frame-counter overlay: glyph layout, glyph loading, drawing.
#include "gfx/screen_overlay.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/archive_lookup.h"

const char* const interfaceArchivePassword = "tarnwick-interface";

const char* const overlayGlyphFiles[overlayGlyphCount] = {
    "digit_0.JPG", "digit_1.JPG",    "digit_2.JPG",   "digit_3.JPG", "digit_4.JPG",
    "digit_5.JPG", "digit_6.JPG",    "digit_7.JPG",   "digit_8.JPG", "digit_9.JPG",
    "digit_ddot.JPG", "digit_dot.JPG", "digit_A.JPG", "digit_M.JPG", "digit_P.JPG"};

namespace {

constexpr const char* glyphGroup = "Digits\\";
constexpr float shadowScale = 1.07f;
constexpr D3DCOLOR shadowColour = 0xFFFFFFFF;

// The glyph a character of a text selects: c − '0', with anything below '0' (a minus sign) the
// dot; nothing outside the table.
int glyphForCharacter(char c) {
  if (c < '0') return glyphDot;
  const int glyph = c - '0';
  return glyph < overlayGlyphCount ? glyph : glyphDot;
}

void drawGlyph(IDirect3DDevice8* device, const ScreenOverlay& overlay, TextureManager& textures,
               BufferPool& buffers, const OverlayGlyph& glyph, float originX, float originY) {
  const OverlayLayout& layout = overlay.layout;
  const float left = originX + static_cast<float>(glyph.position) * layout.glyphWidth * layout.advanceFactor;
  textures.bind(0, overlay.glyphs[glyph.glyph]);

  // Bright parts of the glyph darken the scene over a slightly larger rectangle...
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ZERO);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR);
  buffers.fillScreenQuad(overlay.quad, left, originY, layout.glyphWidth * shadowScale,
                         layout.glyphHeight * shadowScale, shadowColour, 0.0f, 0.0f, 1.0f, 1.0f);
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);

  // ...then the glyph is added to the darkened spot in the overlay colour.
  device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  const D3DCOLOR colour = 0xFF000000u | (static_cast<D3DCOLOR>(overlay.colour[0]) << 16) |
                          (static_cast<D3DCOLOR>(overlay.colour[1]) << 8) | overlay.colour[2];
  buffers.fillScreenQuad(overlay.quad, left, originY, layout.glyphWidth, layout.glyphHeight, colour,
                         0.0f, 0.0f, 1.0f, 1.0f);
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
}

}  // namespace

int clockGlyphs(int hour, int minute, int second, bool twentyFourHour, OverlayGlyph out[10]) {
  // The local time as "HH:MM:SS"; out-of-range fields are folded into range first.
  hour = ((hour % 24) + 24) % 24;
  minute = ((minute % 60) + 60) % 60;
  second = ((second % 60) + 60) % 60;
  int digits[8] = {hour / 10, hour % 10, glyphColon, minute / 10, minute % 10,
                   glyphColon, second / 10, second % 10};
  int count = 0;
  if (twentyFourHour) {
    for (int i = 0; i < 8; ++i) out[count++] = {i, digits[i]};
    return count;
  }
  bool afternoon = false;
  int shown = hour;
  if (hour == 0) {
    shown = 12;
  } else if (hour == 12) {
    afternoon = true;
  } else if (hour > 12) {
    shown = hour - 12;
    afternoon = true;
  }
  digits[0] = shown / 10;
  digits[1] = shown % 10;
  for (int i = 0; i < 8; ++i) {
    if (i == 0 && digits[0] == 0) continue;   // 9 o'clock leaves a blank, not a zero
    out[count++] = {i, digits[i]};
  }
  out[count++] = {8, afternoon ? glyphP : glyphA};
  out[count++] = {9, glyphM};
  return count;
}

int counterGlyphs(int32_t framesPerSecond, OverlayGlyph out[12]) {
  char text[16];
  const int length = std::snprintf(text, sizeof text, "%i", static_cast<int>(framesPerSecond));
  int count = 0;
  for (int i = 0; i < length && i < 12; ++i) out[count++] = {i, glyphForCharacter(text[i])};
  return count;
}

void loadDigitTextures(ScreenOverlay& overlay, TextureManager& textures, const OverlayLog& log) {
  MemoryFile archive;
  openMediaArchive(archive, kInterfaceArchiveId);
  for (int glyph = 0; glyph < overlayGlyphCount; ++glyph) {
    const std::string name = std::string(glyphGroup) + overlayGlyphFiles[glyph];
    uint8_t* bytes = nullptr;
    uint32_t size = 0;
    if (!fetchEntry(&bytes, &size, name.c_str(), archive, interfaceArchivePassword)) continue;
    overlay.glyphs[glyph] =
        textures.loadFromMemory(bytes, size, overlayGlyphFiles[glyph], glyphGroup, true);
    std::free(bytes);
  }
  if (log) log("Load Digit textures complete");
}

void drawOverlay(IDirect3DDevice8* device, const ScreenOverlay& overlay, TextureManager& textures,
                 BufferPool& buffers, const OverlayOptions& options, int32_t framesPerSecond,
                 const SYSTEMTIME& now) {
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device->SetTexture(0, nullptr);
  device->SetRenderState(D3DRS_ALPHAREF, 0);
  buffers.useVertices(0, overlay.quad);

  const OverlayLayout& layout = overlay.layout;
  OverlayGlyph glyphs[12];
  if (options.showTime) {
    const int count = clockGlyphs(now.wHour, now.wMinute, now.wSecond, options.twentyFourHour, glyphs);
    float left = layout.clockLeft;
    // The 12-hour clock is two glyphs longer; it keeps the same right edge.
    if (!options.twentyFourHour) left -= 2.0f * layout.glyphWidth * layout.advanceFactor;
    for (int i = 0; i < count; ++i)
      drawGlyph(device, overlay, textures, buffers, glyphs[i], left, layout.clockTop);
  }
  if (options.showFrameCounter) {
    const int count = counterGlyphs(framesPerSecond, glyphs);
    for (int i = 0; i < count; ++i)
      drawGlyph(device, overlay, textures, buffers, glyphs[i], layout.counterLeft, layout.counterTop);
  }

  device->SetRenderState(D3DRS_ZENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
}
