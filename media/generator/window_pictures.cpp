// window_pictures.cpp — the small pictures of the windows: the preview still (155 × 115, shown in
// the display settings' monitor picture), the configuration dialog's picture (240 × 150) and the
// About box's picture (100 × 100); all 24-bit BMP.
#include <string>

#include "media/generator/content.h"
#include "media/generator/noise.h"
#include "media/generator/text.h"
#include "media/generator/valley.h"

namespace content {
namespace {

// The valley with the product's name in two lines, centred near the top.
Image namedValley(const StepContext& context, int width, int height, int supersample, float nameSize,
                  float subtitleSize, int top, uint32_t seed) {
  Image picture = paintValley(width, height, {supersample, seed});
  const Font& bold = fontAt(context.fontDir, "DejaVuSans-Bold.ttf");
  TextMask name = bold.render("Tarnwick 3D", nameSize, true);
  TextMask subtitle = bold.render("Screensaver", subtitleSize, true);
  TextStyle style{{1.0f, 0.97f, 0.90f}, 1.0f, 1, 1, 1.0f, 0.75f, {0.08f, 0.05f, 0.08f}};
  drawText(picture, name, (width - name.mask.width) / 2, top, style);
  drawText(picture, subtitle, (width - subtitle.mask.width) / 2,
           top + int(name.baselineY) + int(subtitleSize * 0.45f), style);
  return picture;
}

bool writeBmp(const std::string& path, const Image& picture) {
  return writeBmp24(path, picture.width, picture.height, toRgb8(picture, 0.6f, kContentSeed + 5));
}

}  // namespace

bool writeWindowPictures(const StepContext& context) {
  bool ok = writeBmp(context.outputDir + "/preview.bmp", namedValley(context, 155, 115, 4, 17.0f, 12.0f, 8, 2));
  ok = writeBmp(context.outputDir + "/config.bmp", namedValley(context, 240, 150, 3, 24.0f, 15.0f, 12, 3)) && ok;
  ok = writeBmp(context.outputDir + "/about.bmp", paintValley(100, 100, {4, 4})) && ok;
  return ok;
}

}  // namespace content
