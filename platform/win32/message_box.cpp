// message_box.cpp — MessageBoxA (stderr always, a real box when a display exists) and
// InitCommonControls.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/win32/win32_internal.h"
#include "platform/win32/window_access.h"

namespace {

constexpr UINT kButtonMask = 0x0000000F;
constexpr UINT kIconMask = 0x000000F0;

// A box is shown only on a real display: not under CI, not on the offscreen or dummy driver, and
// only when an X11 or Wayland display is there to show it on.
bool canShowBox() {
  const char* ci = std::getenv("CI");
  if (ci && std::strcmp(ci, "true") == 0) return false;
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
  if (tw32::headlessVideo()) return false;
  return tw32::ensureVideo() && !tw32::headlessVideo();
}

Uint32 iconFlag(UINT type) {
  switch (type & kIconMask) {
    case MB_ICONERROR: return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING: return SDL_MESSAGEBOX_WARNING;
    default: return SDL_MESSAGEBOX_INFORMATION;
  }
}

// The answer when nobody could be asked: the box was never seen, so nothing was agreed to —
// OK for a plain notice, the refusing button (Cancel, No) for a question.
int unansweredResult(UINT type) {
  switch (type & kButtonMask) {
    case MB_OKCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    default: return IDOK;
  }
}

}  // namespace

// Writes "<caption>: <text>" to stderr; shows a box with the right buttons and icon when it can.
// Returns the button pressed, or (no box) the answer above.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const char* title = caption ? caption : "Error";
  const char* body = text ? text : "";
  std::fprintf(stderr, "%s: %s\n", title, body);
  std::fflush(stderr);
  if (!canShowBox()) return unansweredResult(type);

  SDL_MessageBoxButtonData buttons[2];
  int count = 0;
  switch (type & kButtonMask) {
    case MB_OKCANCEL:
      buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDOK, "OK"};
      buttons[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"};
      break;
    case MB_YESNO:
      buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"};
      buttons[count++] = {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"};
      break;
    default:
      buttons[count++] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                          IDOK, "OK"};
      break;
  }
  SDL_MessageBoxData data{};
  data.flags = iconFlag(type);
  // A topmost full-screen owner would hide a box made for it; such boxes stand alone.
  tw32::Window* w = tw32::findWindow(owner);
  data.window = (w && !(w->exStyle & WS_EX_TOPMOST)) ? sdlWindowForHandle(owner) : nullptr;
  data.title = title;
  data.message = body;
  data.numbuttons = count;
  data.buttons = buttons;
  int pressed = -1;
  if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0) return unansweredResult(type);
  return pressed;
}

// Nothing to set up on Linux: the dialog's controls are GTK widgets, ready without registration.
void WINAPI InitCommonControls() {}
