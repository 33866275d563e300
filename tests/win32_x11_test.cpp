// win32_x11_test.cpp — windows inside foreign X11 windows (the "/p HANDLE" preview and an
// XScreenSaver host window), against a real X server: a private Xvfb started by the test.
#include <gtest/gtest.h>   // before Xlib, whose None and Bool macros clash with it
#include <SDL.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/runtime.h"
#include "platform/win32/window_access.h"
#include "platform/win32/windows.h"

// SDL's x11 driver keeps a D-Bus connection whose buffers LeakSanitizer reports at exit. The
// shared suppression file names libdbus too, but this program does not rely on it reaching the
// test through the environment.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus\n"; }

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// One Xvfb for the test program; SDL then runs its x11 driver on it.
class XServer : public ::testing::Environment {
 public:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      prctl(PR_SET_PDEATHSIG, SIGTERM);   // never outlive a crashed test
      int null = open("/dev/null", O_WRONLY);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes its display number and a newline when it is ready; read up to the newline
    // (closing the pipe earlier makes its second write fail and the server exit).
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    std::string display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    char dir[] = "/tmp/tw-x11-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("XDG_RUNTIME_DIR", dir, 1);
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};
::testing::Environment* const gServer = ::testing::AddGlobalTestEnvironment(new XServer);

class ForeignWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 240, 0, 0, 0);
    XMapWindow(display, host);
    XSync(display, False);
    WNDCLASSA wc{};
    wc.lpfnWndProc = plainProc;
    wc.lpszClassName = "Quenby SS";
    RegisterClassA(&wc);
  }
  void TearDown() override {
    setRuntimeOptions(RuntimeOptions{});
    XDestroyWindow(display, host);
    XCloseDisplay(display);
  }
  int childrenOfHost() {
    ::Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(display, host, &root, &parent, &children, &count);
    if (children) XFree(children);
    return static_cast<int>(count);
  }
  HWND hostHandle() const { return reinterpret_cast<HWND>(static_cast<uintptr_t>(host)); }
  Display* display = nullptr;
  ::Window host = 0;
};

TEST_F(ForeignWindows, PreviewChildIsARealX11ChildThatTakesAGlContext) {
  RECT r;
  ASSERT_TRUE(GetClientRect(hostHandle(), &r));
  EXPECT_EQ(r.right, 320);
  EXPECT_EQ(r.bottom, 240);
  HWND child = CreateWindowExA(0, "Quenby SS", "Quenby SS", WS_CHILD | WS_VISIBLE, 0, 0, r.right,
                               r.bottom, hostHandle(), nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(childrenOfHost(), 1);
  EXPECT_EQ(FindWindowA("Quenby SS", nullptr), nullptr);   // never a top-level saver window
  SDL_Window* sdl = sdlWindowForHandle(child);
  ASSERT_NE(sdl, nullptr);
  EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL);
  SDL_GLContext gl = SDL_GL_CreateContext(sdl);
  EXPECT_NE(gl, nullptr) << SDL_GetError();   // the visual is fit for OpenGL
  if (gl) SDL_GL_DeleteContext(gl);
  ASSERT_TRUE(DestroyWindow(child));
  EXPECT_EQ(childrenOfHost(), 0);
}

bool gDestroyed = false;
LRESULT CALLBACK destroyWatch(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY) gDestroyed = true;
  return DefWindowProcA(w, m, wp, lp);
}

TEST_F(ForeignWindows, HostDestroyingItsWindowDestroysOursWithWmDestroy) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = destroyWatch;
  wc.lpszClassName = "Watched";
  RegisterClassA(&wc);
  HWND child = CreateWindowExA(0, "Watched", "", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, hostHandle(),
                               nullptr, nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  XDestroyWindow(display, host);
  XSync(display, False);
  host = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, 0, 0);   // for TearDown
  MSG msg;
  for (int i = 0; i < 200 && IsWindow(child); ++i) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    SDL_Delay(5);
  }
  EXPECT_FALSE(IsWindow(child));
  EXPECT_TRUE(gDestroyed);
}

TEST_F(ForeignWindows, AHandleThatIsNoWindowFailsAtOnce) {
  HWND bogus = reinterpret_cast<HWND>(uintptr_t(host + 0x777));
  RECT r;
  EXPECT_FALSE(GetClientRect(bogus, &r));
  EXPECT_EQ(CreateWindowExA(0, "Quenby SS", "", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, bogus, nullptr,
                            nullptr, nullptr),
            nullptr);
}

TEST_F(ForeignWindows, UnderAHostWindowTheOneMonitorIsThatWindow) {
  RuntimeOptions options;
  options.hostWindow = host;
  setRuntimeOptions(options);
  DISPLAY_DEVICEA device{};
  ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &device, 0));
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 1, &device, 0));
  DEVMODEA mode{};
  ASSERT_TRUE(EnumDisplaySettingsA(device.DeviceName, ENUM_REGISTRY_SETTINGS, &mode));
  EXPECT_EQ(mode.dmPelsWidth, 320u);
  EXPECT_EQ(mode.dmPelsHeight, 240u);
  // The full-screen popup goes inside the host's window.
  HWND popup = CreateWindowExA(WS_EX_TOPMOST, "Quenby SS", "Quenby SS", WS_POPUP | WS_VISIBLE, 0, 0,
                               320, 240, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(childrenOfHost(), 1);
  EXPECT_EQ(FindWindowA("Quenby SS", nullptr), nullptr);
  DestroyWindow(popup);
}

TEST_F(ForeignWindows, TopLevelWindowsWorkOnX11Too) {
  const DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT r{50, 50, 650, 450};
  AdjustWindowRect(&r, style, FALSE);
  HWND w = CreateWindowExA(0, "Quenby SS", "Quenby SS", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  int width, height;
  SDL_GetWindowSize(sdlWindowForHandle(w), &width, &height);
  EXPECT_EQ(width, 600);
  EXPECT_EQ(height, 400);
  EXPECT_NE(FindWindowA("Quenby SS", nullptr), nullptr);
  // Messages flow: the window is exposed and painted.
  MSG msg;
  bool painted = false;
  for (int i = 0; i < 100 && !painted; ++i) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      painted |= msg.message == WM_PAINT;
      DispatchMessageA(&msg);
    }
    SDL_Delay(10);
  }
  EXPECT_TRUE(painted);
  DestroyWindow(w);
}

}  // namespace
