// text.h — text set with FreeType into coverage masks (antialiased, kerned, UTF-8 input).
#pragma once

#include <memory>
#include <string>

#include "media/generator/image.h"

namespace content {

// A run of text as coverage, cropped to its ink. The pen started at (originX, baselineY) in
// mask coordinates; `advance` is the pen's travel in pixels.
struct TextMask {
  Mask mask;
  float originX = 0;
  float baselineY = 0;
  float advance = 0;
};

class Font {
 public:
  // Opens a TrueType file; ok() tells whether it could be read.
  explicit Font(const std::string& path);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  bool ok() const { return face_ != nullptr; }
  const std::string& path() const { return path_; }
  // `pixelSize` is the em size in pixels. Hinting sharpens small text (preview, dialog); large
  // text keeps the outlines' true shapes without it.
  TextMask render(const std::string& utf8, float pixelSize, bool hinting = false) const;

 private:
  std::string path_;
  struct Library;
  std::unique_ptr<Library> library_;
  void* face_ = nullptr;
};

// Paints `text` into `image` with its top-left ink corner at (x, y), in colour `c`, with a
// soft drop shadow (offset in pixels, blur sigma, opacity); shadowOpacity 0 draws none.
struct TextStyle {
  Color color{1, 1, 1};
  float opacity = 1;
  float shadowOffsetX = 1, shadowOffsetY = 1;
  float shadowSigma = 1.5f;
  float shadowOpacity = 0.6f;
  Color shadowColor{0, 0, 0};
};
void drawText(Image& image, const TextMask& text, int x, int y, const TextStyle& style);

// Reads the font at `directory`/`file`, or exits with a message.
const Font& fontAt(const std::string& directory, const std::string& file);

}  // namespace content
