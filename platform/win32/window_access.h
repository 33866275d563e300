// window_access.h — platform-internal: what the Direct3D stand-in needs to know about our
// windows. Not for program code.
#pragma once

#include "platform/win32/windows.h"

struct SDL_Window;

// The SDL window (created with SDL_WINDOW_OPENGL) behind one of our windows; null when the
// handle is not a live window of this process.
SDL_Window* sdlWindowForHandle(HWND window);
