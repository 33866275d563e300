// shell_run_test.cpp — runs the real executable headless: run modes, frame limits, SIGTERM,
// the run log and the single-instance rule.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string saverBinary = std::string(TARNWICK_BINARY_DIR) + "/tarnwick3d";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class SaverRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tw-run-XXXXXX";
    dir_ = mkdtemp(pattern);
    fs::create_directories(dir_ / "config");
    fs::create_directories(dir_ / "runtime");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Starts the saver in `cwd` with its output in cwd/out.txt; returns the child's pid.
  pid_t start(const std::vector<std::string>& args, const fs::path& cwd) {
    fs::create_directories(cwd);
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(cwd.c_str()) != 0) _exit(126);
      FILE* out = freopen("out.txt", "w", stdout);
      if (!out || !freopen("err.txt", "w", stderr)) _exit(126);
      setenv("SDL_VIDEODRIVER", "offscreen", 1);
      setenv("SDL_AUDIODRIVER", "dummy", 1);
      // The GL driver is unloaded at exit and its allocations can't be told apart from ours
      // there; leaks of our own code are caught by the unit tests.
      setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
      setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
      setenv("XDG_RUNTIME_DIR", (dir_ / "runtime").c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(saverBinary.c_str())};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(saverBinary.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  // Waits up to `limit` for the child; returns its exit code, or -1 if it is still running.
  static int waitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < end) {
      if (waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  static void stop(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }

  int runToEnd(const std::vector<std::string>& args, const fs::path& cwd) {
    const pid_t pid = start(args, cwd);
    const int code = waitFor(pid, std::chrono::seconds(60));
    if (code == -1) stop(pid);
    return code;
  }

  fs::path dir_;
};

TEST_F(SaverRun, FrameLimitEndsFullAndTestRunsWithTheLogClosed) {
  for (const char* mode : {"/s", "/t"}) {
    const fs::path cwd = dir_ / (mode + 1);
    EXPECT_EQ(runToEnd({mode, "--frames", "10", "--log"}, cwd), 0) << mode;
    const std::string log = readFile(cwd / "Saver_Log.txt");
    EXPECT_EQ(log.rfind("Log started\n\n", 0), 0u) << log;
    EXPECT_NE(log.find("Create Saver Window complete\n"), std::string::npos) << log;
    EXPECT_NE(log.find("All Data Was Loaded.\n"), std::string::npos) << log;
    ASSERT_GE(log.size(), 14u);
    EXPECT_EQ(log.substr(log.size() - 14), "\nLog finished\n") << log;
  }
}

TEST_F(SaverRun, WithoutLogSwitchNoFileIsMade) {
  EXPECT_EQ(runToEnd({"/s", "--frames", "3"}, dir_ / "quiet"), 0);
  EXPECT_FALSE(fs::exists(dir_ / "quiet" / "Saver_Log.txt"));
}

TEST_F(SaverRun, SigtermEndsARunWithinASecond) {
  const fs::path cwd = dir_ / "term";
  const pid_t pid = start({"/s", "--log"}, cwd);
  // Wait until the run is in its frame loop.
  const auto ready = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < ready &&
         readFile(cwd / "Saver_Log.txt").find("All Data Was Loaded.") == std::string::npos)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_NE(readFile(cwd / "Saver_Log.txt").find("All Data Was Loaded."), std::string::npos);
  const auto sent = Clock::now();
  kill(pid, SIGTERM);
  const int code = waitFor(pid, std::chrono::seconds(5));
  const auto took = Clock::now() - sent;
  if (code == -1) stop(pid);
  EXPECT_EQ(code, 0);
  EXPECT_LT(took, std::chrono::seconds(1));
  const std::string log = readFile(cwd / "Saver_Log.txt");
  EXPECT_NE(log.find("\nLog finished\n"), std::string::npos) << log;
}

TEST_F(SaverRun, SecondInstanceEndsWithoutCreatingAnything) {
  const fs::path first = dir_ / "first";
  const pid_t pid = start({"/s", "--log"}, first);
  const auto ready = Clock::now() + std::chrono::seconds(30);
  while (Clock::now() < ready && readFile(first / "Saver_Log.txt")
                                         .find("Create Saver Window complete") == std::string::npos)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

  const fs::path second = dir_ / "second";
  EXPECT_EQ(runToEnd({"/s", "--log", "--frames", "50"}, second), 0);
  const std::string log = readFile(second / "Saver_Log.txt");
  EXPECT_EQ(log.find("Create Saver Window complete"), std::string::npos) << log;
  EXPECT_EQ(log.find("All Data Was Loaded."), std::string::npos) << log;

  kill(pid, SIGTERM);
  EXPECT_EQ(waitFor(pid, std::chrono::seconds(5)), 0);

  // Once the first has gone, a new start runs again.
  EXPECT_EQ(runToEnd({"/s", "--log", "--frames", "5"}, dir_ / "third"), 0);
  EXPECT_NE(readFile(dir_ / "third" / "Saver_Log.txt").find("All Data Was Loaded."),
            std::string::npos);
}

TEST_F(SaverRun, PreviewWithoutHostWindowEndsByItself) {
  EXPECT_EQ(runToEnd({"/p"}, dir_ / "preview"), 0);
  EXPECT_EQ(runToEnd({"/p", "12345"}, dir_ / "preview2"), 0);
}

TEST_F(SaverRun, LongOptions) {
  const fs::path cwd = dir_ / "help";
  EXPECT_EQ(runToEnd({"--help"}, cwd), 0);
  const std::string help = readFile(cwd / "out.txt");
  for (const char* word : {"/s", "/t", "/c", "/p", "--frames", "--capture", "--log",
                           "--fixed-step", "--seed"})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_EQ(runToEnd({"--no-such-option"}, dir_ / "bad"), 2);
  EXPECT_FALSE(readFile(dir_ / "bad" / "err.txt").empty());
  EXPECT_EQ(runToEnd({"--frames", "lots"}, dir_ / "bad2"), 2);
}

}  // namespace
