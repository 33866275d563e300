// gdi.cpp — just enough GDI to paint a bitmap resource into a window, plus cursors, icons and
// stock objects.
//
// LoadBitmapA decodes an RT_BITMAP resource (a BMP, with or without its 14-byte file header;
// 8-bit palette, 24-bit and 32-bit uncompressed) into 0x00RRGGBB pixels, top row first. A window
// DC from BeginPaint draws into the SDL window's surface; EndPaint shows it. This works on windows
// that carry no GL context (the preview window never gets a device).
#include <SDL.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace tw32 {
namespace {

enum class Kind { bitmap, dc, stock, cursor, icon };

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;   // 0x00RRGGBB, top row first
};

struct Dc {
  HWND window = nullptr;          // null: a memory DC
  bool windowGone = false;
  HGDIOBJ bitmap = nullptr;       // selected bitmap (memory DCs)
  bool drawn = false;
};

struct Object {
  Kind kind;
  Bitmap bitmap;
  Dc dc;
  int stockIndex = -1;
};

std::map<uintptr_t, Object> gObjects;
uintptr_t gNextObject = 0x70000010;
HCURSOR gCursor = nullptr;        // what SetCursor last set (null: pointer hidden)
bool gCursorSet = false;
int gShowCount = 0;               // ShowCursor's display counter

HGDIOBJ newObject(Object object) {
  uintptr_t handle = gNextObject;
  gNextObject += 0x10;
  gObjects.emplace(handle, std::move(object));
  return reinterpret_cast<HGDIOBJ>(handle);
}

Object* objectOf(const void* handle, Kind kind) {
  auto it = gObjects.find(reinterpret_cast<uintptr_t>(handle));
  return it != gObjects.end() && it->second.kind == kind ? &it->second : nullptr;
}

HGDIOBJ stockObject(int index) {
  static std::map<int, HGDIOBJ> made;
  auto it = made.find(index);
  if (it != made.end()) return it->second;
  Object o{Kind::stock, {}, {}, index};
  return made[index] = newObject(std::move(o));
}

void applyCursorVisibility() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
  bool visible = gShowCount >= 0 && (!gCursorSet || gCursor);
  SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

// ---- BMP decoding ----

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

constexpr int64_t kMaxPixels = 16384LL * 16384LL;

