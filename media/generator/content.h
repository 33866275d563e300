// content.h — the generator's steps: each writes one kind of content into an output folder.
// Every step is deterministic: the same inputs give byte-identical files on every run.
#pragma once

#include <string>

namespace content {

struct StepContext {
  std::string outputDir;   // where the step writes its files (must exist)
  std::string fontDir;     // folder holding the DejaVu TrueType fonts
};

// The fifteen clock and counter glyphs, digit_0.JPG … digit_P.JPG (64 × 64 JPEG).
bool writeClockGlyphs(const StepContext& context);
// The loading picture Loader.jpg (1024 × 768 JPEG).
bool writeLoadingPicture(const StepContext& context);
// The preview still and the two dialog pictures (24-bit BMP): preview.bmp, config.bmp, about.bmp.
bool writeWindowPictures(const StepContext& context);
// The window icon, icon.bmp (48 × 48, 32-bit BMP with alpha).
bool writeWindowIcon(const StepContext& context);
// readme.txt of the scene archive.
bool writeSceneReadme(const StepContext& context);

}  // namespace content
