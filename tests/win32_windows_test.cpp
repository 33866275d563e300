// win32_windows_test.cpp — window creation and destruction, geometry of captioned windows,
// foreign parents, and painting a bitmap resource into a window.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/resource_table.h"
#include "platform/win32/window_access.h"
#include "platform/win32/windows.h"

namespace {

struct Seen {
  HWND window;
  UINT message;
  CREATESTRUCTA create;   // copy of lParam's CREATESTRUCTA for WM_NCCREATE / WM_CREATE
  std::string name, cls;
  RECT client;            // GetClientRect as seen inside the procedure
};
std::vector<Seen> gSeen;
LRESULT gCreateResult = 0;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Seen s{window, message, {}, {}, {}, {}};
  if (message == WM_NCCREATE || message == WM_CREATE) {
    s.create = *reinterpret_cast<CREATESTRUCTA*>(lParam);
    s.name = s.create.lpszName;
    s.cls = s.create.lpszClass;
  }
  GetClientRect(window, &s.client);
  gSeen.push_back(s);
  if (message == WM_CREATE) return gCreateResult;
  return DefWindowProcA(window, message, wParam, lParam);
}

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    static char dir[] = "/tmp/tw-win-XXXXXX";
    static bool made = mkdtemp(dir) != nullptr;
    ASSERT_TRUE(made);
    setenv("XDG_RUNTIME_DIR", dir, 1);
    WNDCLASSA cls{};
    cls.lpfnWndProc = recordingProc;
    cls.lpszClassName = "WindowsTest";
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    RegisterClassA(&cls);
    gSeen.clear();
    gCreateResult = 0;
  }
  std::vector<UINT> messagesOf(HWND window) {
    std::vector<UINT> out;
    for (const Seen& s : gSeen)
      if (s.window == window) out.push_back(s.message);
    return out;
  }
};