// Decodes a BMP held in `data`; false for anything malformed, truncated or unsupported.
// With `keepAlpha`, 32-bit pixels keep their fourth byte as alpha (0xAARRGGBB; icons).
bool decodeBmp(const uint8_t* data, size_t size, Bitmap* out, bool keepAlpha = false) {
  size_t base = 0;   // start of the info header
  int64_t pixelOffset = -1;
  if (size >= 14 && data[0] == 'B' && data[1] == 'M') {
    pixelOffset = le32(data + 10);
    base = 14;
  }
  if (size < base + 12) return false;
  uint32_t headerSize = le32(data + base);
  int64_t width, height;
  int bits, paletteEntrySize;
  uint32_t compression = 0, colorsUsed = 0;
  if (headerSize == 12) {   // OS/2 core header
    width = le16(data + base + 4);
    height = static_cast<int16_t>(le16(data + base + 6));
    bits = le16(data + base + 10);
    paletteEntrySize = 3;
  } else if (headerSize >= 40 && headerSize <= 124) {
    if (size < base + headerSize) return false;
    width = static_cast<int32_t>(le32(data + base + 4));
    height = static_cast<int32_t>(le32(data + base + 8));
    bits = le16(data + base + 14);
    compression = le32(data + base + 16);
    colorsUsed = le32(data + base + 32);
    paletteEntrySize = 4;
  } else {
    return false;
  }
  bool topDown = height < 0;
  if (topDown) height = -height;
  if (width <= 0 || height <= 0 || width * height > kMaxPixels) return false;
  // Uncompressed only (BI_RGB; BI_BITFIELDS for 32-bit with the usual masks reads the same).
  if (compression != 0 && !(compression == 3 && bits == 32)) return false;
  if (bits != 8 && bits != 24 && bits != 32) return false;

  size_t paletteStart = base + headerSize;
  if (compression == 3 && headerSize == 40) paletteStart += 12;   // the three masks
  uint32_t paletteCount = 0;
  if (bits == 8) {
    paletteCount = colorsUsed ? colorsUsed : 256;
    if (paletteCount > 256) return false;
  }
  size_t paletteBytes = size_t(paletteCount) * paletteEntrySize;
  if (paletteStart + paletteBytes > size) return false;
  if (pixelOffset < 0) pixelOffset = static_cast<int64_t>(paletteStart + paletteBytes);

  size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
  size_t need = stride * static_cast<size_t>(height);
  if (pixelOffset > static_cast<int64_t>(size) || size - static_cast<size_t>(pixelOffset) < need) return false;

  out->width = static_cast<int>(width);
  out->height = static_cast<int>(height);
  out->pixels.assign(static_cast<size_t>(width * height), 0);
  const uint8_t* palette = data + paletteStart;
  for (int64_t row = 0; row < height; ++row) {
    const uint8_t* src = data + pixelOffset + stride * static_cast<size_t>(topDown ? row : height - 1 - row);
    uint32_t* dst = &out->pixels[static_cast<size_t>(row * width)];
    for (int64_t x = 0; x < width; ++x) {
      const uint8_t* bgr;
      if (bits == 8) {
        uint8_t index = src[x];
        if (index >= paletteCount) index = 0;   // out-of-palette index: the first colour
        bgr = palette + size_t(index) * paletteEntrySize;
      } else {
        bgr = src + x * (bits / 8);
      }
      dst[x] = uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
      if (keepAlpha) dst[x] |= bits == 32 ? uint32_t(bgr[3]) << 24 : 0xFF000000u;
    }
  }
  return true;
}

// Copies a clipped rectangle of `src` into the window's surface.
bool blitToWindow(Window& w, int x, int y, int width, int height, const Bitmap& src, int sx, int sy) {
  if (!w.sdl) return false;
  SDL_Surface* surface = SDL_GetWindowSurface(w.sdl);
  if (!surface) return false;
  SDL_Surface* from = SDL_CreateRGBSurfaceWithFormatFrom(
      const_cast<uint32_t*>(src.pixels.data()), src.width, src.height, 32, src.width * 4,
      SDL_PIXELFORMAT_XRGB8888);
  if (!from) return false;
  SDL_Rect srcRect{sx, sy, width, height};
  SDL_Rect dstRect{x, y, width, height};
  bool ok = SDL_BlitSurface(from, &srcRect, surface, &dstRect) == 0;
  SDL_FreeSurface(from);
  return ok;
}

void blitToBitmap(Bitmap& dst, int x, int y, int width, int height, const Bitmap& src, int sx, int sy) {
  for (int row = 0; row < height; ++row) {
    int dy = y + row, syy = sy + row;
    if (dy < 0 || dy >= dst.height || syy < 0 || syy >= src.height) continue;
    for (int col = 0; col < width; ++col) {
      int dx = x + col, sxx = sx + col;
      if (dx < 0 || dx >= dst.width || sxx < 0 || sxx >= src.width) continue;
      dst.pixels[size_t(dy) * dst.width + dx] = src.pixels[size_t(syy) * src.width + sxx];
    }
  }
}

}  // namespace

bool iconPixels(HICON icon, int* width, int* height, std::vector<uint32_t>* argb) {
  Object* o = objectOf(icon, Kind::icon);
  if (!o || o->bitmap.pixels.empty()) return false;
  *width = o->bitmap.width;
  *height = o->bitmap.height;
  *argb = o->bitmap.pixels;
  return true;
}

void applyWindowIcon(Window& window, HICON icon) {
  int width, height;
  std::vector<uint32_t> argb;
  if (!window.sdl || !iconPixels(icon, &width, &height, &argb)) return;
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(argb.data(), width, height, 32, width * 4,
                                                            SDL_PIXELFORMAT_ARGB8888);
  if (!surface) return;
  SDL_SetWindowIcon(window.sdl, surface);
  SDL_FreeSurface(surface);
}

