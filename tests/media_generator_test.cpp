// media_generator_test.cpp — tarnwick3d-content: every step writes exactly its files, the same
// bytes on every run, and bad command lines or a missing font fail cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "media_test_support.h"

namespace fs = std::filesystem;

namespace {

class ContentTool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tarnwick-content-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  // Runs the tool with `arguments`; returns its exit status (-1 when it did not exit normally).
  static int run(const std::string& arguments) {
    std::string command = std::string("'") + TARNWICK_CONTENT_TOOL + "' " + arguments + " >/dev/null 2>&1";
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static std::set<std::string> filesIn(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
  }

  fs::path root_;
};

TEST_F(ContentTool, EveryStepWritesItsFilesWithTheSameBytesOnEveryRun) {
  struct Step {
    const char* name;
    std::set<std::string> files;
  };
  const Step steps[] = {
      {"glyphs", {"digit_0.JPG", "digit_1.JPG", "digit_2.JPG", "digit_3.JPG", "digit_4.JPG",
                  "digit_5.JPG", "digit_6.JPG", "digit_7.JPG", "digit_8.JPG", "digit_9.JPG",
                  "digit_ddot.JPG", "digit_dot.JPG", "digit_A.JPG", "digit_M.JPG", "digit_P.JPG"}},
      {"loader", {"Loader.jpg"}},
      {"pictures", {"preview.bmp", "config.bmp", "about.bmp"}},
      {"icon", {"icon.bmp"}},
      {"scene-readme", {"readme.txt"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    fs::path first = root_ / (std::string(step.name) + "-1"), second = root_ / (std::string(step.name) + "-2");
    for (const fs::path& out : {first, second})
      ASSERT_EQ(run(std::string(step.name) + " '" + out.string() + "' '" TARNWICK_FONT_DIR "'"), 0);
    EXPECT_EQ(filesIn(first), step.files);
    EXPECT_EQ(filesIn(second), step.files);
    for (const std::string& file : step.files) {
      std::vector<uint8_t> a = media_test::readFile((first / file).string());
      EXPECT_FALSE(a.empty()) << file;
      EXPECT_TRUE(a == media_test::readFile((second / file).string())) << file << " differs between runs";
    }
  }
}

TEST_F(ContentTool, RefusesBadCommandLinesAndMissingFonts) {
  const fs::path out = root_ / "out";
  struct Case {
    const char* label;
    std::string arguments;
    int status;
  };
  const Case cases[] = {
      {"no arguments", "", 2},
      {"unknown step", "sky '" + out.string() + "' '" TARNWICK_FONT_DIR "'", 2},
      {"missing font folder", "glyphs '" + out.string() + "' '" + (root_ / "no-fonts").string() + "'", 1},
      {"output under a file", "scene-readme '" + (root_ / "file" / "x").string() + "' '" TARNWICK_FONT_DIR "'", 1},
  };
  ASSERT_TRUE(std::system(("touch '" + (root_ / "file").string() + "'").c_str()) == 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(run(c.arguments), c.status);
  }
  EXPECT_EQ(run("--help"), 0);
}

}  // namespace
