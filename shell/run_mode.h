// run_mode.h — what the screensaver was started to do, as read from its command line.
#pragma once

#include <cstdint>

enum RunMode : int32_t {
  config = 0,          // no switch, /c [HANDLE]: the settings dialog
  preview = 1,         // /p HANDLE: a small picture inside the host's window
  full = 2,            // /s and every other switch letter: full screen on every monitor
  test = 3,            // /t: an ordinary captioned window
  passwordChange = 4,  // /a HANDLE: change the screensaver password
};
