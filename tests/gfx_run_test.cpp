// gfx_run_test.cpp — the real executable headless: the loading picture, then the default blue
// frame with the clock and the frame counter, captured in presentation order.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs the saver with `args` in `dir`; returns its exit code (-1 when it did not exit normally).
int runSaver(const fs::path& dir, std::vector<std::string> args) {
  const std::string binary = std::string(TARNWICK_BINARY_DIR) + "/tarnwick3d";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);   // the GL driver's own allocations at exit
    setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir / "runtime").c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Picture {
  unsigned width = 0, height = 0;
  std::vector<unsigned char> rgba;
};

bool readPng(const fs::path& path, Picture& picture) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGBA;
  picture.width = image.width;
  picture.height = image.height;
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  return png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr) != 0;
}

bool isBlue(const unsigned char* p) { return p[0] == 0 && p[1] == 0 && p[2] == 255 && p[3] == 255; }

struct Box {
  unsigned left = ~0u, top = ~0u, right = 0, bottom = 0;   // inclusive pixel bounds; empty: left > right
  size_t pixels = 0;
  void add(unsigned x, unsigned y) {
    left = std::min(left, x), top = std::min(top, y);
    right = std::max(right, x), bottom = std::max(bottom, y);
    ++pixels;
  }
};

// The non-blue pixels of a frame, split into the lower-right quarter (the clock), the upper-left
// quarter (the frame counter) and everything else.
struct FrameRegions {
  Box clock, counter, elsewhere;
};

FrameRegions regionsOf(const Picture& picture) {
  FrameRegions regions;
  for (unsigned y = 0; y < picture.height; ++y)
    for (unsigned x = 0; x < picture.width; ++x) {
      if (isBlue(&picture.rgba[(size_t(y) * picture.width + x) * 4])) continue;
      const bool right = x >= picture.width / 2, lower = y >= picture.height / 2;
      if (right && lower) regions.clock.add(x, y);
      else if (!right && !lower) regions.counter.add(x, y);
      else regions.elsewhere.add(x, y);
    }
  return regions;
}

std::string frameName(int frame) {
  char name[32];
  std::snprintf(name, sizeof name, "frame-%06d.png", frame);
  return name;
}

// A test run with the frame counter and the 24-hour clock on: the loading picture on the first
// two presents, then blue frames with the clock in the lower right and the counter in the upper
// left, where the layout puts them.
TEST(SaverFrames, TestRunShowsLoadingPictureThenClockAndCounter) {
  char pattern[] = "/tmp/tw-gfx-run-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  fs::create_directories(dir / "config" / "tarnwick3d");
  fs::create_directories(dir / "runtime");
  fs::create_directories(dir / "frames");
  {
    FILE* reg = std::fopen((dir / "config" / "tarnwick3d" / "registry.reg").c_str(), "w");
    ASSERT_NE(reg, nullptr);
    std::fputs("Windows Registry Editor Version 5.00\n\n"
               "[HKEY_CURRENT_USER\\Software\\KELVANE Studio\\Tarnwick 3D Screensaver]\n"
               "\"ShowFPS\"=dword:00000002\n\"ShowTime\"=dword:00000002\n"
               "\"DigClock_24H\"=dword:00000002\n",
               reg);
    std::fclose(reg);
  }

  ASSERT_EQ(runSaver(dir, {"/t", "--frames", "40", "--fixed-step", "33", "--capture",
                           (dir / "frames").string()}),
            0);

  Picture first;
  ASSERT_TRUE(readPng(dir / "frames" / frameName(1), first));
  ASSERT_GT(first.width * first.height, 0u);
  for (int frame = 1; frame <= 2; ++frame) {
    Picture picture;
    ASSERT_TRUE(readPng(dir / "frames" / frameName(frame), picture));
    size_t blue = 0, bright = 0;
    for (size_t i = 0; i < picture.rgba.size(); i += 4) {
      blue += isBlue(&picture.rgba[i]);
      bright += picture.rgba[i] + picture.rgba[i + 1] + picture.rgba[i + 2] > 3 * 60;
    }
    const size_t pixels = picture.rgba.size() / 4;
    EXPECT_LT(blue, pixels / 100) << frameName(frame) << ": the loading picture covers the frame";
    EXPECT_GT(bright, pixels / 4) << frameName(frame) << ": the loading picture is not dark";
  }

  const float w = float(first.width), h = float(first.height);
  for (int frame : {10, 40}) {
    Picture picture;
    ASSERT_TRUE(readPng(dir / "frames" / frameName(frame), picture)) << frameName(frame);
    ASSERT_EQ(picture.width, first.width);
    ASSERT_EQ(picture.height, first.height);
    const FrameRegions regions = regionsOf(picture);
    EXPECT_EQ(regions.elsewhere.pixels, 0u) << frameName(frame);
    // Clock: eight glyphs from 0.69 of the width, 0.92…0.98375 of the height (shadow to 0.988).
    ASSERT_GT(regions.clock.pixels, 100u) << frameName(frame);
    EXPECT_GE(regions.clock.left, unsigned(0.69f * w) - 1);
    EXPECT_LE(regions.clock.left, unsigned((0.69f + 0.03713f) * w));   // the first glyph shows
    EXPECT_GE(regions.clock.top, unsigned(0.92f * h) - 1);
    EXPECT_LE(regions.clock.bottom, unsigned((0.92f + 0.06375f * 1.07f) * h) + 1);
    EXPECT_GE(regions.clock.right, unsigned((0.69f + 7 * 0.03713f) * w));   // so does the last
    // Counter: at least one glyph from (0.01, 0.01).
    ASSERT_GT(regions.counter.pixels, 10u) << frameName(frame);
    EXPECT_GE(regions.counter.left, unsigned(0.01f * w) - 1);
    EXPECT_GE(regions.counter.top, unsigned(0.01f * h) - 1);
    EXPECT_LE(regions.counter.bottom, unsigned((0.01f + 0.06375f * 1.07f) * h) + 1);
  }
  EXPECT_FALSE(fs::exists(dir / "frames" / frameName(43)));
  fs::remove_all(dir);
}

}  // namespace
