// window.cpp — window classes and windows on SDL2: creation, destruction, geometry, visibility.
//
// Every window of ours is an SDL window made with SDL_WINDOW_OPENGL (the Direct3D stand-in
// makes its context on it). Top-level popups are borderless; captioned windows get a fixed frame
// (AdjustWindowRect) so the client area is the size the caller computed. A WS_CHILD of a foreign
// X11 window is an X11 child window of ours wrapped by SDL (foreign_window.cpp); a WS_CHILD of
// one of our windows is a borderless window kept over the parent's client area.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "platform/runtime.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/window_access.h"

namespace tw32 {
namespace {

std::map<std::string, WindowClass> gClasses;
ATOM gNextAtom = 0xC000;
// Live windows in creation order. Handles are never reused; they start above the range of X11
// resource ids (top three bits clear) so a number from the command line is never mistaken.
std::vector<std::unique_ptr<Window>> gWindows;
uintptr_t gNextHandle = 0x60000010;
std::thread::id gSdlThread;

std::string lowercase(const char* text) {
  std::string s = text ? text : "";
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const WindowClass* classByName(LPCSTR name) {
  if (!name) return nullptr;
  if (IS_INTRESOURCE(name)) {
    ATOM atom = LOWORD(name);
    for (auto& [key, cls] : gClasses)
      if (cls.atom == atom) return &cls;
    return nullptr;
  }
  auto it = gClasses.find(lowercase(name));   // class names ignore letter case, as on Windows
  return it == gClasses.end() ? nullptr : &it->second;
}

bool captioned(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

// Client rectangle inside an outer rectangle of the given style.
void clientFromOuter(DWORD style, const RECT& outer, RECT* client) {
  *client = outer;
  if (captioned(style)) {
    client->left += kFrameSide;
    client->right -= kFrameSide;
    client->top += kFrameSide + kFrameCaption;
    client->bottom -= kFrameSide;
  }
}

void placeSdlWindow(Window& w) {
  if (!w.sdl || w.foreignParent) return;
  RECT client;
  clientFromOuter(w.style, w.windowRect, &client);
  POINT origin = desktopOrigin();
  SDL_SetWindowPosition(w.sdl, client.left + origin.x, client.top + origin.y);
  SDL_SetWindowSize(w.sdl, std::max(1, w.clientWidth), std::max(1, w.clientHeight));
}

// Moves our own children (kept in desktop coordinates) along with their parent.
void moveChildren(const Window& parent, int dx, int dy) {
  if (dx == 0 && dy == 0) return;
  for (auto& child : gWindows) {
    if (child->parent != parent.handle || child->destroying) continue;
    child->windowRect.left += dx;
    child->windowRect.right += dx;
    child->windowRect.top += dy;
    child->windowRect.bottom += dy;
    placeSdlWindow(*child);
    moveChildren(*child, dx, dy);
  }
}

Uint32 sdlFlagsFor(DWORD style, DWORD exStyle) {
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  if (!captioned(style)) flags |= SDL_WINDOW_BORDERLESS;
  if (style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
  if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  if (exStyle & WS_EX_TOOLWINDOW) flags |= SDL_WINDOW_SKIP_TASKBAR;
  if (style & WS_CHILD) flags |= SDL_WINDOW_SKIP_TASKBAR;
  return flags;
}

// A borderless topmost popup that exactly covers a real display goes full screen on it, so
// panels and docks of the desktop do not stay on top of the saver.
bool coversDisplay(const Window& w, int* display) {
  if (headlessVideo() || !(w.style & WS_POPUP) || !(w.exStyle & WS_EX_TOPMOST)) return false;
  if (std::getenv("TARNWICK_FAKE_DISPLAYS")) return false;
  POINT origin = desktopOrigin();
  for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
    SDL_Rect b;
    if (SDL_GetDisplayBounds(i, &b) != 0) continue;
    if (b.x - origin.x == w.windowRect.left && b.y - origin.y == w.windowRect.top &&
        b.w == w.clientWidth && b.h == w.clientHeight) {
      *display = i;
      return true;
    }
  }
  return false;
}

bool createSdlWindow(Window& w) {
  if (!ensureVideo()) return false;
  RECT client;
  clientFromOuter(w.style, w.windowRect, &client);
  POINT origin = desktopOrigin();
  int x = client.left + origin.x, y = client.top + origin.y;
  if (w.windowRect.left == CW_USEDEFAULT) x = y = SDL_WINDOWPOS_UNDEFINED;
  w.sdl = SDL_CreateWindow(w.title.c_str(), x, y, std::max(1, w.clientWidth),
                           std::max(1, w.clientHeight), sdlFlagsFor(w.style, w.exStyle));
  if (!w.sdl) {
    std::fprintf(stderr, "tarnwick3d: cannot create a window: %s\n", SDL_GetError());
    return false;
  }
  w.sdlId = SDL_GetWindowID(w.sdl);
  int display;
  if (coversDisplay(w, &display)) SDL_SetWindowFullscreen(w.sdl, SDL_WINDOW_FULLSCREEN_DESKTOP);
  return true;
}

void releaseSdlWindow(Window& w) {
  if (w.foreignParent) {
    destroyForeignChild(w);
  } else if (w.sdl) {
    SDL_DestroyWindow(w.sdl);
  }
  w.sdl = nullptr;
}

void eraseWindow(HWND handle) {
  std::lock_guard lock(stateLock());
  auto it = std::find_if(gWindows.begin(), gWindows.end(),
                         [&](auto& w) { return w->handle == handle; });
  if (it != gWindows.end()) gWindows.erase(it);
}

void showNow(Window& w, bool show) {
  if (w.visible == show) return;
  w.visible = show;
  if (show) w.needsPaint = true;
  if (!w.sdl) return;
  if (show)
    SDL_ShowWindow(w.sdl);
  else
    SDL_HideWindow(w.sdl);
}

}  // namespace

std::mutex& stateLock() {
  static std::mutex lock;
  return lock;
}

Window* findWindow(HWND handle) {
  if (!handle) return nullptr;
  for (auto& w : gWindows)
    if (w->handle == handle) return w.get();
  return nullptr;
}

std::vector<HWND> allWindows() {
  std::lock_guard lock(stateLock());
  std::vector<HWND> handles;
  for (auto& w : gWindows) handles.push_back(w->handle);
  return handles;
}

bool ensureVideo() {
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    // Someone else (the Direct3D stand-in, a test) may have started it on this thread.
    if (gSdlThread == std::thread::id{}) gSdlThread = std::this_thread::get_id();
    return true;
  }
  static bool reported = false;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Several full-screen windows (one per monitor) must not minimise each other on focus changes;
  // a click on an unfocused saver window must still reach it.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // We are the screensaver: SDL must not inhibit the desktop's screen saving (it does by default).
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  // Painted windows (the preview picture) use the driver's own framebuffer, never a renderer
  // that would put a second GL context on the window.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (!reported)
      std::fprintf(stderr, "tarnwick3d: no video driver could start: %s\n", SDL_GetError());
    reported = true;
    return false;
  }
  gSdlThread = std::this_thread::get_id();
  // Keep the GL library loaded for the whole run: windows come and go (the preview, one per
  // monitor), and a library unloaded between them would be loaded again each time.
  SDL_GL_LoadLibrary(nullptr);
  return true;
}

static bool ensureVideoStarted() { return SDL_WasInit(SDL_INIT_VIDEO) && ensureVideo(); }

bool onSdlThread() {
  return ensureVideoStarted() && gSdlThread == std::this_thread::get_id();
}

bool headlessVideo() {
  const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
  if (!driver) {
    const char* wanted = std::getenv("SDL_VIDEODRIVER");
    driver = wanted ? wanted : "";
  }
  return std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0 ||
         std::strcmp(driver, "evdev") == 0;
}

POINT desktopOrigin() {
  SDL_Rect b{};
  if (ensureVideo() && SDL_GetDisplayBounds(0, &b) == 0) return {b.x, b.y};
  return {0, 0};
}

}  // namespace tw32

