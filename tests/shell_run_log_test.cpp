// shell_run_log_test.cpp — the run log file: opening lines, flushing, truncation, closing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "shell/run_log.h"

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tw-runlog-XXXXXX";
    dir_ = mkdtemp(pattern);
    path_ = dir_ + "/Saver_Log.txt";
  }
  void TearDown() override {
    std::remove(path_.c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_, path_;
};

TEST_F(RunLogTest, LinesAreFlushedAndClosingLinesWritten) {
  RunLog log;
  log.open(path_.c_str());
  log.line("Create Saver Window complete");
  // Readable before close: every line is flushed.
  EXPECT_EQ(readFile(path_), "Log started\n\nCreate Saver Window complete\n");
  log.line("first\nsecond");
  log.close();
  EXPECT_EQ(readFile(path_),
            "Log started\n\nCreate Saver Window complete\nfirst\nsecond\n\nLog finished\n");
  log.close();   // a second close writes nothing
  log.line("late");
  EXPECT_EQ(readFile(path_).find("late"), std::string::npos);
}

TEST_F(RunLogTest, ExistingFileIsTruncated) {
  { std::ofstream(path_) << "old contents that must go\n"; }
  RunLog log;
  log.open(path_.c_str());
  log.close();
  EXPECT_EQ(readFile(path_), "Log started\n\n\nLog finished\n");
}

TEST_F(RunLogTest, DisabledLogCreatesNothing) {
  RunLog log;
  log.enabled = false;
  log.open(path_.c_str());
  log.line("x");
  log.close();
  EXPECT_FALSE(std::ifstream(path_).good());
}

TEST_F(RunLogTest, UnwritablePlaceLeavesLogClosed) {
  RunLog log;
  const std::string bad = dir_ + "/missing-dir/Saver_Log.txt";
  log.open(bad.c_str());   // the warning box goes to stderr headless
  EXPECT_FALSE(log.isOpen());
  log.line("x");
  log.close();
}

}  // namespace
