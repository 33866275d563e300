// foreign_window.cpp — windows inside an X11 window we do not own (the preview host of "/p",
// XScreenSaver's window): an X11 child window of ours with a visual fit for OpenGL, wrapped by
// SDL. Everything fails cleanly (no window, a message on stderr) when the handle is not a live
// X11 window or SDL does not run on X11; nothing here ever waits for the host.
#include <SDL.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <epoxy/glx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32_internal.h"

namespace tw32 {
namespace {

Display* gDisplay = nullptr;
bool gDisplayTried = false;
bool gXError = false;

int trapError(Display*, XErrorEvent*) {
  gXError = true;
  return 0;
}

// Once we draw inside a window of someone else's, that window (and ours in it) can vanish at
// any moment, and SDL's next request on it fails with BadWindow or BadDrawable. Xlib's default
// handler would end the process for that; those errors are dropped, every other one goes on to
// the handler that was there before.
XErrorHandler gPreviousHandler = nullptr;
int tolerateVanishedWindows(Display* d, XErrorEvent* error) {
  if (error->error_code == BadWindow || error->error_code == BadDrawable) return 0;
  return gPreviousHandler ? gPreviousHandler(d, error) : 0;
}
void installTolerantHandler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  gPreviousHandler = XSetErrorHandler(tolerateVanishedWindows);
}

// Our own connection to the X server named by $DISPLAY (SDL keeps its own).
Display* display() {
  if (!gDisplayTried) {
    gDisplayTried = true;
    if (std::getenv("DISPLAY")) gDisplay = XOpenDisplay(nullptr);
  }
  return gDisplay;
}

// Runs `call` with X errors caught; false when the server reported one.
template <typename Call>
bool withErrorsTrapped(Display* d, Call call) {
  XSync(d, False);
  gXError = false;
  auto previous = XSetErrorHandler(trapError);
  bool ok = call();
  XSync(d, False);
  XSetErrorHandler(previous);
  return ok && !gXError;
}

bool windowAttributes(Display* d, unsigned long id, XWindowAttributes* attributes) {
  if (id == 0 || id > 0x1FFFFFFF) return false;   // X resource ids keep the top three bits clear
  return withErrorsTrapped(d, [&] { return XGetWindowAttributes(d, id, attributes) != 0; });
}

// The GL attributes the Direct3D stand-in asked SDL for, as a GLX visual request.
XVisualInfo* chooseGlVisual(Display* d, int screen) {
  int r = 8, g = 8, b = 8, depth = 24, stencil = 8, doubleBuffer = 1;
  SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &r);
  SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &g);
  SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &b);
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  SDL_GL_GetAttribute(SDL_GL_STENCIL_SIZE, &stencil);
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
  int attributes[] = {GLX_RGBA, GLX_RED_SIZE, r, GLX_GREEN_SIZE, g, GLX_BLUE_SIZE, b,
                      GLX_DEPTH_SIZE, depth, GLX_STENCIL_SIZE, stencil,
                      doubleBuffer ? GLX_DOUBLEBUFFER : 0, 0};
  return glXChooseVisual(d, screen, attributes);
}

}  // namespace

bool foreignWindowSize(unsigned long id, int* width, int* height) {
  Display* d = display();
  XWindowAttributes attributes;
  if (!d || !windowAttributes(d, id, &attributes)) return false;
  *width = attributes.width;
  *height = attributes.height;
  return true;
}

bool createForeignChild(Window& window, unsigned long parent, int x, int y, int width, int height,
                        bool visible) {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) {
    std::fprintf(stderr, "tarnwick3d: cannot draw into window 0x%lx: no X11 display\n", parent);
    return false;
  }
  Display* d = display();
  XWindowAttributes parentAttributes;
  if (!d || !windowAttributes(d, parent, &parentAttributes)) {
    std::fprintf(stderr, "tarnwick3d: 0x%lx is not a window on this display\n", parent);
    return false;
  }
  int screen = XScreenNumberOfScreen(parentAttributes.screen);
  XVisualInfo* info = chooseGlVisual(d, screen);
  Visual* visual = info ? info->visual : parentAttributes.visual;
  int depth = info ? info->depth : parentAttributes.depth;
  if (info) XFree(info);

  XSetWindowAttributes set{};
  set.colormap = XCreateColormap(d, parent, visual, AllocNone);
  set.background_pixel = BlackPixel(d, screen);
  set.border_pixel = 0;
  set.event_mask = ExposureMask | StructureNotifyMask;
  ::Window child = 0;
  bool made = withErrorsTrapped(d, [&] {
    child = XCreateWindow(d, parent, x, y, static_cast<unsigned>(width > 0 ? width : 1),
                          static_cast<unsigned>(height > 0 ? height : 1), 0, depth, InputOutput,
                          visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &set);
    if (child && visible) XMapWindow(d, child);
    return child != 0;
  });
  if (!made) {
    if (child) XDestroyWindow(d, child);
    XFreeColormap(d, set.colormap);
    XSync(d, False);
    std::fprintf(stderr, "tarnwick3d: cannot make a window inside 0x%lx\n", parent);
    return false;
  }
  installTolerantHandler();
  SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
  window.sdl = SDL_CreateWindowFrom(reinterpret_cast<void*>(child));
  if (!window.sdl) {
    std::fprintf(stderr, "tarnwick3d: SDL cannot use window 0x%lx: %s\n", child, SDL_GetError());
    XDestroyWindow(d, child);
    XFreeColormap(d, set.colormap);
    XSync(d, False);
    return false;
  }
  window.sdlId = SDL_GetWindowID(window.sdl);
  window.xWindow = child;
  window.xColormap = set.colormap;
  return true;
}

void pumpForeignEvents() {
  if (!gDisplay) return;
  while (XPending(gDisplay) > 0) {
    XEvent event;
    XNextEvent(gDisplay, &event);
    if (event.type != Expose && event.type != DestroyNotify) continue;
    ::Window id = event.type == Expose ? event.xexpose.window : event.xdestroywindow.window;
    for (HWND h : allWindows()) {
      Window* w = findWindow(h);
      if (!w || w->xWindow != id) continue;
      if (event.type == Expose) {
        w->needsPaint = true;
      } else {
        // The host destroyed its window and ours with it: the window ends as on Windows, with
        // WM_DESTROY, and nothing is left to free on the server.
        w->xWindow = 0;
        DestroyWindow(h);
      }
    }
  }
}

void destroyForeignChild(Window& window) {
  if (window.sdl) SDL_DestroyWindow(window.sdl);
  window.sdl = nullptr;
  Display* d = display();
  if (!d) return;
  if (!window.xWindow) {
    XFreeColormap(d, window.xColormap);
    window.xColormap = 0;
    return;
  }
  // The host may have destroyed its window (and ours with it) already.
  withErrorsTrapped(d, [&] {
    XDestroyWindow(d, window.xWindow);
    return true;
  });
  XFreeColormap(d, window.xColormap);
  XSync(d, False);
  window.xWindow = 0;
  window.xColormap = 0;
}

}  // namespace tw32