void releaseWindowDc(HWND window) {
  for (auto& [handle, o] : gObjects)
    if (o.kind == Kind::dc && o.dc.window == window) o.dc.windowGone = true;
}

}  // namespace tw32

using namespace tw32;

HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name) {
  HRSRC resource = FindResourceA(instance, name, RT_BITMAP);
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(instance, resource);
  if (!bytes || size == 0) return nullptr;
  Object o{Kind::bitmap, {}, {}, -1};
  if (!decodeBmp(static_cast<const uint8_t*>(bytes), size, &o.bitmap)) return nullptr;
  return static_cast<HBITMAP>(newObject(std::move(o)));
}

HDC WINAPI BeginPaint(HWND window, PAINTSTRUCT* paint) {
  Window* w = findWindow(window);
  if (!w || !paint) return nullptr;
  w->needsPaint = false;
  Object o{Kind::dc, {}, {}, -1};
  o.dc.window = window;
  HDC dc = static_cast<HDC>(newObject(std::move(o)));
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  paint->rcPaint = {0, 0, w->clientWidth, w->clientHeight};
  return dc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  Object* o = objectOf(paint->hdc, Kind::dc);
  if (!o || o->dc.window != window) return FALSE;
  Window* w = o->dc.windowGone ? nullptr : findWindow(window);
  if (w && w->sdl && o->dc.drawn) SDL_UpdateWindowSurface(w->sdl);
  gObjects.erase(reinterpret_cast<uintptr_t>(paint->hdc));
  return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC /*dc*/) {
  Object o{Kind::dc, {}, {}, -1};
  return static_cast<HDC>(newObject(std::move(o)));
}

BOOL WINAPI DeleteDC(HDC dc) {
  Object* o = objectOf(dc, Kind::dc);
  if (!o || o->dc.window) return FALSE;   // window DCs end with EndPaint
  gObjects.erase(reinterpret_cast<uintptr_t>(dc));
  return TRUE;
}

// Selecting a bitmap into a memory DC returns the one selected before (a stock placeholder at
// first, as Windows gives its 1 x 1 default bitmap). Other objects are accepted and change nothing.
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  Object* d = objectOf(dc, Kind::dc);
  if (!d || !object) return nullptr;
  if (objectOf(object, Kind::bitmap)) {
    if (d->dc.window) return nullptr;
    HGDIOBJ previous = d->dc.bitmap ? d->dc.bitmap : stockObject(-1);
    d->dc.bitmap = object;
    return previous;
  }
  if (object == stockObject(-1)) {   // putting the default back
    HGDIOBJ previous = d->dc.bitmap ? d->dc.bitmap : object;
    d->dc.bitmap = nullptr;
    return previous;
  }
  if (objectOf(object, Kind::stock)) return object;
  return nullptr;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  auto it = gObjects.find(reinterpret_cast<uintptr_t>(object));
  if (it == gObjects.end()) return FALSE;
  if (it->second.kind == Kind::stock) return TRUE;   // stock objects are never deleted
  if (it->second.kind != Kind::bitmap) return FALSE;
  for (auto& [handle, o] : gObjects)
    if (o.kind == Kind::dc && o.dc.bitmap == object) return FALSE;   // still selected
  gObjects.erase(it);
  return TRUE;
}

