// monitors.cpp — display devices, their settings and monitor handles, from SDL's displays.
//
// Each display is one device "\\.\DISPLAYn" with one monitor "\\.\DISPLAYn\Monitor0"; the first
// display is the primary one and positions are relative to it, so the primary sits at (0, 0).
// Under a host window (XScreenSaver's -root / --window-id) the one display is that window.
//
// TARNWICK_FAKE_DISPLAYS replaces SDL's list, for tests and headless multi-monitor runs:
//   TARNWICK_FAKE_DISPLAYS="1920x1080+0+0,1280x1024+1920+0:mirror,800x600+0+0:detached"
// Each entry is WIDTHxHEIGHT+X+Y with an optional ":mirror" (a mirroring driver) or ":detached"
// (a device not attached to the desktop). A malformed value is reported once and ignored.
#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/runtime.h"
#include "platform/win32/win32_internal.h"

namespace tw32 {
namespace {

struct Display {
  RECT rect{};             // desktop coordinates
  bool mirror = false;
  bool detached = false;
  int sdlIndex = -1;       // -1 for fake and host displays
  DWORD bitsPerPixel = 32;
  DWORD frequency = 60;
  std::string monitorName;
};

bool parseFakeEntry(const std::string& text, Display* out) {
  std::string body = text;
  size_t colon = text.find(':');
  if (colon != std::string::npos) {
    std::string suffix = text.substr(colon + 1);
    body = text.substr(0, colon);
    if (suffix == "mirror") out->mirror = true;
    else if (suffix == "detached") out->detached = true;
    else return false;
  }
  long w, h, x, y;
  char sx, sy;
  int used = 0;
  if (std::sscanf(body.c_str(), "%ldx%ld%c%ld%c%ld%n", &w, &h, &sx, &x, &sy, &y, &used) != 6 ||
      used != static_cast<int>(body.size()))
    return false;
  if ((sx != '+' && sx != '-') || (sy != '+' && sy != '-')) return false;
  if (sx == '-') x = -x;   // "-100" and "+-100" both place the display at -100
  if (sy == '-') y = -y;
  constexpr long kLimit = 1 << 16;
  if (w <= 0 || h <= 0 || w > kLimit || h > kLimit || std::labs(x) > kLimit || std::labs(y) > kLimit)
    return false;
  out->rect = {static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + w), static_cast<LONG>(y + h)};
  return true;
}

bool fakeDisplays(std::vector<Display>* out) {
  const char* env = std::getenv("TARNWICK_FAKE_DISPLAYS");
  if (!env) return false;
  std::vector<Display> list;
  std::string all = env;
  size_t start = 0;
  while (start <= all.size()) {
    size_t comma = all.find(',', start);
    std::string item = all.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    Display d;
    d.monitorName = "Fake monitor " + std::to_string(list.size() + 1);
    if (!parseFakeEntry(item, &d)) {
      static bool reported = false;
      if (!reported)
        std::fprintf(stderr, "tarnwick3d: ignoring TARNWICK_FAKE_DISPLAYS: bad entry \"%s\"\n", item.c_str());
      reported = true;
      return false;
    }
    list.push_back(d);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (list.empty() || list.size() > 16) return false;
  *out = std::move(list);
  return true;
}

void sdlDisplays(std::vector<Display>* out) {
  if (!ensureVideo()) return;
  int count = SDL_GetNumVideoDisplays();
  for (int i = 0; i < count; ++i) {
    SDL_Rect b;
    if (SDL_GetDisplayBounds(i, &b) != 0) continue;
    Display d;
    d.rect = {b.x, b.y, b.x + b.w, b.y + b.h};
    d.sdlIndex = i;
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(i, &mode) == 0) {
      if (mode.refresh_rate > 0) d.frequency = static_cast<DWORD>(mode.refresh_rate);
      d.bitsPerPixel = SDL_BITSPERPIXEL(mode.format) > 16 ? 32 : 16;
    }
    const char* name = SDL_GetDisplayName(i);
    d.monitorName = name && *name ? name : "Monitor " + std::to_string(i + 1);
    out->push_back(d);
  }
}

std::vector<Display> displays() {
  std::vector<Display> list;
  if (!fakeDisplays(&list)) {
    int w, h;
    unsigned long host = runtimeOptions().hostWindow;
    if (host && foreignWindowSize(host, &w, &h)) {
      Display d;
      d.rect = {0, 0, w, h};
      d.monitorName = "Host window";
      list.push_back(d);
    } else {
      sdlDisplays(&list);
    }
  }
  // Positions relative to the primary (the first display), which then sits at (0, 0).
  if (!list.empty()) {
    LONG ox = list[0].rect.left, oy = list[0].rect.top;
    for (Display& d : list) {
      d.rect.left -= ox;
      d.rect.right -= ox;
      d.rect.top -= oy;
      d.rect.bottom -= oy;
    }
  }
  return list;
}

std::string deviceName(size_t index) { return "\\\\.\\DISPLAY" + std::to_string(index + 1); }

// Index of the device named `name` (case ignored), or -1.
int deviceIndex(const std::vector<Display>& list, LPCSTR name) {
  if (!name) return list.empty() ? -1 : 0;
  for (size_t i = 0; i < list.size(); ++i)
    if (strcasecmp(deviceName(i).c_str(), name) == 0) return static_cast<int>(i);
  return -1;
}

template <size_t N>
void copyText(CHAR (&out)[N], const std::string& text) {
  std::snprintf(out, N, "%s", text.c_str());
}

bool onDesktop(const Display& d) { return !d.mirror && !d.detached; }

long long overlap(const RECT& a, const RECT& b) {
  long long w = std::min<long long>(a.right, b.right) - std::max<long long>(a.left, b.left);
  long long h = std::min<long long>(a.bottom, b.bottom) - std::max<long long>(a.top, b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// Squared distance between two rectangles (0 when they touch or overlap).
long long distance(const RECT& a, const RECT& b) {
  long long dx = std::max<long long>({0, b.left - a.right, a.left - b.right});
  long long dy = std::max<long long>({0, b.top - a.bottom, a.top - b.bottom});
  return dx * dx + dy * dy;
}

HMONITOR monitorHandle(size_t index) { return reinterpret_cast<HMONITOR>(uintptr_t(0x4D000000) + index + 1); }

}  // namespace

RECT primaryRect() {
  auto list = displays();
  if (list.empty()) return {0, 0, 0, 0};
  return list[0].rect;
}

}  // namespace tw32

using namespace tw32;

BOOL WINAPI EnumDisplayDevicesA(LPCSTR device, DWORD index, DISPLAY_DEVICEA* out, DWORD /*flags*/) {
  if (!out) return FALSE;
  auto list = displays();
  DWORD cb = out->cb;
  if (!device) {
    if (index >= list.size()) return FALSE;
    const Display& d = list[index];
    *out = DISPLAY_DEVICEA{};
    out->cb = cb;
    copyText(out->DeviceName, deviceName(index));
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    copyText(out->DeviceString, std::string(driver ? driver : "virtual") + " display adapter");
    if (!d.detached) out->StateFlags |= DISPLAY_DEVICE_ATTACHED_TO_DESKTOP;
    if (index == 0) out->StateFlags |= DISPLAY_DEVICE_PRIMARY_DEVICE;
    if (d.mirror) out->StateFlags |= DISPLAY_DEVICE_MIRRORING_DRIVER;
    copyText(out->DeviceID, "TARNWICK\\DISPLAY" + std::to_string(index + 1));
    return TRUE;
  }
  int i = deviceIndex(list, device);
  if (i < 0 || index != 0) return FALSE;   // one monitor per device
  const Display& d = list[static_cast<size_t>(i)];
  *out = DISPLAY_DEVICEA{};
  out->cb = cb;
  copyText(out->DeviceName, deviceName(static_cast<size_t>(i)) + "\\Monitor0");
  copyText(out->DeviceString, d.monitorName);
  if (!d.detached) out->StateFlags = 0x1 | 0x2;   // a monitor's "active" and "attached"
  copyText(out->DeviceID, "MONITOR\\TARNWICK" + std::to_string(i + 1));
  return TRUE;
}

BOOL WINAPI EnumDisplaySettingsA(LPCSTR name, DWORD modeIndex, DEVMODEA* out) {
  if (!out) return FALSE;
  auto list = displays();
  int i = deviceIndex(list, name);
  if (i < 0) return FALSE;
  const Display& d = list[static_cast<size_t>(i)];
  DWORD width = static_cast<DWORD>(d.rect.right - d.rect.left);
  DWORD height = static_cast<DWORD>(d.rect.bottom - d.rect.top);
  DWORD bpp = d.bitsPerPixel, frequency = d.frequency;
  if (modeIndex != ENUM_CURRENT_SETTINGS && modeIndex != ENUM_REGISTRY_SETTINGS) {
    // The list of modes: SDL's for a real display, the one size of a fake or host display.
    if (d.sdlIndex >= 0) {
      SDL_DisplayMode mode;
      if (modeIndex >= static_cast<DWORD>(SDL_GetNumDisplayModes(d.sdlIndex)) ||
          SDL_GetDisplayMode(d.sdlIndex, static_cast<int>(modeIndex), &mode) != 0)
        return FALSE;
      width = static_cast<DWORD>(mode.w);
      height = static_cast<DWORD>(mode.h);
      bpp = SDL_BITSPERPIXEL(mode.format) > 16 ? 32 : 16;
      if (mode.refresh_rate > 0) frequency = static_cast<DWORD>(mode.refresh_rate);
    } else if (modeIndex != 0) {
      return FALSE;
    }
  }
  *out = DEVMODEA{};
  copyText(out->dmDeviceName, deviceName(static_cast<size_t>(i)).substr(4));
  out->dmSize = sizeof(DEVMODEA);
  out->dmFields = DM_POSITION | DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT | DM_DISPLAYFREQUENCY;
  out->dmPosition = {d.rect.left, d.rect.top};
  out->dmBitsPerPel = bpp;
  out->dmPelsWidth = width;
  out->dmPelsHeight = height;
  out->dmDisplayFrequency = frequency;
  return TRUE;
}

HMONITOR WINAPI MonitorFromRect(const RECT* rect, DWORD flags) {
  auto list = displays();
  RECT r = rect ? *rect : RECT{0, 0, 0, 0};
  int best = -1;
  long long bestArea = 0;
  for (size_t i = 0; i < list.size(); ++i) {
    if (!onDesktop(list[i])) continue;
    long long area = overlap(r, list[i].rect);
    if (area > bestArea) best = static_cast<int>(i), bestArea = area;
  }
  if (best >= 0) return monitorHandle(static_cast<size_t>(best));
  if (flags == MONITOR_DEFAULTTOPRIMARY && !list.empty()) return monitorHandle(0);
  if (flags == MONITOR_DEFAULTTONEAREST) {
    long long bestDistance = -1;
    for (size_t i = 0; i < list.size(); ++i) {
      if (!onDesktop(list[i])) continue;
      long long dist = distance(r, list[i].rect);
      if (bestDistance < 0 || dist < bestDistance) best = static_cast<int>(i), bestDistance = dist;
    }
    if (best >= 0) return monitorHandle(static_cast<size_t>(best));
  }
  return nullptr;
}

int WINAPI GetSystemMetrics(int index) {
  RECT r = primaryRect();
  switch (index) {
    case SM_CXSCREEN: return r.right - r.left;
    case SM_CYSCREEN: return r.bottom - r.top;
    default: return 0;
  }
}
