// device_restore.h — the device half of every frame: is the device usable, and restoring it
// once a lost device can be reset.
#pragma once

#include <functional>

#include "platform/d3d8/d3d8.h"

// Asks the device for its state. D3D_OK: draw the frame. D3DERR_DEVICELOST: skip it, nothing
// else happens. D3DERR_DEVICENOTRESET: the device is reset with `parameters` and `afterReset`
// runs (the application sets its device state again and restarts its frame clock) between the
// restore log lines; the frame is skipped. Any other failure is returned as it is.
HRESULT checkDevice(IDirect3DDevice8* device, D3DPRESENT_PARAMETERS& parameters,
                    const std::function<void(const char*)>& log,
                    const std::function<void()>& afterReset);