int WINAPI GetObjectA(HGDIOBJ object, int size, LPVOID out) {
  Object* o = objectOf(object, Kind::bitmap);
  if (!o) return 0;
  if (!out) return sizeof(BITMAP);
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  BITMAP info{};
  info.bmWidth = o->bitmap.width;
  info.bmHeight = o->bitmap.height;
  info.bmWidthBytes = o->bitmap.width * 4;
  info.bmPlanes = 1;
  info.bmBitsPixel = 32;
  info.bmBits = o->bitmap.pixels.data();   // 0x00RRGGBB, top row first
  std::memcpy(out, &info, sizeof info);
  return sizeof(BITMAP);
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sx, int sy, DWORD rop) {
  if (rop != SRCCOPY || width <= 0 || height <= 0) return FALSE;
  Object* to = objectOf(dest, Kind::dc);
  Object* from = objectOf(source, Kind::dc);
  if (!to || !from || !from->dc.bitmap) return FALSE;
  Object* bitmap = objectOf(from->dc.bitmap, Kind::bitmap);
  if (!bitmap) return FALSE;
  if (to->dc.window) {
    Window* w = to->dc.windowGone ? nullptr : findWindow(to->dc.window);
    if (!w || !blitToWindow(*w, x, y, width, height, bitmap->bitmap, sx, sy)) return FALSE;
    to->dc.drawn = true;
    return TRUE;
  }
  Object* target = to->dc.bitmap ? objectOf(to->dc.bitmap, Kind::bitmap) : nullptr;
  if (!target) return FALSE;
  blitToBitmap(target->bitmap, x, y, width, height, bitmap->bitmap, sx, sy);
  return TRUE;
}

// Marks the window (every window for null) for a WM_PAINT; the rectangle is not tracked.
BOOL WINAPI InvalidateRect(HWND window, const RECT* /*rect*/, BOOL /*erase*/) {
  if (!window) {
    for (HWND h : allWindows())
      if (Window* w = findWindow(h)) w->needsPaint = true;
    return TRUE;
  }
  Window* w = findWindow(window);
  if (!w) return FALSE;
  w->needsPaint = true;
  return TRUE;
}

// ---- cursors, icons, stock objects ----

// The system cursors (IDC_ARROW and the other predefined ids) exist; this program has no cursor
// resources of its own.
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  if (instance || !IS_INTRESOURCE(name)) return nullptr;
  WORD id = LOWORD(name);
  if (id < 32512 || id > 32651) return nullptr;
  static std::map<WORD, HGDIOBJ> made;
  auto it = made.find(id);
  if (it != made.end()) return static_cast<HCURSOR>(it->second);
  Object o{Kind::cursor, {}, {}, id};
  return static_cast<HCURSOR>(made[id] = newObject(std::move(o)));
}

// System icons for a null instance; otherwise the executable's icon resource when it has one.
// An icon resource holding a BMP (32-bit with alpha, or opaque) keeps its picture, which windows
// of a class with that icon show.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (!instance && !IS_INTRESOURCE(name)) return nullptr;
  HRSRC resource = nullptr;
  if (instance) {
    resource = FindResourceA(instance, name, RT_ICON);
    if (!resource) resource = FindResourceA(instance, name, RT_GROUP_ICON);
    if (!resource) return nullptr;
  }
  Object o{Kind::icon, {}, {}, -1};
  if (resource) {
    const void* bytes = LockResource(LoadResource(instance, resource));
    DWORD size = SizeofResource(instance, resource);
    if (!bytes || !decodeBmp(static_cast<const uint8_t*>(bytes), size, &o.bitmap, true)) o.bitmap = {};
  }
  return static_cast<HICON>(newObject(std::move(o)));
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  HCURSOR previous = gCursor;
  gCursor = cursor;
  gCursorSet = true;
  if (cursor && SDL_WasInit(SDL_INIT_VIDEO)) {
    static SDL_Cursor* arrow = SDL_CreateSystemCursor(SDL_SYSTEM_CURSOR_ARROW);
    if (arrow) SDL_SetCursor(arrow);
  }
  applyCursorVisibility();
  return previous;
}

int WINAPI ShowCursor(BOOL show) {
  gShowCount += show ? 1 : -1;
  applyCursorVisibility();
  return gShowCount;
}

HGDIOBJ WINAPI GetStockObject(int object) {
  constexpr int kLastStockObject = 19;   // WHITE_BRUSH 0 ... DC_PEN 19
  if (object < 0 || object > kLastStockObject || object == 9) return nullptr;
  return stockObject(object);
}
