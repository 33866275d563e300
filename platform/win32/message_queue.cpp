// message_queue.cpp — per-thread message queues, SDL event translation, the default procedure.
//
// Retrieval order follows Windows: posted and input messages first (in arrival order), then
// WM_QUIT, then WM_PAINT for an invalidated window, then WM_TIMER for a due timer. WM_PAINT is
// produced once per invalidation. WM_QUIT passes every window and range filter, so a loop that
// filters on its window still sees it. PeekMessageA never blocks; GetMessageA waits in short
// slices so timers fire on time and a termination request (SIGTERM) ends the wait as WM_QUIT.
#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>

#include "platform/runtime.h"
#include "platform/win32/win32_internal.h"

namespace tw32 {
namespace {

struct ThreadQueue {
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
};

std::map<std::thread::id, ThreadQueue> gQueues;   // guarded by stateLock()
std::condition_variable gPosted;
POINT gMouse{0, 0};                               // last pointer position, desktop coordinates

// Application activation over all our windows: focus moving between two of our windows (one per
// monitor) is no deactivation. A loss is reported only when no window of ours regains the focus
// within kDeactivateGraceMs, since X11 delivers the two halves of a switch separately.
constexpr uint64_t kDeactivateGraceMs = 200;
HWND gFocused = nullptr;
bool gAppActive = false;
uint64_t gFocusLostAt = 0;

constexpr WPARAM kMkLButton = 0x0001, kMkRButton = 0x0002, kMkShift = 0x0004,
                 kMkControl = 0x0008, kMkMButton = 0x0010;

ThreadQueue& queueOf(std::thread::id thread) { return gQueues[thread]; }

bool inRange(UINT message, UINT low, UINT high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

Window* windowForSdlId(uint32_t id) {
  for (HWND h : allWindows())
    if (Window* w = findWindow(h); w && w->sdlId == id && !w->destroying) return w;
  return nullptr;
}

void post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG msg{};
  msg.hwnd = hwnd;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  postToQueue(msg);
}

WPARAM mouseKeyFlags(uint32_t buttons) {
  WPARAM flags = 0;
  if (buttons & SDL_BUTTON_LMASK) flags |= kMkLButton;
  if (buttons & SDL_BUTTON_RMASK) flags |= kMkRButton;
  if (buttons & SDL_BUTTON_MMASK) flags |= kMkMButton;
  SDL_Keymod mods = SDL_GetModState();
  if (mods & KMOD_SHIFT) flags |= kMkShift;
  if (mods & KMOD_CTRL) flags |= kMkControl;
  return flags;
}

// Windows virtual-key code of an SDL key; 0xFF ("no mapping") for keys without one, so every key
// still arrives as a key message.
WPARAM virtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + (key - SDLK_F1);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return 0x61 + (key - SDLK_KP_1);
  switch (key) {
    case SDLK_KP_0: return 0x60;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_PRINTSCREEN: return 0x2C;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_LGUI: return 0x5B;
    case SDLK_RGUI: return 0x5C;
    case SDLK_KP_MULTIPLY: return 0x6A;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_KP_PERIOD: return 0x6E;
    case SDLK_KP_DIVIDE: return 0x6F;
    default: return 0xFF;
  }
}

void translateKey(const SDL_KeyboardEvent& e) {
  Window* w = windowForSdlId(e.windowID);
  if (!w || w->inputFromHost) return;
  bool down = e.type == SDL_KEYDOWN;
  bool alt = (e.keysym.mod & KMOD_ALT) != 0 || e.keysym.sym == SDLK_LALT || e.keysym.sym == SDLK_RALT;
  // As on Windows, keys with Alt held and F10 are system keys (DefWindowProcA turns Alt+F4 and
  // Alt+Tab into system commands).
  bool system = alt || e.keysym.sym == SDLK_F10;
  UINT message = system ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
  LPARAM lParam = 1 | (static_cast<LPARAM>(e.keysym.scancode & 0xFF) << 16);
  if (alt) lParam |= LPARAM(1) << 29;
  if (e.repeat || !down) lParam |= LPARAM(1) << 30;
  if (!down) lParam |= LPARAM(1) << 31;
  post(w->handle, message, virtualKey(e.keysym.sym), lParam);
}

void translateMouse(uint32_t windowId, UINT message, int x, int y, uint32_t buttons) {
  Window* w = windowForSdlId(windowId);
  if (!w || w->inputFromHost) return;
  gMouse = {w->windowRect.left + x, w->windowRect.top + y};
  // WM_SETCURSOR comes before every mouse message, as on Windows.
  post(w->handle, WM_SETCURSOR, reinterpret_cast<WPARAM>(w->handle), MAKELPARAM(kHitClient, message));
  post(w->handle, message, mouseKeyFlags(buttons), MAKELPARAM(x, y));
}

void translateButton(const SDL_MouseButtonEvent& e) {
  bool down = e.type == SDL_MOUSEBUTTONDOWN;
  UINT message;
  switch (e.button) {
    case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    case SDL_BUTTON_MIDDLE: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    default: return;
  }
  translateMouse(e.windowID, message, e.x, e.y, SDL_GetMouseState(nullptr, nullptr));
}

void windowResized(Window& w, int width, int height) {
  if (w.clientWidth == width && w.clientHeight == height) return;
  int dw = width - w.clientWidth, dh = height - w.clientHeight;
  w.clientWidth = width;
  w.clientHeight = height;
  w.windowRect.right += dw;
  w.windowRect.bottom += dh;
  post(w.handle, WM_SIZE, 0, MAKELPARAM(width, height));
}

void windowMoved(Window& w, int sdlX, int sdlY) {
  if (w.foreignParent) return;
  POINT origin = desktopOrigin();
  // SDL reports the client's position; keep the outer rectangle around it.
  int frameLeft = 0, frameTop = 0;
  if ((w.style & WS_CAPTION) == WS_CAPTION) frameLeft = kFrameSide, frameTop = kFrameSide + kFrameCaption;
  int left = sdlX - origin.x - frameLeft, top = sdlY - origin.y - frameTop;
  int dx = left - w.windowRect.left, dy = top - w.windowRect.top;
  w.windowRect.left += dx;
  w.windowRect.right += dx;
  w.windowRect.top += dy;
  w.windowRect.bottom += dy;
}

void translateWindowEvent(const SDL_WindowEvent& e) {
  Window* w = windowForSdlId(e.windowID);
  if (!w) return;
  switch (e.event) {
    case SDL_WINDOWEVENT_SHOWN:
    case SDL_WINDOWEVENT_EXPOSED: w->needsPaint = true; break;
    case SDL_WINDOWEVENT_CLOSE: post(w->handle, WM_CLOSE, 0, 0); break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: windowResized(*w, e.data1, e.data2); break;
    case SDL_WINDOWEVENT_MOVED: windowMoved(*w, e.data1, e.data2); break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
      if (!w->inputFromHost) gFocused = w->handle;
      break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
      if (gFocused == w->handle) {
        gFocused = nullptr;
        gFocusLostAt = realMs();
      }
      break;
    default: break;
  }
}

void postActivateApp(bool active) {
  for (HWND h : allWindows()) {
    Window* w = findWindow(h);
    if (w && !w->parent && !w->inputFromHost && !w->destroying)
      post(h, WM_ACTIVATEAPP, active ? 1 : 0, 0);
  }
}

void updateActivation() {
  if (gFocused && !findWindow(gFocused)) gFocused = nullptr;
  if (gFocused && !gAppActive) {
    gAppActive = true;
    postActivateApp(true);
  } else if (!gFocused && gAppActive && realMs() - gFocusLostAt >= kDeactivateGraceMs) {
    gAppActive = false;
    postActivateApp(false);
  }
}

void translate(const SDL_Event& e) {
  switch (e.type) {
    case SDL_WINDOWEVENT: translateWindowEvent(e.window); break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: translateKey(e.key); break;
    case SDL_MOUSEMOTION:
      translateMouse(e.motion.windowID, WM_MOUSEMOVE, e.motion.x, e.motion.y, e.motion.state);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: translateButton(e.button); break;
    default: break;   // SDL_QUIT included: each window's close arrives as its own WM_CLOSE
  }
}

bool takeMessage(MSG* msg, HWND filter, UINT low, UINT high, bool remove) {
  pumpSdlEvents();
  auto self = std::this_thread::get_id();
  {
    std::lock_guard lock(stateLock());
    ThreadQueue& q = queueOf(self);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
      if (!inRange(it->message, low, high) || !windowPassesFilter(it->hwnd, filter)) continue;
      *msg = *it;
      if (remove) q.posted.erase(it);
      return true;
    }
    if (q.quit) {
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = static_cast<WPARAM>(q.quitCode);
      msg->time = timeGetTime();
      msg->pt = gMouse;
      if (remove) q.quit = false;
      return true;
    }
  }
  if (inRange(WM_PAINT, low, high)) {
    for (HWND h : allWindows()) {
      Window* w = findWindow(h);
      if (!w || w->thread != self || !w->needsPaint || !w->visible || w->destroying) continue;
      if (!windowPassesFilter(h, filter)) continue;
      *msg = MSG{h, WM_PAINT, 0, 0, timeGetTime(), gMouse};
      if (remove) w->needsPaint = false;
      return true;
    }
  }
  if (inRange(WM_TIMER, low, high) && takeDueTimer(msg, filter, remove)) {
    msg->pt = gMouse;
    return true;
  }
  return false;
}

