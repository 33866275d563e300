// text.cpp — FreeType glyph rasterisation into masks, and text painting with a soft shadow.
#include "media/generator/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace content {

struct Font::Library {
  FT_Library handle = nullptr;
};

Font::Font(const std::string& path) : path_(path), library_(std::make_unique<Library>()) {
  if (FT_Init_FreeType(&library_->handle) != 0) return;
  FT_Face face = nullptr;
  if (FT_New_Face(library_->handle, path.c_str(), 0, &face) == 0) face_ = face;
}

Font::~Font() {
  if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_->handle) FT_Done_FreeType(library_->handle);
}

namespace {

// Decodes UTF-8; malformed bytes become U+FFFD.
std::u32string decodeUtf8(const std::string& s) {
  std::u32string out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (extra < 0 || i + size_t(extra) >= s.size()) {
      out.push_back(extra == 0 ? c : 0xFFFD);
      ++i;
      continue;
    }
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    bool bad = false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + size_t(k)]);
      if ((d & 0xC0) != 0x80) bad = true;
      cp = (cp << 6) | (d & 0x3F);
    }
    out.push_back(bad ? 0xFFFD : cp);
    i += bad ? 1 : size_t(extra) + 1;
  }
  return out;
}

}  // namespace

TextMask Font::render(const std::string& utf8, float pixelSize, bool hinting) const {
  TextMask result;
  if (!face_) return result;
  FT_Face face = static_cast<FT_Face>(face_);
  FT_Set_Char_Size(face, 0, FT_F26Dot6(std::lround(pixelSize * 64)), 72, 72);
  std::u32string text = decodeUtf8(utf8);

  // Set the run on a generous canvas, then crop to the ink.
  int margin = int(std::ceil(pixelSize)) + 4;
  int canvasW = margin * 2 + int(std::ceil(pixelSize * 1.2f)) * int(text.size() + 1);
  int canvasH = margin * 2 + int(std::ceil(pixelSize * 1.5f));
  Mask canvas(canvasW, canvasH);
  int baseline = margin + int(std::ceil(pixelSize));
  FT_Pos pen = FT_Pos(margin) * 64;
  FT_UInt previous = 0;
  FT_Int32 flags = FT_LOAD_RENDER | (hinting ? FT_LOAD_TARGET_LIGHT : FT_LOAD_NO_HINTING);
  for (char32_t cp : text) {
    FT_UInt index = FT_Get_Char_Index(face, FT_ULong(cp));
    if (previous && index && FT_HAS_KERNING(face)) {
      FT_Vector k;
      if (FT_Get_Kerning(face, previous, index, FT_KERNING_DEFAULT, &k) == 0) pen += k.x;
    }
    if (FT_Load_Glyph(face, index, flags) != 0) continue;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_BITMAP) FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL);
    const FT_Bitmap& bm = slot->bitmap;
    // Sub-pixel pen positions are rounded; large unhinted text does not need more.
    int left = int((pen + 32) >> 6) + slot->bitmap_left;
    int top = baseline - slot->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row)
      for (unsigned col = 0; col < bm.width; ++col) {
        int x = left + int(col), y = top + int(row);
        if (x < 0 || y < 0 || x >= canvasW || y >= canvasH) continue;
        float v = bm.buffer[size_t(row) * size_t(std::abs(bm.pitch)) + col] / 255.0f;
        float& dst = canvas.v[size_t(y) * canvasW + x];
        dst = std::min(1.0f, dst + v);
      }
    pen += slot->advance.x;
    previous = index;
  }

  int x0 = canvasW, y0 = canvasH, x1 = -1, y1 = -1;
  for (int y = 0; y < canvasH; ++y)
    for (int x = 0; x < canvasW; ++x)
      if (canvas.v[size_t(y) * canvasW + x] > 0) {
        x0 = std::min(x0, x);
        x1 = std::max(x1, x);
        y0 = std::min(y0, y);
        y1 = std::max(y1, y);
      }
  result.advance = float(pen - FT_Pos(margin) * 64) / 64.0f;
  if (x1 < 0) return result;
  result.mask = Mask(x1 - x0 + 1, y1 - y0 + 1);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) result.mask.v[size_t(y - y0) * result.mask.width + (x - x0)] = canvas.v[size_t(y) * canvasW + x];
  result.originX = float(margin - x0);
  result.baselineY = float(baseline - y0);
  return result;
}

void drawText(Image& image, const TextMask& text, int x, int y, const TextStyle& style) {
  const Mask& m = text.mask;
  if (style.shadowOpacity > 0) {
    int pad = int(std::ceil(style.shadowSigma * 3)) + 1;
    Mask padded(m.width + 2 * pad, m.height + 2 * pad);
    for (int j = 0; j < m.height; ++j)
      for (int i = 0; i < m.width; ++i) padded.v[size_t(j + pad) * padded.width + i + pad] = m.at(i, j);
    Mask shadow = style.shadowSigma > 0 ? gaussianBlur(padded, style.shadowSigma) : padded;
    int sx = x - pad + int(std::lround(style.shadowOffsetX)), sy = y - pad + int(std::lround(style.shadowOffsetY));
    for (int j = 0; j < shadow.height; ++j)
      for (int i = 0; i < shadow.width; ++i)
        image.blend(sx + i, sy + j, style.shadowColor, shadow.at(i, j) * style.shadowOpacity);
  }
  for (int j = 0; j < m.height; ++j)
    for (int i = 0; i < m.width; ++i) image.blend(x + i, y + j, style.color, m.at(i, j) * style.opacity);
}

const Font& fontAt(const std::string& directory, const std::string& file) {
  static std::map<std::string, std::unique_ptr<Font>> fonts;
  std::string path = directory + "/" + file;
  auto& slot = fonts[path];
  if (!slot) {
    slot = std::make_unique<Font>(path);
    if (!slot->ok()) {
      std::fprintf(stderr, "tarnwick3d-content: cannot read the font %s (fonts-dejavu-core)\n", path.c_str());
      std::exit(1);
    }
  }
  return *slot;
}

}  // namespace content
