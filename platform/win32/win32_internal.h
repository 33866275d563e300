// win32_internal.h — state shared by the Win32 stand-in's files: the window table, the message
// queues, timers, SDL start-up and the foreign-window (Xlib) helpers. Not for program code.
//
// Windows, timers and SDL events belong to the thread that made the windows (SDL wants its
// video calls on one thread). PostMessageA and PostQuitMessage may come from any thread: the
// queues and the window table are guarded by one mutex, never held while a procedure runs.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/windows.h"

struct SDL_Window;

namespace tw32 {

// Fixed frame of a captioned window (WS_CAPTION): what AdjustWindowRect adds around the client.
constexpr int kFrameSide = 3;
constexpr int kFrameCaption = 22;   // title bar, above the top frame edge

// Hit-test code of the client area, carried in WM_SETCURSOR's lParam.
constexpr WORD kHitClient = 1;

struct WindowClass {
  std::string name;
  ATOM atom = 0;
  WNDCLASSA info{};
};

struct Window {
  HWND handle = nullptr;
  std::string className;
  std::string title;
  WNDPROC proc = nullptr;
  HCURSOR classCursor = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND parent = nullptr;        // our parent window (WS_CHILD of one of ours)
  HWND owner = nullptr;         // owner of a popup
  unsigned long foreignParent = 0;   // X11 window we were made a child of (0: none)
  unsigned long xWindow = 0;         // the X11 child window we created inside it
  unsigned long xColormap = 0;       // its colormap
  SDL_Window* sdl = nullptr;
  uint32_t sdlId = 0;
  RECT windowRect{};            // outer rectangle, desktop coordinates
  int clientWidth = 0;
  int clientHeight = 0;
  bool visible = false;
  bool needsPaint = false;
  bool destroying = false;
  bool inputFromHost = false;   // inside a foreign window: the host owns the input
  std::thread::id thread;
  int instanceFd = -1;          // locked entry under the runtime directory (top-level only)
  std::string instancePath;
};

// ---- lock and window table (window.cpp) ----
std::mutex& stateLock();
// Live window for a handle, or null. The pointer stays valid until DestroyWindow of it; use it
// only on the window's own thread.
Window* findWindow(HWND handle);
// Snapshot of the live handles, in creation order.
std::vector<HWND> allWindows();
// Ensures SDL's video subsystem is up (no SDL signal handlers). False, with a message on stderr
// once, when no video driver can start.
bool ensureVideo();
// True on the thread that started SDL's video (the only one that may pump its events).
bool onSdlThread();
// True when SDL runs a driver that shows nothing (offscreen, dummy).
bool headlessVideo();
// Translates a window-system position (SDL) to desktop coordinates and back.
POINT desktopOrigin();

// ---- message queue (message_queue.cpp) ----
// Appends a message to the queue of the thread owning `msg.hwnd` (or of this thread).
void postToQueue(const MSG& msg);
// True when a message for `msgWindow` passes a GetMessageA / PeekMessageA window filter.
bool windowPassesFilter(HWND msgWindow, HWND filter);
// Drops queued messages addressed to a window that is going away.
void purgeWindowMessages(HWND window);
// Turns pending SDL events into queued messages (SDL's thread only).
void pumpSdlEvents();

// ---- timers (timers.cpp) ----
// Takes a due timer of this thread matching the filter as a WM_TIMER message; reschedules it when
// `remove`. Returns false when none is due.
bool takeDueTimer(MSG* msg, HWND filter, bool remove);
// Milliseconds until the next timer of this thread falls due (large when none).
uint32_t msUntilNextTimer();
void killWindowTimers(HWND window);
// True when `callback` belongs to a live timer (window, id): only those are called on dispatch.
bool isLiveTimerProc(HWND window, UINT_PTR id, TIMERPROC callback);
// Real milliseconds for timers and waits (never the virtual clock of --fixed-step).
uint64_t realMs();

// ---- instance registry (instance_registry.cpp) ----
void registerTopLevel(Window& window);
void unregisterTopLevel(Window& window);

// ---- foreign X11 windows (foreign_window.cpp) ----
// True when `id` names a live X11 window on the display; fills its size when asked.
bool foreignWindowSize(unsigned long id, int* width, int* height);
// Creates an X11 child window of `parent` with a visual fit for OpenGL and wraps it in an SDL
// window; false (nothing made) when the parent is not a window or SDL does not run on X11.
bool createForeignChild(Window& window, unsigned long parent, int x, int y, int width, int height,
                        bool visible);
void destroyForeignChild(Window& window);
// Reads our X connection: a foreign child exposed needs painting; one destroyed by its host
// (with the host's window) is destroyed here too, so its WM_DESTROY ends the run.
void pumpForeignEvents();

// ---- monitors (monitors.cpp) ----
// Desktop rectangle of the primary display (0, 0, width, height).
RECT primaryRect();

// ---- GDI (gdi.cpp) ----
void releaseWindowDc(HWND window);
// The picture of an icon from LoadIconA (0xAARRGGBB, top row first); false when it has none.
bool iconPixels(HICON icon, int* width, int* height, std::vector<uint32_t>* argb);
// Shows `icon`'s picture as the window's icon (nothing when it has no picture).
void applyWindowIcon(Window& window, HICON icon);

}  // namespace tw32
