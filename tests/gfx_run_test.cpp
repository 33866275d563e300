// gfx_run_test.cpp — the real executable headless: a test run presents opaque blue frames of
// one size, captured in presentation order.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(SaverFrames, TestRunPresentsOpaqueBlueFrames) {
  char pattern[] = "/tmp/tw-gfx-run-XXXXXX";
  const fs::path dir = mkdtemp(pattern);
  fs::create_directories(dir / "config");
  fs::create_directories(dir / "runtime");
  fs::create_directories(dir / "frames");

  ASSERT_EQ(runSaver(dir, {"/t", "--frames", "5", "--capture", (dir / "frames").string()}), 0);

  unsigned width = 0, height = 0;
  for (int frame = 1; frame <= 5; ++frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06d.png", frame);
    Picture picture;
    ASSERT_TRUE(readPng(dir / "frames" / name, picture)) << name;
    if (frame == 1) {
      width = picture.width;
      height = picture.height;
      ASSERT_GT(width * height, 0u);
    }
    EXPECT_EQ(picture.width, width) << name;
    EXPECT_EQ(picture.height, height) << name;
    size_t notBlue = 0;
    for (size_t i = 0; i < picture.rgba.size(); i += 4) {
      const unsigned char* p = &picture.rgba[i];
      if (p[0] != 0 || p[1] != 0 || p[2] != 255 || p[3] != 255) ++notBlue;
    }
    EXPECT_EQ(notBlue, 0u) << name;
  }
  EXPECT_FALSE(fs::exists(dir / "frames" / "frame-000006.png"));
  fs::remove_all(dir);
}

}  // namespace