using namespace tw32;

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
  if (!windowClass || !windowClass->lpszClassName || IS_INTRESOURCE(windowClass->lpszClassName) ||
      !windowClass->lpfnWndProc)
    return 0;
  std::string key = lowercase(windowClass->lpszClassName);
  if (gClasses.count(key)) return 0;   // already registered, as on Windows
  WindowClass& cls = gClasses[key];
  cls.name = windowClass->lpszClassName;
  cls.atom = gNextAtom++;
  cls.info = *windowClass;
  cls.info.lpszClassName = cls.name.c_str();
  cls.info.lpszMenuName = nullptr;
  return cls.atom;
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
  const WindowClass* cls = classByName(className);
  if (!cls) return nullptr;
  Window* ourParent = findWindow(parent);
  bool child = (style & WS_CHILD) != 0;
  if (child && !parent) return nullptr;   // a child needs a parent

  unsigned long foreign = 0;
  if (child && !ourParent) foreign = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent));
  // Under a host (XScreenSaver) the top-level popup goes inside the host's window.
  if (!child && (style & WS_POPUP) && runtimeOptions().hostWindow) {
    foreign = runtimeOptions().hostWindow;
  }

  auto w = std::make_unique<Window>();
  w->className = cls->name;
  w->title = windowName ? windowName : "";
  w->proc = cls->info.lpfnWndProc;
  w->classCursor = cls->info.hCursor;
  w->style = style;
  w->exStyle = exStyle;
  w->thread = std::this_thread::get_id();
  if (ourParent && child) w->parent = parent;
  if (!child && ourParent) w->owner = parent;
  if (width == CW_USEDEFAULT) width = 640, height = 480;
  if (x == CW_USEDEFAULT) y = 0;
  w->windowRect = {x, y, x + width, y + height};
  if (ourParent && child) {
    // Child coordinates are relative to the parent's client area.
    RECT pc;
    clientFromOuter(ourParent->style, ourParent->windowRect, &pc);
    w->windowRect = {pc.left + x, pc.top + y, pc.left + x + width, pc.top + y + height};
  }
  RECT client;
  clientFromOuter(style, w->windowRect, &client);
  w->clientWidth = std::max<LONG>(0, client.right - client.left);
  w->clientHeight = std::max<LONG>(0, client.bottom - client.top);

  if (foreign) {
    if (!ensureVideo() || !createForeignChild(*w, foreign, x, y, width, height, (style & WS_VISIBLE) != 0)) return nullptr;
    w->foreignParent = foreign;
    w->inputFromHost = true;
    w->windowRect = {x, y, x + width, y + height};
    w->clientWidth = std::max(0, width);
    w->clientHeight = std::max(0, height);
  } else if (!createSdlWindow(*w)) {
    return nullptr;
  }
  applyWindowIcon(*w, cls->info.hIcon);

  w->handle = reinterpret_cast<HWND>(gNextHandle);
  gNextHandle += 0x10;
  HWND handle = w->handle;
  Window* raw = w.get();
  {
    std::lock_guard lock(stateLock());
    gWindows.push_back(std::move(w));
  }

  CREATESTRUCTA cs{};
  cs.lpCreateParams = param;
  cs.hInstance = instance;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.x = x;
  cs.y = y;
  cs.cx = width;
  cs.cy = height;
  cs.style = static_cast<LONG>(style);
  cs.lpszName = raw->title.c_str();
  cs.lpszClass = raw->className.c_str();
  cs.dwExStyle = exStyle;
  LPARAM csParam = reinterpret_cast<LPARAM>(&cs);
  if (!SendMessageA(handle, WM_NCCREATE, 0, csParam)) {
    releaseSdlWindow(*raw);
    eraseWindow(handle);
    return nullptr;
  }
  if (SendMessageA(handle, WM_CREATE, 0, csParam) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  raw = findWindow(handle);
  if (!raw) return nullptr;   // the procedure destroyed it while being created
  if (!raw->parent && !raw->foreignParent) registerTopLevel(*raw);
  if (style & WS_VISIBLE) showNow(*raw, true);
  return handle;
}

