// device_setup.h — creating the Direct3D device from the selection (with a safe-mode fallback),
// applying the gamma setting, and releasing the device and the Direct3D object.
#pragma once

#include <cstdint>

#include "gfx/device_list.h"
#include "platform/d3d8/d3d8.h"

// The stored options device creation reads.
struct DeviceOptions {
  bool useDesktopSettings;   // back buffer of the window's size in the desktop's format
  uint8_t gamma;             // 0…255, 100 neutral
  bool windowedDebug;        // an 800 × 600 window instead of full screen
};

enum : int { deviceCreated = 0, deviceNoDesktopMode = 1, deviceNotCreated = 2 };

// Fills `parameters` (kept by the caller: a reset uses them again) and creates the device on
// `window` into `*device`. Returns deviceCreated, deviceNoDesktopMode (desktop settings on and the
// desktop mode unreadable) or deviceNotCreated (the safe-mode attempt failed too). Logs through
// the list's log, ending with "Create D3D_Device Complete"; the gamma ramp is set.
int createDevice(DeviceList& list, HWND window, const DeviceOptions& options,
                 D3DPRESENT_PARAMETERS& parameters, IDirect3DDevice8** device);

// Sets the identity ramp (used when the run ends, whatever the setting was).
void restoreIdentityGamma(IDirect3DDevice8* device);

// Releases the device, then the list's Direct3D object; both become null. Either may be null.
void releaseDevice(DeviceList& list, IDirect3DDevice8*& device);
