// bench_device.h — a window of the benchmark's size and a Direct3D device on it (X8R8G8B8 back
// buffer, D24X8 depth, presents without waiting), for the benchmarks that draw or make textures.
#pragma once

#include <cstdio>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/windows.h"

struct BenchDevice {
  HWND window = nullptr;
  IDirect3D8* direct3d = nullptr;
  IDirect3DDevice8* device = nullptr;

  ~BenchDevice() {
    if (device) device->Release();
    if (direct3d) direct3d->Release();
    if (window) DestroyWindow(window);
  }
};

inline LRESULT CALLBACK benchWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(w, m, wp, lp);
}

// A visible pop-up window of the benchmark's window class (registered on first use).
inline HWND makeBenchWindow(const char* title, UINT width, UINT height) {
  static const bool registered = [] {
    WNDCLASSA cls{};
    cls.lpfnWndProc = benchWindowProc;
    cls.lpszClassName = "TarnwickBench";
    return RegisterClassA(&cls) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "TarnwickBench", title, WS_POPUP | WS_VISIBLE, 0, 0, int(width), int(height),
                         nullptr, nullptr, nullptr, nullptr);
}

// Opens the window, the Direct3D object and the device; false, with a line naming `program` on
// stderr, when any of them cannot be made.
inline bool openBenchDevice(const char* program, UINT width, UINT height, BenchDevice& out) {
  out.window = makeBenchWindow(program, width, height);
  out.direct3d = Direct3DCreate8(D3D_SDK_VERSION);
  if (!out.window || !out.direct3d) {
    std::fprintf(stderr, "%s: no window or no Direct3D\n", program);
    return false;
  }
  D3DPRESENT_PARAMETERS p{};
  p.BackBufferWidth = width;
  p.BackBufferHeight = height;
  p.BackBufferFormat = D3DFMT_X8R8G8B8;
  p.BackBufferCount = 1;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.Windowed = FALSE;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = D3DFMT_D24X8;
  p.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  if (out.direct3d->CreateDevice(0, D3DDEVTYPE_HAL, out.window, 0, &p, &out.device) != D3D_OK) {
    out.device = nullptr;
    std::fprintf(stderr, "%s: CreateDevice failed\n", program);
    return false;
  }
  return true;
}
