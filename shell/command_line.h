// command_line.h — reading the screensaver switch from the process command line.
#pragma once

#include <cstdint>

#include "shell/run_mode.h"

// Parses the whole command line (program name first). Only the first '/' or '-' after the
// program name counts; the number after /a, /c or /p becomes *window (0 when none).
RunMode parseSaverSwitch(const char* text, uintptr_t* window);