BOOL WINAPI DestroyWindow(HWND handle) {
  Window* w = findWindow(handle);
  if (!w) return FALSE;
  if (w->destroying) return TRUE;
  w->destroying = true;
  // Owned windows go first, then the window itself hears WM_DESTROY, then its children.
  for (HWND other : allWindows()) {
    Window* o = findWindow(other);
    if (o && o->owner == handle) DestroyWindow(other);
  }
  SendMessageA(handle, WM_DESTROY, 0, 0);
  for (HWND other : allWindows()) {
    Window* c = findWindow(other);
    if (c && c->parent == handle) DestroyWindow(other);
  }
  w = findWindow(handle);
  if (!w) return TRUE;
  killWindowTimers(handle);
  purgeWindowMessages(handle);
  releaseWindowDc(handle);
  unregisterTopLevel(*w);
  releaseSdlWindow(*w);
  eraseWindow(handle);
  return TRUE;
}

BOOL WINAPI IsWindow(HWND handle) { return findWindow(handle) != nullptr; }

BOOL WINAPI ShowWindow(HWND handle, int command) {
  Window* w = findWindow(handle);
  if (!w) return FALSE;
  bool was = w->visible;
  showNow(*w, command != SW_HIDE);
  return was;
}

BOOL WINAPI UpdateWindow(HWND handle) {
  Window* w = findWindow(handle);
  if (!w) return FALSE;
  if (w->needsPaint && w->visible) {
    w->needsPaint = false;
    SendMessageA(handle, WM_PAINT, 0, 0);
  }
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND handle, LPRECT rect) {
  if (!rect) return FALSE;
  *rect = {0, 0, 0, 0};
  if (Window* w = findWindow(handle)) {
    rect->right = w->clientWidth;
    rect->bottom = w->clientHeight;
    return TRUE;
  }
  // A foreign X11 window (the preview host): its size from the X server.
  int width, height;
  if (handle && foreignWindowSize(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle)),
                                  &width, &height)) {
    rect->right = width;
    rect->bottom = height;
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
  Window* w = findWindow(handle);
  if (!w || !rect) return FALSE;
  *rect = w->windowRect;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL /*menu: we draw no menu bars*/) {
  if (!rect) return FALSE;
  if (captioned(style)) {
    rect->left -= kFrameSide;
    rect->right += kFrameSide;
    rect->top -= kFrameSide + kFrameCaption;
    rect->bottom += kFrameSide;
  }
  return TRUE;
}

