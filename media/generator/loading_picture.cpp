// loading_picture.cpp — the loading picture: the valley at 1024 × 768 with the product's name and
// a loading hint, JPEG. The program stretches it over the whole screen.
#include <cmath>

#include "media/generator/content.h"
#include "media/generator/noise.h"
#include "media/generator/text.h"
#include "media/generator/valley.h"

namespace content {

bool writeLoadingPicture(const StepContext& context) {
  constexpr int kWidth = 1024, kHeight = 768;
  Image picture = paintValley(kWidth, kHeight, {2, 1});

  const Font& bold = fontAt(context.fontDir, "DejaVuSans-Bold.ttf");
  const Font& book = fontAt(context.fontDir, "DejaVuSans.ttf");
  TextMask title = bold.render("Tarnwick 3D Screensaver", 58.0f);
  TextStyle titleStyle{{1.0f, 0.96f, 0.88f}, 1.0f, 3, 3, 4.0f, 0.55f, {0.10f, 0.07f, 0.10f}};
  drawText(picture, title, (kWidth - title.mask.width) / 2, int(kHeight * 0.085f), titleStyle);

  TextMask hint = book.render("Loading the valley\u2026", 24.0f);
  TextStyle hintStyle{{0.97f, 0.90f, 0.76f}, 0.92f, 2, 2, 2.5f, 0.6f, {0, 0, 0}};
  drawText(picture, hint, kWidth - hint.mask.width - 44, kHeight - hint.mask.height - 34, hintStyle);

  return writeJpeg(context.outputDir + "/Loader.jpg", kWidth, kHeight, toRgb8(picture, 0.75f, kContentSeed), 90);
}

}  // namespace content
