// win32_messages_test.cpp — message queue and timers: retrieval order, waiting, WM_QUIT,
// timer timing and order, KillTimer, the termination request, SDL input turned into messages.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/runtime.h"
#include "platform/win32/window_access.h"
#include "platform/win32/windows.h"

namespace {

struct Seen {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> gSeen;
LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  gSeen.push_back({window, message, wParam, lParam});
  return DefWindowProcA(window, message, wParam, lParam);
}

class Messages : public ::testing::Test {
 protected:
  void SetUp() override {
    static char dir[] = "/tmp/tw-msg-XXXXXX";
    static bool made = mkdtemp(dir) != nullptr;
    ASSERT_TRUE(made);
    setenv("XDG_RUNTIME_DIR", dir, 1);
    clearTerminationRequest();
    WNDCLASSA cls{};
    cls.lpfnWndProc = recordingProc;
    cls.lpszClassName = "MessagesTest";
    RegisterClassA(&cls);   // a second registration in the same process fails; the first stays
    window = CreateWindowExA(0, "MessagesTest", "messages", WS_POPUP, 0, 0, 64, 48, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    drain();
    gSeen.clear();
  }
  void TearDown() override {
    DestroyWindow(window);
    drain();
    clearTerminationRequest();
  }
  static void drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static long long nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  HWND window = nullptr;
};

TEST_F(Messages, PeekNeverBlocksAndHonoursRemoveAndFilters) {
  MSG msg;
  long long start = nowMs();
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_LT(nowMs() - start, 50);

  ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 11, 0));
  ASSERT_TRUE(PostMessageA(window, WM_USER + 2, 22, 0));
  ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 3, 33, 0));   // a thread message
  // PM_NOREMOVE leaves it; a range filter skips over the first.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, UINT(WM_USER + 1));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 22u);
  // A window filter does not take thread messages; (HWND)-1 takes only those.
  ASSERT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT(WM_USER + 1));
  EXPECT_FALSE(PeekMessageA(&msg, window, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(intptr_t(-1)), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 33u);
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(uintptr_t(0x1234)), WM_USER, 0, 0));
}

TEST_F(Messages, QuitComesAfterPostedMessagesAndGetMessageReturnsZero) {
  PostMessageA(window, WM_USER, 0, 0);
  PostQuitMessage(7);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, UINT(WM_USER));
  // WM_QUIT passes a window filter, so a loop filtering on its window still ends.
  ASSERT_EQ(GetMessageA(&msg, window, 0, 0), 0);
  EXPECT_EQ(msg.message, UINT(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));   // taken once
}

TEST_F(Messages, DispatchCallsTheProcedureAndSendCallsItDirectly) {
  PostMessageA(window, WM_USER + 5, 1, 2);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(gSeen.empty());
  DispatchMessageA(&msg);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].message, UINT(WM_USER + 5));
  EXPECT_EQ(gSeen[0].lParam, 2);
  SendMessageA(window, WM_USER + 6, 0, 0);
  ASSERT_EQ(gSeen.size(), 2u);
  EXPECT_EQ(gSeen[1].message, UINT(WM_USER + 6));
}

TEST_F(Messages, GetMessageWaitsForATimerThatFiresNeverEarly) {
  ASSERT_EQ(SetTimer(window, 3, 120, nullptr), 3u);
  long long start = nowMs();
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  long long waited = nowMs() - start;
  EXPECT_EQ(msg.message, UINT(WM_TIMER));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_GE(waited, 115);   // ms clock granularity
  EXPECT_LT(waited, 2000);
  KillTimer(window, 3);
}

TEST_F(Messages, TimersFireInDueOrderOneMessageAtATimeAndStopWhenKilled) {
  SetTimer(window, 1, 40, nullptr);
  SetTimer(window, 2, 100, nullptr);
  // Fall behind by several periods: each timer still has only one WM_TIMER waiting.
  std::this_thread::sleep_for(std::chrono::milliseconds(230));
  MSG msg;
  std::vector<WPARAM> ids;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_TIMER) ids.push_back(msg.wParam);
  }
  EXPECT_EQ(ids, (std::vector<WPARAM>{1, 2}));   // the earlier due first

  ASSERT_TRUE(KillTimer(window, 1));
  EXPECT_FALSE(KillTimer(window, 1));
  ids.clear();
  long long end = nowMs() + 250;
  while (nowMs() < end) {
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message == WM_TIMER) ids.push_back(msg.wParam);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_FALSE(ids.empty());
  for (WPARAM id : ids) EXPECT_EQ(id, 2u);
  KillTimer(window, 2);
}

int gCallbackCalls = 0;
UINT_PTR gCallbackId = 0;
void CALLBACK onTimer(HWND, UINT message, UINT_PTR id, DWORD) {
  if (message == WM_TIMER) ++gCallbackCalls, gCallbackId = id;
}

TEST_F(Messages, TimerCallbackRunsOnDispatchAndForgedCallbacksDoNot) {
  gCallbackCalls = 0;
  UINT_PTR id = SetTimer(nullptr, 0, 10, onTimer);
  ASSERT_NE(id, 0u);
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  ASSERT_EQ(msg.message, UINT(WM_TIMER));
  DispatchMessageA(&msg);
  EXPECT_EQ(gCallbackCalls, 1);
  EXPECT_EQ(gCallbackId, id);
  EXPECT_TRUE(gSeen.empty());   // no window procedure involved
  KillTimer(nullptr, id);
  // A posted WM_TIMER carrying a function pointer is not a timer: nothing is called.
  DispatchMessageA(&msg);
  EXPECT_EQ(gCallbackCalls, 1);
}