TEST_F(Windows, CreationSendsNcCreateAndCreateWithTheCallersValues) {
  int param = 42;
  HWND w = CreateWindowExA(WS_EX_TOPMOST, "windowstest", "Quenby SS", WS_POPUP | WS_VISIBLE, 10, 20,
                           300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), &param);
  ASSERT_NE(w, nullptr);
  ASSERT_GE(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[0].message, UINT(WM_NCCREATE));
  EXPECT_EQ(gSeen[1].message, UINT(WM_CREATE));
  const CREATESTRUCTA& cs = gSeen[1].create;
  EXPECT_EQ(cs.lpCreateParams, &param);
  EXPECT_EQ(cs.hInstance, GetModuleHandleA(nullptr));
  EXPECT_EQ(cs.x, 10);
  EXPECT_EQ(cs.y, 20);
  EXPECT_EQ(cs.cx, 300);
  EXPECT_EQ(cs.cy, 200);
  EXPECT_EQ(static_cast<DWORD>(cs.style), DWORD(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(cs.dwExStyle, DWORD(WS_EX_TOPMOST));
  EXPECT_EQ(gSeen[1].name, "Quenby SS");
  EXPECT_EQ(gSeen[1].cls, "WindowsTest");   // the registered spelling
  EXPECT_EQ(gSeen[1].client.right, 300);   // the window is usable inside WM_CREATE
  EXPECT_EQ(gSeen[1].client.bottom, 200);

  SDL_Window* sdl = sdlWindowForHandle(w);
  ASSERT_NE(sdl, nullptr);
  Uint32 flags = SDL_GetWindowFlags(sdl);
  EXPECT_TRUE(flags & SDL_WINDOW_OPENGL);
  EXPECT_TRUE(flags & SDL_WINDOW_BORDERLESS);
  EXPECT_TRUE(flags & SDL_WINDOW_SHOWN);
  EXPECT_EQ(std::string(SDL_GetWindowTitle(sdl)), "Quenby SS");
  DestroyWindow(w);
}

TEST_F(Windows, RefusedCreationsReturnNull) {
  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExA(0, "WindowsTest", "", WS_CHILD, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  // WM_CREATE answering -1 destroys the window (it hears WM_DESTROY) and creation fails.
  gCreateResult = -1;
  EXPECT_EQ(CreateWindowExA(0, "WindowsTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  ASSERT_FALSE(gSeen.empty());
  EXPECT_EQ(gSeen.back().message, UINT(WM_DESTROY));
}

TEST_F(Windows, ChildOfAForeignHandleFailsWithoutX11AndNeverWaits) {
  // Under the offscreen driver there is no X11 window to be a child of; a number that is not one
  // of our windows is such a foreign handle.
  HWND foreign = reinterpret_cast<HWND>(uintptr_t(5678));
  RECT r{1, 2, 3, 4};
  EXPECT_FALSE(GetClientRect(foreign, &r));
  EXPECT_EQ(r.right, 0);
  EXPECT_EQ(CreateWindowExA(0, "WindowsTest", "Quenby SS", WS_CHILD | WS_VISIBLE, 0, 0, 155, 115,
                            foreign, nullptr, nullptr, nullptr),
            nullptr);
}

TEST_F(Windows, DestroyingAnOwnerDestroysOwnedWindowsFirstAndChildrenAfter) {
  HWND owner = CreateWindowExA(0, "WindowsTest", "owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  HWND owned = CreateWindowExA(0, "WindowsTest", "owned", WS_POPUP, 100, 0, 100, 100, owner, nullptr, nullptr, nullptr);
  HWND child = CreateWindowExA(0, "WindowsTest", "child", WS_CHILD, 5, 5, 20, 20, owner, nullptr, nullptr, nullptr);
  HWND other = CreateWindowExA(0, "WindowsTest", "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner && owned && child && other);
  gSeen.clear();
  ASSERT_TRUE(DestroyWindow(owner));
  std::vector<HWND> order;
  for (const Seen& s : gSeen)
    if (s.message == WM_DESTROY) order.push_back(s.window);
  EXPECT_EQ(order, (std::vector<HWND>{owned, owner, child}));
  EXPECT_FALSE(IsWindow(owner));
  EXPECT_FALSE(IsWindow(owned));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_TRUE(IsWindow(other));
  EXPECT_FALSE(DestroyWindow(owner));
  EXPECT_EQ(sdlWindowForHandle(owned), nullptr);
  DestroyWindow(other);
}

TEST_F(Windows, CaptionedWindowClientAreaIsWhatAdjustWindowRectWasGiven) {
  const DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT r{50, 50, 650, 450};
  ASSERT_TRUE(AdjustWindowRect(&r, style, FALSE));
  EXPECT_LT(r.left, 50);
  EXPECT_LT(r.top, 50);
  HWND w = CreateWindowExA(0, "WindowsTest", "test", style, r.left, r.top, r.right - r.left,
                           r.bottom - r.top, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  RECT client, outer;
  ASSERT_TRUE(GetClientRect(w, &client));
  EXPECT_EQ(client.left, 0);
  EXPECT_EQ(client.top, 0);
  EXPECT_EQ(client.right, 600);
  EXPECT_EQ(client.bottom, 400);
  ASSERT_TRUE(GetWindowRect(w, &outer));
  EXPECT_EQ(outer.left, r.left);
  EXPECT_EQ(outer.bottom, r.bottom);
  int sw, sh;
  SDL_GetWindowSize(sdlWindowForHandle(w), &sw, &sh);
  EXPECT_EQ(sw, 600);
  EXPECT_EQ(sh, 400);
  EXPECT_FALSE(SDL_GetWindowFlags(sdlWindowForHandle(w)) & SDL_WINDOW_BORDERLESS);

  // A popup gets no frame; resizing tells the procedure its new client size.
  RECT plain{0, 0, 10, 10};
  AdjustWindowRect(&plain, WS_POPUP, FALSE);
  EXPECT_EQ(plain.left, 0);
  EXPECT_EQ(plain.bottom, 10);
  gSeen.clear();
  ASSERT_TRUE(SetWindowPos(w, HWND_TOP, 0, 0, 706, 528, SWP_NOMOVE | SWP_NOZORDER));
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 700);
  EXPECT_EQ(messagesOf(w), std::vector<UINT>{WM_SIZE});
  DestroyWindow(w);
}

TEST_F(Windows, ShowWindowHidesAndShowsTheSdlWindow) {
  HWND w = CreateWindowExA(0, "WindowsTest", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  SDL_Window* sdl = sdlWindowForHandle(w);
  EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);   // no WS_VISIBLE
  EXPECT_FALSE(ShowWindow(w, SW_SHOW));
  EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
  EXPECT_TRUE(ShowWindow(w, SW_HIDE));
  EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);
  DestroyWindow(w);
}

// A 3 x 2 BMP: 24-bit with the file header, or 8-bit with a palette and no file header (as
// resource compilers store RT_BITMAP). Bottom row first in the file.
std::vector<unsigned char> bmp(int bits, bool fileHeader) {
  const uint32_t colours[2][3] = {{0xFF0000, 0x00FF00, 0x0000FF}, {0x102030, 0xFFFFFF, 0x000000}};
  std::vector<unsigned char> out;
  auto u16 = [&](uint32_t v) { out.push_back(v & 0xFF), out.push_back((v >> 8) & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  int stride = bits == 24 ? 12 : 4;
  int palette = bits == 8 ? 6 * 4 : 0;
  if (fileHeader) {
    out.push_back('B'), out.push_back('M');
    u32(14 + 40 + palette + stride * 2), u32(0), u32(14 + 40 + palette);
  }
  u32(40), u32(3), u32(2), u16(1), u16(bits), u32(0), u32(stride * 2), u32(0), u32(0);
  u32(bits == 8 ? 6 : 0), u32(0);
  if (bits == 8)
    for (int i = 0; i < 6; ++i) {
      uint32_t c = colours[i / 3][i % 3];
      out.push_back(c & 0xFF), out.push_back((c >> 8) & 0xFF), out.push_back(c >> 16), out.push_back(0);
    }
  for (int row = 1; row >= 0; --row) {
    size_t start = out.size();
    for (int x = 0; x < 3; ++x) {
      uint32_t c = colours[row][x];
      if (bits == 8) out.push_back(static_cast<unsigned char>(row * 3 + x));
      else out.push_back(c & 0xFF), out.push_back((c >> 8) & 0xFF), out.push_back(c >> 16);
    }
    while (out.size() - start < size_t(stride)) out.push_back(0);
  }
  return out;
}

TEST_F(Windows, LoadBitmapDecodesBmpResourcesAndRejectsBrokenOnes) {
  static const auto with24 = bmp(24, true);
  static const auto without8 = bmp(8, false);
  static auto truncated = bmp(24, true);
  truncated.resize(truncated.size() - 5);
  static auto hugeWidth = bmp(24, false);
  hugeWidth[4] = 0xFF, hugeWidth[5] = 0xFF, hugeWidth[6] = 0xFF, hugeWidth[7] = 0x7F;
  static const EmbeddedResource table[] = {
      {"#2", 432, with24.data(), with24.size()},
      {"#2", 434, without8.data(), without8.size()},
      {"#2", 435, truncated.data(), truncated.size()},
      {"#2", 436, hugeWidth.data(), hugeWidth.size()},
  };
  installResourceTable(table, 4);
  HINSTANCE self = GetModuleHandleA(nullptr);
  for (int id : {432, 434}) {
    SCOPED_TRACE(id);
    HBITMAP b = LoadBitmapA(self, MAKEINTRESOURCEA(id));
    ASSERT_NE(b, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(b, sizeof info, &info), int(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    const uint32_t* px = static_cast<const uint32_t*>(info.bmBits);
    EXPECT_EQ(px[0], 0xFF0000u);   // top row first
    EXPECT_EQ(px[2], 0x0000FFu);
    EXPECT_EQ(px[3], 0x102030u);
    EXPECT_TRUE(DeleteObject(b));
  }
  EXPECT_EQ(LoadBitmapA(self, MAKEINTRESOURCEA(435)), nullptr);
  EXPECT_EQ(LoadBitmapA(self, MAKEINTRESOURCEA(436)), nullptr);
  EXPECT_EQ(LoadBitmapA(self, MAKEINTRESOURCEA(999)), nullptr);
  installResourceTable(nullptr, 0);
}

// The preview's way of painting: BeginPaint, a memory DC holding the bitmap, BitBlt, EndPaint.
TEST_F(Windows, BitBltPaintsTheBitmapIntoTheWindow) {
  static const auto data = bmp(24, true);
  static const EmbeddedResource table[] = {{"#2", 432, data.data(), data.size()}};
  installResourceTable(table, 1);
  HWND w = CreateWindowExA(0, "WindowsTest", "", WS_POPUP | WS_VISIBLE, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  HBITMAP picture = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(432));
  ASSERT_NE(picture, nullptr);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w, &ps);
  ASSERT_NE(dc, nullptr);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, picture);
  ASSERT_NE(old, nullptr);
  EXPECT_FALSE(DeleteObject(picture));   // still selected
  ASSERT_TRUE(BitBlt(dc, 1, 1, 3, 2, memory, 0, 0, SRCCOPY));
  SelectObject(memory, old);
  EXPECT_TRUE(DeleteDC(memory));
  EXPECT_TRUE(EndPaint(w, &ps));
  EXPECT_TRUE(DeleteObject(picture));

  SDL_Surface* s = SDL_GetWindowSurface(sdlWindowForHandle(w));
  ASSERT_NE(s, nullptr);
  auto pixel = [&](int x, int y) {
    Uint32 raw;
    std::memcpy(&raw, static_cast<Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel, 4);
    Uint8 r, g, b;
    SDL_GetRGB(raw, s->format, &r, &g, &b);
    return uint32_t(r) << 16 | uint32_t(g) << 8 | b;
  };
  EXPECT_EQ(pixel(1, 1), 0xFF0000u);
  EXPECT_EQ(pixel(3, 1), 0x0000FFu);
  EXPECT_EQ(pixel(2, 2), 0xFFFFFFu);
  DestroyWindow(w);
  installResourceTable(nullptr, 0);
}

TEST_F(Windows, CursorAndStockObjectsAreHandles) {
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
  EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(7)), nullptr);
  EXPECT_NE(GetStockObject(BLACK_BRUSH), nullptr);
  EXPECT_EQ(GetStockObject(BLACK_BRUSH), GetStockObject(BLACK_BRUSH));
  ASSERT_TRUE(SDL_WasInit(SDL_INIT_VIDEO) || SDL_InitSubSystem(SDL_INIT_VIDEO) == 0);
  SetCursor(nullptr);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

}  // namespace

namespace {

// Without a display nobody can answer: stderr gets the text, questions get the refusing answer.
TEST(MessageBox, WritesToStderrAndRefusesUnansweredQuestions) {
  struct Case {
    UINT type;
    int expected;
  };
  for (Case c : {Case{MB_OK | MB_ICONERROR, IDOK}, Case{MB_OKCANCEL, IDCANCEL},
                 Case{MB_YESNO | MB_ICONQUESTION, IDNO}}) {
    testing::internal::CaptureStderr();
    int result = MessageBoxA(nullptr, "Cant get Desktop DisplayMode.", "Error!", c.type);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, c.expected);
    EXPECT_NE(err.find("Error!: Cant get Desktop DisplayMode."), std::string::npos) << err;
  }
}

}  // namespace