// Waits up to `ms` for something to arrive: SDL events on SDL's thread, posts elsewhere.
void waitForInput(uint32_t ms) {
  if (onSdlThread()) {
    SDL_WaitEventTimeout(nullptr, static_cast<int>(ms));
    return;
  }
  std::unique_lock lock(stateLock());
  gPosted.wait_for(lock, std::chrono::milliseconds(ms));
}

}  // namespace

bool windowPassesFilter(HWND msgWindow, HWND filter) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(intptr_t(-1))) return msgWindow == nullptr;
  // A window filter also takes the messages of the window's children.
  for (HWND h = msgWindow; h;) {
    if (h == filter) return true;
    Window* w = findWindow(h);
    h = w ? w->parent : nullptr;
  }
  return false;
}

void postToQueue(const MSG& original) {
  MSG msg = original;
  msg.time = timeGetTime();
  msg.pt = gMouse;
  std::lock_guard lock(stateLock());
  std::thread::id thread = std::this_thread::get_id();
  if (msg.hwnd) {
    if (Window* w = findWindow(msg.hwnd)) thread = w->thread;
  }
  queueOf(thread).posted.push_back(msg);
  gPosted.notify_all();
}

void purgeWindowMessages(HWND window) {
  std::lock_guard lock(stateLock());
  for (auto& [thread, q] : gQueues)
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(),
                                  [&](const MSG& m) { return m.hwnd == window; }),
                   q.posted.end());
  if (gFocused == window) gFocused = nullptr;
}

