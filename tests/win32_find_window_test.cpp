// win32_find_window_test.cpp — FindWindowA across processes: a window of a live child process is
// found by class and by title; one of a killed process leaves no stale entry behind.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/win32/windows.h"

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

class FindWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tw-find-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    runtimeDir = dir;
    setenv("XDG_RUNTIME_DIR", dir, 1);
  }
  // Starts a child that makes a top-level window (or a child window of one) and then waits to
  // be told to destroy it or to be killed. Returns once the window exists.
  pid_t startChild(const char* cls, const char* title, int* commands) {
    int ready[2], control[2];
    EXPECT_EQ(pipe(ready), 0);
    EXPECT_EQ(pipe(control), 0);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      close(control[1]);
      WNDCLASSA wc{};
      wc.lpfnWndProc = plainProc;
      wc.lpszClassName = cls;
      RegisterClassA(&wc);
      HWND w = CreateWindowExA(0, cls, title, WS_POPUP, 0, 0, 32, 32, nullptr, nullptr, nullptr, nullptr);
      char ok = w ? 'y' : 'n';
      if (write(ready[1], &ok, 1) != 1) _exit(3);
      char command;
      if (read(control[0], &command, 1) == 1 && command == 'd') DestroyWindow(w);
      if (write(ready[1], &ok, 1) != 1) _exit(3);
      pause();
      _exit(0);
    }
    close(ready[1]);
    close(control[0]);
    char ok = 0;
    EXPECT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    commands[0] = control[1];
    commands[1] = ready[0];
    return pid;
  }
  int entries() {
    int count = 0;
    DIR* d = opendir((runtimeDir + "/tarnwick3d").c_str());
    if (!d) return 0;
    while (dirent* e = readdir(d)) count += e->d_name[0] != '.';
    closedir(d);
    return count;
  }
  std::string runtimeDir;
};

TEST_F(FindWindow, FindsALiveProcessesWindowByClassOrTitle) {
  int pipes[2];
  pid_t child = startChild("Quenby SS", "Quenby SS", pipes);
  EXPECT_NE(FindWindowA("Quenby SS", nullptr), nullptr);
  EXPECT_NE(FindWindowA("quenby ss", nullptr), nullptr);   // class names ignore case
  EXPECT_NE(FindWindowA(nullptr, "Quenby SS"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "Tarnwick 3D Screensaver Configuration"), nullptr);
  EXPECT_EQ(FindWindowA("Other", "Quenby SS"), nullptr);

  // Destroying the window removes its entry at once.
  char command = 'd', done;
  ASSERT_EQ(write(pipes[0], &command, 1), 1);
  ASSERT_EQ(read(pipes[1], &done, 1), 1);
  EXPECT_EQ(FindWindowA("Quenby SS", nullptr), nullptr);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
}

TEST_F(FindWindow, AKilledProcessLeavesNoStaleEntry) {
  int pipes[2];
  pid_t child = startChild("Quenby SS", "Quenby SS", pipes);
  ASSERT_NE(FindWindowA("Quenby SS", nullptr), nullptr);
  EXPECT_EQ(entries(), 1);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(FindWindowA("Quenby SS", nullptr), nullptr);
  EXPECT_EQ(entries(), 0);   // the crashed process's entry is gone
}

TEST_F(FindWindow, FindsOwnTopLevelWindowsButNotChildren) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = plainProc;
  wc.lpszClassName = "OwnClass";
  RegisterClassA(&wc);
  HWND top = CreateWindowExA(0, "OwnClass", "top", WS_POPUP, 0, 0, 32, 32, nullptr, nullptr, nullptr, nullptr);
  HWND child = CreateWindowExA(0, "OwnClass", "inner", WS_CHILD, 0, 0, 8, 8, top, nullptr, nullptr, nullptr);
  ASSERT_TRUE(top && child);
  EXPECT_EQ(FindWindowA("OwnClass", "top"), top);
  EXPECT_EQ(FindWindowA(nullptr, "inner"), nullptr);
  DestroyWindow(top);
  EXPECT_EQ(FindWindowA("OwnClass", nullptr), nullptr);
}

}  // namespace
