// device_restore.cpp — the frame's device check and the restore after a loss.
#include "gfx/device_restore.h"

HRESULT checkDevice(IDirect3DDevice8* device, D3DPRESENT_PARAMETERS& parameters,
                    const std::function<void(const char*)>& log,
                    const std::function<void()>& afterReset) {
  const HRESULT state = device->TestCooperativeLevel();
  if (state != D3DERR_DEVICENOTRESET) return state;

  auto line = [&](const char* text) {
    if (log) log(text);
  };
  line("Device was lost.");
  line("Try to restore.");
  // Its result is not examined: a reset that fails leaves the device "not reset", and the next
  // frame tries again without waiting.
  device->Reset(&parameters);
  if (afterReset) afterReset();
  line("Restore state to complete.");
  line("");
  return state;
}
