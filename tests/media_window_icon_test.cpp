// media_window_icon_test.cpp — on a real X server (a private Xvfb), a window whose class has the
// program's icon (resource 224) shows that picture as its window-manager icon (_NET_WM_ICON).
#include <gtest/gtest.h>   // before Xlib, whose None and Bool macros clash with it
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/win32/win32_internal.h"
#include "platform/win32/window_access.h"
#include "platform/win32/windows.h"

// SDL's x11 driver keeps a D-Bus connection that LeakSanitizer reports at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus\n"; }

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// Starts Xvfb on a free display number and points SDL's x11 driver at it; stops it at the end.
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') display_ += c;   // ready when it names its display
    close(fds[0]);
    if (display_.empty()) return;
    display_ = ":" + display_;
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  }
  ~PrivateXServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool running() const { return !display_.empty(); }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

TEST(WindowIcon, TheSaverWindowCarriesTheIconPicture) {
  PrivateXServer server;
  ASSERT_TRUE(server.running()) << "Xvfb did not start (installed by scripts/install-deps)";

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = plainProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(224));
  wc.lpszClassName = "IconTest";
  ASSERT_NE(wc.hIcon, nullptr);
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND window = CreateWindowExA(0, "IconTest", "icon", WS_POPUP | WS_VISIBLE, 0, 0, 64, 48, nullptr,
                                nullptr, instance, nullptr);
  ASSERT_NE(window, nullptr);

  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(sdlWindowForHandle(window), &info));
  ASSERT_EQ(info.subsystem, SDL_SYSWM_X11);
  Display* display = info.info.x11.display;
  Atom type;
  int format;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(display, info.info.x11.window, XInternAtom(display, "_NET_WM_ICON", False), 0,
                               1 << 16, False, XA_CARDINAL, &type, &format, &count, &remaining, &data),
            Success);
  ASSERT_NE(data, nullptr) << "the window has no icon";
  // Width, height, then one ARGB value per pixel (in longs, as Xlib hands 32-bit items out).
  std::vector<unsigned long> values(reinterpret_cast<unsigned long*>(data), reinterpret_cast<unsigned long*>(data) + count);
  XFree(data);
  ASSERT_GE(values.size(), 2u);
  int width = 0, height = 0;
  std::vector<uint32_t> expected;
  ASSERT_TRUE(tw32::iconPixels(wc.hIcon, &width, &height, &expected));
  ASSERT_EQ(values[0], unsigned(width));
  ASSERT_EQ(values[1], unsigned(height));
  ASSERT_EQ(values.size(), 2 + expected.size());
  int differing = 0;
  for (size_t i = 0; i < expected.size(); ++i) {
    uint32_t shown = uint32_t(values[2 + i]);
    // A transparent pixel's colour means nothing; compare the alpha there.
    if ((expected[i] >> 24) == 0 ? (shown >> 24) != 0 : shown != expected[i]) ++differing;
  }
  EXPECT_EQ(differing, 0);
  DestroyWindow(window);
}

}  // namespace
