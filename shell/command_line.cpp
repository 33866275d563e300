// command_line.cpp — the screensaver switch and the window number that may follow it.
#include "shell/command_line.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Skips every non-digit after the switch letter and reads the decimal number found there.
// Returns false when the text ends first. The value wraps like the unsigned number it is.
bool readWindowNumber(const char* p, uintptr_t* window) {
  while (*p && !isDigit(*p)) ++p;
  if (!*p) return false;
  uintptr_t value = 0;
  while (isDigit(*p)) value = value * 10 + static_cast<uintptr_t>(*p++ - '0');
  *window = value;
  return true;
}

}  // namespace

RunMode parseSaverSwitch(const char* text, uintptr_t* window) {
  *window = 0;
  if (!text) return config;
  const char* p = text;
  // The program name: quoted as a whole, or up to and past its first space.
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ') ++p;
    if (*p == ' ') ++p;
  }
  while (*p && *p != '/' && *p != '-') ++p;
  if (!*p) return config;
  const char letter = p[1];
  const char* rest = letter ? p + 2 : p + 1;
  switch (letter) {
    case 'A': case 'a':
      readWindowNumber(rest, window);
      return passwordChange;
    case 'C': case 'c':
      if (!readWindowNumber(rest, window)) *window = 0;
      return config;
    case 'P': case 'p':
      readWindowNumber(rest, window);
      return preview;
    case 'T': case 't':
      return test;
    default:
      return full;
  }
}
