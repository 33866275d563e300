// main.cpp — tarnwick3d-content: the build's content generator. Each invocation runs one step and
// writes that step's files into an output folder, deterministically from a fixed seed.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "media/generator/content.h"

namespace {

struct Step {
  const char* name;
  bool (*run)(const content::StepContext&);
  const char* writes;
};

const Step kSteps[] = {
    {"glyphs", content::writeClockGlyphs, "digit_0.JPG … digit_9.JPG, digit_ddot.JPG, digit_dot.JPG, digit_A/M/P.JPG"},
    {"loader", content::writeLoadingPicture, "Loader.jpg"},
    {"pictures", content::writeWindowPictures, "preview.bmp, config.bmp, about.bmp"},
    {"icon", content::writeWindowIcon, "icon.bmp"},
    {"scene-readme", content::writeSceneReadme, "readme.txt"},
};

int usage(FILE* to) {
  std::fprintf(to, "usage: tarnwick3d-content STEP OUTPUT-DIR FONT-DIR\n\nsteps:\n");
  for (const Step& s : kSteps) std::fprintf(to, "  %-13s %s\n", s.name, s.writes);
  return to == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return usage(stdout);
  if (argc != 4) return usage(stderr);
  for (const Step& s : kSteps) {
    if (std::strcmp(argv[1], s.name) != 0) continue;
    std::error_code error;
    std::filesystem::create_directories(argv[2], error);
    if (error) {
      std::fprintf(stderr, "tarnwick3d-content: cannot create %s: %s\n", argv[2], error.message().c_str());
      return 1;
    }
    return s.run({argv[2], argv[3]}) ? 0 : 1;
  }
  std::fprintf(stderr, "tarnwick3d-content: unknown step '%s'\n", argv[1]);
  return usage(stderr);
}