void pumpSdlEvents() {
  if (!onSdlThread()) return;
  SDL_PumpEvents();
  SDL_Event e;
  while (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) translate(e);
  pumpForeignEvents();
  updateActivation();
}

}  // namespace tw32

using namespace tw32;

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  if (!msg) return FALSE;
  return takeMessage(msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0);
}

// Returns 1 for a message, 0 for WM_QUIT (or a termination request), -1 for a window filter that
// is not (or no longer) a window of ours.
BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) return -1;
  constexpr uint32_t kSliceMs = 10;
  bool filtered = window && window != reinterpret_cast<HWND>(intptr_t(-1));
  for (;;) {
    if (terminationRequested()) {
      *msg = MSG{nullptr, WM_QUIT, 0, 0, timeGetTime(), gMouse};
      return 0;
    }
    if (filtered && !IsWindow(window)) return -1;
    if (takeMessage(msg, window, filterMin, filterMax, true)) return msg->message == WM_QUIT ? 0 : 1;
    waitForInput(std::clamp<uint32_t>(msUntilNextTimer(), 1, kSliceMs));
  }
}

// Posts WM_CHAR for a key that types a character.
BOOL WINAPI TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  WPARAM vk = msg->wParam;
  bool shift = SDL_WasInit(SDL_INIT_VIDEO) && (SDL_GetModState() & KMOD_SHIFT);
  WPARAM ch = 0;
  if (vk >= 'A' && vk <= 'Z') ch = shift ? vk : vk - 'A' + 'a';
  else if (vk >= '0' && vk <= '9') ch = vk;
  else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB) ch = vk;
  if (!ch) return FALSE;
  post(msg->hwnd, WM_CHAR, ch, msg->lParam);
  return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    // Only a callback of a live timer is called, never an arbitrary lParam of a posted message.
    auto callback = reinterpret_cast<TIMERPROC>(msg->lParam);
    if (isLiveTimerProc(msg->hwnd, msg->wParam, callback))
      callback(msg->hwnd, WM_TIMER, msg->wParam, timeGetTime());
    return 0;
  }
  Window* w = findWindow(msg->hwnd);
  if (!w || !w->proc) return 0;
  return w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window) {
    std::lock_guard lock(stateLock());
    if (!findWindow(window)) return FALSE;
  }
  post(window, message, wParam, lParam);
  return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
  std::lock_guard lock(stateLock());
  ThreadQueue& q = queueOf(std::this_thread::get_id());
  q.quit = true;
  q.quitCode = exitCode;
  gPosted.notify_all();
}

// Calls the window's procedure at once (windows live on one thread here).
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = findWindow(window);
  if (!w || !w->proc) return 0;
  return w->proc(window, message, wParam, lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_PAINT:
      if (Window* w = findWindow(window)) w->needsPaint = false;
      return 0;
    case WM_ERASEBKGND: return 1;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == kHitClient) {
        Window* w = findWindow(window);
        if (w && w->classCursor) {
          SetCursor(w->classCursor);
          return TRUE;
        }
      }
      return FALSE;
    case WM_SYSKEYDOWN:
      if ((lParam & (LPARAM(1) << 29)) && wParam == VK_F4)
        SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      else if ((lParam & (LPARAM(1) << 29)) && wParam == VK_TAB)
        SendMessageA(window, WM_SYSCOMMAND, SC_NEXTWINDOW, 0);
      return 0;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(window, WM_CLOSE, 0, 0);
      return 0;
    default: return 0;
  }
}