BOOL WINAPI SetWindowPos(HWND handle, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  Window* w = findWindow(handle);
  if (!w) return FALSE;
  const RECT old = w->windowRect;
  RECT r = old;
  if (!(flags & SWP_NOMOVE)) {
    if (w->parent) {
      if (Window* p = findWindow(w->parent)) {
        RECT pc;
        clientFromOuter(p->style, p->windowRect, &pc);
        x += pc.left;
        y += pc.top;
      }
    }
    r = {x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
  }
  bool resized = false;
  if (!(flags & SWP_NOSIZE)) {
    resized = cx != r.right - r.left || cy != r.bottom - r.top;
    r.right = r.left + cx;
    r.bottom = r.top + cy;
  }
  w->windowRect = r;
  RECT client;
  clientFromOuter(w->style, r, &client);
  w->clientWidth = std::max<LONG>(0, client.right - client.left);
  w->clientHeight = std::max<LONG>(0, client.bottom - client.top);
  if (!(flags & SWP_NOZORDER) && w->sdl && !w->foreignParent) {
    if (insertAfter == HWND_TOPMOST) SDL_SetWindowAlwaysOnTop(w->sdl, SDL_TRUE);
    if (insertAfter == HWND_NOTOPMOST) SDL_SetWindowAlwaysOnTop(w->sdl, SDL_FALSE);
    if (insertAfter == HWND_TOP && w->visible && !(flags & SWP_NOACTIVATE)) SDL_RaiseWindow(w->sdl);
  }
  if (w->foreignParent) {
    if (w->sdl) {
      SDL_SetWindowPosition(w->sdl, r.left, r.top);
      SDL_SetWindowSize(w->sdl, std::max(1, w->clientWidth), std::max(1, w->clientHeight));
    }
  } else {
    placeSdlWindow(*w);
    moveChildren(*w, r.left - old.left, r.top - old.top);
  }
  if (flags & SWP_SHOWWINDOW) showNow(*w, true);
  if (resized) SendMessageA(handle, WM_SIZE, 0, MAKELPARAM(w->clientWidth, w->clientHeight));
  return TRUE;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
  // Only the running executable is a module here; its handle is any fixed non-null value.
  if (moduleName) return nullptr;
  static char self;
  return reinterpret_cast<HMODULE>(&self);
}

SDL_Window* sdlWindowForHandle(HWND handle) {
  Window* w = findWindow(handle);
  return w ? w->sdl : nullptr;
}
