// device_setup.cpp — present parameters, device creation with its safe mode, gamma, release.
#include "gfx/device_setup.h"

#include "gfx/gamma_ramp.h"

namespace {

void fillPresentParameters(DeviceList& list, HWND window, const DeviceOptions& options,
                           D3DFORMAT desktopFormat, D3DPRESENT_PARAMETERS& p) {
  p = D3DPRESENT_PARAMETERS{};
  const DisplayModeEntry& mode = list.currentDevice().modes[list.currentDevice().currentMode];
  RECT client{};
  if (options.windowedDebug) {
    SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 800, 600, SWP_SHOWWINDOW);
    GetClientRect(window, &client);
    p.BackBufferWidth = static_cast<UINT>(client.right - client.left);
    p.BackBufferHeight = static_cast<UINT>(client.bottom - client.top);
    p.BackBufferFormat = desktopFormat;
    p.BackBufferCount = 0;
    p.Windowed = TRUE;
  } else if (options.useDesktopSettings) {
    GetClientRect(window, &client);
    p.BackBufferWidth = static_cast<UINT>(client.right - client.left);
    p.BackBufferHeight = static_cast<UINT>(client.bottom - client.top);
    p.BackBufferFormat = desktopFormat == D3DFMT_R8G8B8 ? D3DFMT_R5G6B5 : desktopFormat;
    p.BackBufferCount = 1;
    p.Windowed = FALSE;
  } else {
    p.BackBufferWidth = mode.width;
    p.BackBufferHeight = mode.height;
    p.BackBufferFormat = mode.format;
    p.BackBufferCount = 1;
    p.Windowed = FALSE;
  }
  p.MultiSampleType = list.selectedMultisample;
  p.SwapEffect = D3DSWAPEFFECT_DISCARD;
  p.hDeviceWindow = nullptr;
  p.EnableAutoDepthStencil = TRUE;
  p.AutoDepthStencilFormat = list.selectedDepthFormat;
}

// Hardware vertex processing needs system-memory TL vertices and vertex shaders 1.0 or later.
DWORD vertexProcessing(const D3DCAPS8& caps) {
  const bool hardware = (caps.DevCaps & D3DDEVCAPS_TLVERTEXSYSTEMMEMORY) != 0 &&
                        caps.VertexShaderVersion >= D3DVS_VERSION(1, 0);
  return hardware ? D3DCREATE_HARDWARE_VERTEXPROCESSING : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
}

void logLine(DeviceList& list, const char* text) {
  if (list.log) list.log(text);
}

}  // namespace

int createDevice(DeviceList& list, HWND window, const DeviceOptions& options,
                 D3DPRESENT_PARAMETERS& parameters, IDirect3DDevice8** device) {
  *device = nullptr;
  IDirect3D8* d3d = list.direct3D;
  if (!d3d) return deviceNotCreated;
  D3DDISPLAYMODE desktop{};
  if (d3d->GetAdapterDisplayMode(0, &desktop) < 0 && options.useDesktopSettings) {
    logLine(list, "Cant get Desktop DisplayMode!");
    return deviceNoDesktopMode;
  }

  fillPresentParameters(list, window, options, desktop.Format, parameters);
  const D3DFORMAT format = parameters.BackBufferFormat;
  if (d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, format, format,
                                  parameters.AutoDepthStencilFormat) < 0)
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
  if (d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, format, FALSE,
                                      parameters.MultiSampleType) < 0)
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;

  const DWORD flags = vertexProcessing(list.currentDevice().capabilities);
  if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, flags, &parameters, device) < 0 || !*device) {
    logLine(list, "Cant create HAL D3D_Device, try use safe mode.");
    *device = nullptr;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.BackBufferFormat = D3DFMT_R5G6B5;
    parameters.BackBufferWidth = 640;
    parameters.BackBufferHeight = 480;
    if (d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                          &parameters, device) < 0 ||
        !*device) {
      logLine(list, "Cant create any HAL D3D_Device!");
      *device = nullptr;
      return deviceNotCreated;
    }
  }

  D3DGAMMARAMP ramp{};
  (*device)->GetGammaRamp(&ramp);
  buildGammaRamp(options.gamma, ramp);
  (*device)->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
  logLine(list, "Create D3D_Device Complete");
  return deviceCreated;
}

void restoreIdentityGamma(IDirect3DDevice8* device) {
  D3DGAMMARAMP ramp{};
  device->GetGammaRamp(&ramp);
  buildIdentityRamp(ramp);
  device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
}

void releaseDevice(DeviceList& list, IDirect3DDevice8*& device) {
  if (device) {
    device->Release();
    device = nullptr;
  }
  if (list.direct3D) {
    list.direct3D->Release();
    list.direct3D = nullptr;
  }
}
