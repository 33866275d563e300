// archive_tool_test.cpp — tarnwick3d-archive end to end: pack with entry names, list, cat, extract.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

struct ToolResult {
  int status;
  std::string out;  // standard output and standard error together
};

ToolResult runTool(const std::string& args) {
  std::string command = std::string("'") + TARNWICK_ARCHIVE_TOOL + "' " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ToolResult r{-1, {}};
  if (!pipe) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0) r.out.append(buf, n);
  int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void writeFile(const fs::path& p, const std::string& s) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << s;
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ArchiveToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("tarnwick-archive-tool-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(dir_);
  }
  std::string q(const fs::path& p) const { return "'" + p.string() + "'"; }
  fs::path dir_;
  fs::path home_;
};

}  // namespace

TEST_F(ArchiveToolTest, PacksUnderGivenNamesAndReadsThemBack) {
  std::string digit(3000, '7');
  writeFile(dir_ / "media/digit_0.jpg", digit);
  writeFile(dir_ / "media/loader.jpg", "loading picture");
  writeFile(dir_ / "plain.txt", "plain file");
  writeFile(dir_ / "names.list", "# interface pictures\n\nNotification\\Loader.jpg=" + (dir_ / "media/loader.jpg").string() + "\n");
  fs::path archive = dir_ / "ui.rar";

  ToolResult pack = runTool("pack --stored --names-from " + q(dir_ / "names.list") + " " + q(archive) + " 'Digits/digit_0.jpg=" +
                 (dir_ / "media/digit_0.jpg").string() + "'");
  ASSERT_EQ(pack.status, 0) << pack.out;

  ToolResult list = runTool("list " + q(archive));
  EXPECT_EQ(list.status, 0) << list.out;
  EXPECT_NE(list.out.find("Notification\\Loader.jpg"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Digits\\digit_0.jpg"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("0x30"), std::string::npos) << list.out;

  ToolResult cat = runTool("cat " + q(archive) + " digit_0.JPG");
  EXPECT_EQ(cat.status, 1);  // the name lacks its folder
  EXPECT_NE(cat.out.find("no such entry"), std::string::npos) << cat.out;
  cat = runTool("cat " + q(archive) + " digits/DIGIT_0.JPG");
  EXPECT_EQ(cat.status, 0);
  EXPECT_EQ(cat.out, digit);

  // Compressed, with a plain path as the entry name.
  fs::path scene = dir_ / "scene.rar";
  fs::current_path(dir_);
  ASSERT_EQ(runTool("pack " + q(scene) + " plain.txt media/digit_0.jpg").status, 0);
  EXPECT_NE(runTool("list " + q(scene)).out.find("media\\digit_0.jpg"), std::string::npos);
  fs::path out = dir_ / "out";
  ToolResult extract = runTool("extract " + q(scene) + " " + q(out));
  EXPECT_EQ(extract.status, 0) << extract.out;
  EXPECT_EQ(readFile(out / "plain.txt"), "plain file");
  EXPECT_EQ(readFile(out / "media/digit_0.jpg"), digit);
}

TEST_F(ArchiveToolTest, ReportsDamagedEntriesAndBadCommandLines) {
  writeFile(dir_ / "a.txt", "first entry");
  writeFile(dir_ / "b.txt", "second entry");
  fs::path archive = dir_ / "x.rar";
  fs::current_path(dir_);
  ASSERT_EQ(runTool("pack --stored " + q(archive) + " a.txt b.txt").status, 0);
  std::string bytes = readFile(archive);
  bytes[bytes.size() - 1] ^= 0x20;  // last byte of b.txt
  std::ofstream(archive, std::ios::binary) << bytes;

  ToolResult cat = runTool("cat " + q(archive) + " b.txt");
  EXPECT_EQ(cat.status, 1);
  EXPECT_NE(cat.out.find("CRC"), std::string::npos) << cat.out;
  ToolResult extract = runTool("extract " + q(archive) + " " + q(dir_ / "out"));
  EXPECT_NE(extract.status, 0);
  EXPECT_NE(extract.out.find("b.txt"), std::string::npos) << extract.out;
  EXPECT_EQ(readFile(dir_ / "out/a.txt"), "first entry");

  EXPECT_EQ(runTool("list " + q(dir_ / "a.txt")).status, 1);  // not an archive
  EXPECT_EQ(runTool("pack " + q(archive)).status, 2);
  EXPECT_EQ(runTool("frobnicate").status, 2);
  ToolResult help = runTool("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* word : {"list", "cat", "extract", "pack", "--stored", "--names-from", "NAME=PATH"})
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
}
