// glyphs.cpp — the clock and frame-counter glyphs: a light, slightly green character with a soft
// green glow on pure black, 64 × 64 JPEG.
//
// The overlay adds each glyph to the frame and also uses it as a darkening shadow (bright means
// dark), so everything outside the glow must stay exactly black: the glow is faded out before
// the cell's border, no dither is added, and the JPEG keeps full chroma at high quality.
#include <algorithm>
#include <cmath>

#include "media/generator/content.h"
#include "media/generator/image.h"
#include "media/generator/text.h"

namespace content {
namespace {

constexpr int kCell = 64;
constexpr float kDigitHeight = 42.0f;   // ink height of a digit, pixels
constexpr int kMaxInkWidth = 44;        // wider characters (M) are narrowed to this
constexpr float kGlowSigma = 3.0f;
constexpr float kGlowGain = 1.6f;
const Color kCoreColor{0.90f, 1.00f, 0.91f};
const Color kGlowColor{0.16f, 0.88f, 0.30f};

struct GlyphFile {
  const char* file;
  const char* text;
};

const GlyphFile kGlyphs[] = {
    {"digit_0.JPG", "0"}, {"digit_1.JPG", "1"}, {"digit_2.JPG", "2"}, {"digit_3.JPG", "3"},
    {"digit_4.JPG", "4"}, {"digit_5.JPG", "5"}, {"digit_6.JPG", "6"}, {"digit_7.JPG", "7"},
    {"digit_8.JPG", "8"}, {"digit_9.JPG", "9"}, {"digit_ddot.JPG", ":"}, {"digit_dot.JPG", "."},
    {"digit_A.JPG", "A"}, {"digit_M.JPG", "M"}, {"digit_P.JPG", "P"},
};

// Fades the glow to nothing over the outer pixels of the cell.
float borderFade(int x, int y) {
  int d = std::min(std::min(x, y), std::min(kCell - 1 - x, kCell - 1 - y));
  return smoothstep(2.0f, 9.0f, float(d));
}

// Narrows a coverage mask to `width` columns (area-weighted), keeping its height.
Mask narrowed(const Mask& m, int width) {
  Image wide(m.width, m.height);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) wide.set(x, y, {m.at(x, y), 0, 0});
  Image narrow = resample(wide, width, m.height);
  Mask out(width, m.height);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < width; ++x) out.v[size_t(y) * width + x] = narrow.get(x, y).r;
  return out;
}

Image glyphPicture(const TextMask& text, float baseline) {
  Mask ink = text.mask.width > kMaxInkWidth ? narrowed(text.mask, kMaxInkWidth) : text.mask;
  Mask core(kCell, kCell);
  int left = int(std::lround(kCell / 2.0f - ink.width / 2.0f));
  int top = int(std::lround(baseline - text.baselineY));
  for (int y = 0; y < ink.height; ++y)
    for (int x = 0; x < ink.width; ++x) {
      int cx = left + x, cy = top + y;
      if (cx >= 0 && cy >= 0 && cx < kCell && cy < kCell) core.v[size_t(cy) * kCell + cx] = ink.at(x, y);
    }
  Mask glow = gaussianBlur(core, kGlowSigma);
  Image picture(kCell, kCell);
  for (int y = 0; y < kCell; ++y)
    for (int x = 0; x < kCell; ++x) {
      float c = core.at(x, y);
      float g = std::min(1.0f, glow.at(x, y) * kGlowGain) * borderFade(x, y);
      // Square the glow so it falls off softly instead of leaving a grey haze.
      Color halo = kGlowColor * (g * (0.35f + 0.65f * g));
      picture.set(x, y, mix(halo, kCoreColor, c));
    }
  return picture;
}

}  // namespace

bool writeClockGlyphs(const StepContext& context) {
  const Font& font = fontAt(context.fontDir, "DejaVuSans-Bold.ttf");
  // Size the em so a digit's ink is kDigitHeight tall; all glyphs share its baseline, which
  // centres the digits vertically in the cell.
  TextMask probe = font.render("0", 64.0f);
  float em = 64.0f * kDigitHeight / float(probe.mask.height);
  float baseline = kCell / 2.0f + kDigitHeight / 2.0f;
  bool ok = true;
  for (const GlyphFile& g : kGlyphs) {
    Image picture = glyphPicture(font.render(g.text, em), baseline);
    ok = writeJpeg(context.outputDir + "/" + g.file, kCell, kCell, toRgb8(picture, 0, 0), 96) && ok;
  }
  return ok;
}

}  // namespace content
