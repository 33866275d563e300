// screen_overlay.h — the clock and frame counter drawn over every frame from fifteen glyph
// pictures, each glyph drawn twice: enlarged and darkening (a soft shadow), then adding light.
#pragma once

#include <cstdint>
#include <functional>

#include "assets/buffer_pool.h"
#include "assets/texture_manager.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/windows.h"

constexpr int overlayGlyphCount = 15;
constexpr int glyphColon = 10;   // ':' is one above '9', so c − '0' selects it
constexpr int glyphDot = 11;
constexpr int glyphA = 12;
constexpr int glyphM = 13;
constexpr int glyphP = 14;

// The interface archive's fixed password; its entries are stored, so it never changes a lookup.
extern const char* const interfaceArchivePassword;

// File names of the glyphs in the interface archive's "Digits\" folder, by glyph index.
extern const char* const overlayGlyphFiles[overlayGlyphCount];

// Fractions of the viewport's width (x values, widths) and height (y values, heights) from the
// top-left corner.
struct OverlayLayout {
  float glyphHeight;
  float glyphWidth;
  float advanceFactor;   // glyph-to-glyph step = glyph width × factor
  float clockLeft;
  float clockTop;
  float counterLeft;
  float counterTop;
};
inline constexpr OverlayLayout baseOverlayLayout{0.048f, 0.037f, 1.0f, 0.7f, 0.92f, 0.01f, 0.01f};
inline constexpr OverlayLayout landscapeOverlayLayout{0.06375f, 0.047f, 0.79f, 0.69f,
                                                      0.92f,    0.01f,  0.01f};

// What the overlay draws with: the screen quad (a render-helper buffer id of format 0x144),
// the glyph textures, the colour of the main pass and the layout.
struct ScreenOverlay {
  int32_t quad = -1;
  TextureSlot glyphs[overlayGlyphCount];
  uint8_t colour[3] = {255, 255, 255};
  OverlayLayout layout = baseOverlayLayout;
};

// One glyph of a text: its position counted in steps from the text's origin.
struct OverlayGlyph {
  int position;
  int glyph;
};

// The clock for hour 0…23, minute and second: 8 glyphs in 24-hour style; in 12-hour style the
// hour becomes 12, 1…11 with AM/PM glyphs at positions 8 and 9, and a leading zero of the hour
// is left out (its position stays blank). Returns the glyph count.
int clockGlyphs(int hour, int minute, int second, bool twentyFourHour, OverlayGlyph out[10]);

// The frame counter as "%i" text from position 0; a minus sign uses the dot glyph.
int counterGlyphs(int32_t framesPerSecond, OverlayGlyph out[12]);

// Which parts of the overlay are on (the stored options).
struct OverlayOptions {
  bool showTime;
  bool twentyFourHour;
  bool showFrameCounter;
};

using OverlayLog = std::function<void(const char*)>;

// Fetches the fifteen glyphs from the interface archive and loads them through the texture
// manager under the group "Digits\" with reuse; a missing glyph keeps its empty slot.
void loadDigitTextures(ScreenOverlay& overlay, TextureManager& textures, const OverlayLog& log);

// Draws the clock (local time `now`) and the counter; called between BeginScene and EndScene.
void drawOverlay(IDirect3DDevice8* device, const ScreenOverlay& overlay, TextureManager& textures,
                 BufferPool& buffers, const OverlayOptions& options, int32_t framesPerSecond,
                 const SYSTEMTIME& now);