TEST_F(Messages, TerminationRequestEndsAWaitingGetMessage) {
  std::thread raiser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    requestTermination();
  });
  long long start = nowMs();
  MSG msg;
  EXPECT_EQ(GetMessageA(&msg, window, 0, 0), 0);
  EXPECT_EQ(msg.message, UINT(WM_QUIT));
  EXPECT_LT(nowMs() - start, 1000);
  raiser.join();
}

TEST_F(Messages, GetMessageForAWindowThatGoesAwayReturnsMinusOne) {
  MSG msg;
  EXPECT_EQ(GetMessageA(&msg, reinterpret_cast<HWND>(uintptr_t(0x1234)), 0, 0), -1);
}

TEST_F(Messages, PaintComesOncePerInvalidationAfterPostedMessages) {
  ShowWindow(window, SW_SHOW);
  drain();
  InvalidateRect(window, nullptr, FALSE);
  PostMessageA(window, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT(WM_USER));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, UINT(WM_PAINT));
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

// SDL events pushed into SDL's queue arrive as the program's messages.
TEST_F(Messages, SdlInputBecomesWindowMessages) {
  SDL_Window* sdl = sdlWindowForHandle(window);
  ASSERT_NE(sdl, nullptr);
  Uint32 id = SDL_GetWindowID(sdl);
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.windowID = id;
  e.motion.x = 12;
  e.motion.y = 34;
  SDL_PushEvent(&e);
  e = {};
  e.type = SDL_KEYDOWN;
  e.key.windowID = id;
  e.key.keysym.sym = SDLK_ESCAPE;
  SDL_PushEvent(&e);
  e = {};
  e.type = SDL_MOUSEBUTTONDOWN;
  e.button.windowID = id;
  e.button.button = SDL_BUTTON_RIGHT;
  SDL_PushEvent(&e);
  e = {};
  e.type = SDL_WINDOWEVENT;
  e.window.windowID = id;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  SDL_PushEvent(&e);
  e = {};
  e.type = SDL_KEYDOWN;
  e.key.windowID = id;
  e.key.keysym.sym = SDLK_F4;
  e.key.keysym.mod = KMOD_LALT;
  SDL_PushEvent(&e);

  std::vector<Seen> got;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_PAINT) continue;
    got.push_back({msg.hwnd, msg.message, msg.wParam, msg.lParam});
    if (msg.message == WM_SYSKEYDOWN) DispatchMessageA(&msg);
  }
  ASSERT_EQ(got.size(), 7u);
  EXPECT_EQ(got[0].message, UINT(WM_SETCURSOR));
  EXPECT_EQ(LOWORD(got[0].lParam), 1);   // client area
  EXPECT_EQ(HIWORD(got[0].lParam), WM_MOUSEMOVE);
  EXPECT_EQ(got[1].message, UINT(WM_MOUSEMOVE));
  EXPECT_EQ(GET_X_LPARAM(got[1].lParam), 12);
  EXPECT_EQ(GET_Y_LPARAM(got[1].lParam), 34);
  EXPECT_EQ(got[2].message, UINT(WM_KEYDOWN));
  EXPECT_EQ(got[2].wParam, WPARAM(VK_ESCAPE));
  EXPECT_EQ(got[3].message, UINT(WM_SETCURSOR));
  EXPECT_EQ(HIWORD(got[3].lParam), WM_RBUTTONDOWN);
  EXPECT_EQ(got[4].message, UINT(WM_RBUTTONDOWN));
  EXPECT_EQ(got[5].message, UINT(WM_CLOSE));
  EXPECT_EQ(got[6].message, UINT(WM_SYSKEYDOWN));
  EXPECT_EQ(got[6].wParam, WPARAM(VK_F4));
  for (const Seen& s : got) EXPECT_EQ(s.window, window);
  // Alt+F4 through the default procedure became SC_CLOSE, then WM_CLOSE, which destroyed it.
  bool sysClose = false, destroyed = false;
  for (const Seen& s : gSeen) {
    sysClose |= s.message == WM_SYSCOMMAND && s.wParam == SC_CLOSE;
    destroyed |= s.message == WM_DESTROY;
  }
  EXPECT_TRUE(sysClose);
  EXPECT_TRUE(destroyed);
  EXPECT_FALSE(IsWindow(window));
}

TEST_F(Messages, FocusMovingBetweenOurWindowsIsNoDeactivation) {
  HWND second = CreateWindowExA(0, "MessagesTest", "second", WS_POPUP, 64, 0, 64, 48, nullptr,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(second, nullptr);
  auto focus = [](HWND w, Uint8 event) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(sdlWindowForHandle(w));
    e.window.event = event;
    SDL_PushEvent(&e);
  };
  auto activations = [&] {
    std::vector<std::pair<HWND, WPARAM>> seen;
    MSG msg;
    long long end = nowMs() + 400;
    while (nowMs() < end) {
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        if (msg.message == WM_ACTIVATEAPP) seen.push_back({msg.hwnd, msg.wParam});
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return seen;
  };
  focus(window, SDL_WINDOWEVENT_FOCUS_GAINED);
  auto first = activations();
  ASSERT_EQ(first.size(), 2u);   // every top-level window hears it
  EXPECT_EQ(first[0].second, 1u);
  EXPECT_EQ(first[1].second, 1u);

  focus(window, SDL_WINDOWEVENT_FOCUS_LOST);
  focus(second, SDL_WINDOWEVENT_FOCUS_GAINED);
  EXPECT_TRUE(activations().empty());

  focus(second, SDL_WINDOWEVENT_FOCUS_LOST);
  auto lost = activations();
  ASSERT_EQ(lost.size(), 2u);
  EXPECT_EQ(lost[0].second, 0u);
  DestroyWindow(second);
}

}  // namespace
