// device_list.cpp — creating the Direct3D object, the mode and multisample choice, the selection
// and the error report.
#include "gfx/device_list.h"

#include <cstdio>

#include "gfx/device_error.h"

D3DMULTISAMPLE_TYPE multisampleTypeAt(uint32_t position) {
  return position == 0 ? D3DMULTISAMPLE_NONE : static_cast<D3DMULTISAMPLE_TYPE>(position + 1);
}

uint32_t formatBitDepth(D3DFORMAT format) {
  return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 ? 32 : 16;
}

HRESULT DeviceList::createDirect3D(Direct3DFactory create) {
  direct3D = create(D3D_SDK_VERSION);
  if (!direct3D) return reportDeviceError(deviceErrorNoDirect3D);
  logLine("\xD1reate D3D complete");   // first letter: Cyrillic Es in code page 1251, as shipped

  const HRESULT result = enumerate();
  if (result == 0) {
    logLine("Enumerate Device List complete");
    return 0;
  }
  logLine("Cant Enumerate Device List");
  direct3D->Release();
  direct3D = nullptr;
  return reportDeviceError(result);
}

void DeviceList::chooseMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t multisample) {
  HalDeviceRecord& hal = currentDevice();
  for (uint32_t p = 0; p < multisampleListSize; ++p) {
    if (static_cast<uint32_t>(multisampleTypeAt(p)) == multisample && hal.multisampleSupported[p]) {
      hal.currentMultisample = multisampleTypeAt(p);
      break;
    }
  }
  for (uint32_t m = 0; m < hal.modeCount; ++m) {
    const DisplayModeEntry& mode = hal.modes[m];
    if (mode.width == width && mode.height == height && formatBitDepth(mode.format) == bits) {
      hal.currentMode = m;
      break;
    }
  }
  updateSelection();
}

void DeviceList::updateSelection() {
  const HalDeviceRecord& hal = currentDevice();
  const DisplayModeEntry& mode = hal.modes[hal.currentMode < maxModesPerAdapter ? hal.currentMode : 0];
  const uint32_t windowed = hal.windowed;
  if (selectedDepthFormat != hal.depthFormat || selectedMultisample != hal.currentMultisample ||
      selectedFormat != mode.format || selectedHeight != mode.height ||
      selectedWidth != mode.width || selectedWindowed != windowed)
    changed = 1;
  selectedDepthFormat = hal.depthFormat;
  selectedMultisample = hal.currentMultisample;
  selectedFormat = mode.format;
  selectedHeight = mode.height;
  selectedWidth = mode.width;
  selectedWindowed = windowed;
}

void DeviceList::selectModeIndex(uint32_t index) {
  HalDeviceRecord& hal = currentDevice();
  if (index >= hal.modeCount) return;
  hal.currentMode = index;
  updateSelection();
}

void DeviceList::selectMultisampleOrdinal(uint32_t ordinal) {
  HalDeviceRecord& hal = currentDevice();
  uint32_t count = 0;
  for (uint32_t p = 0; p < multisampleListSize; ++p) {
    if (!hal.multisampleSupported[p]) continue;
    if (count == ordinal) {
      hal.currentMultisample = multisampleTypeAt(p);
      updateSelection();
      return;
    }
    ++count;
  }
}

HRESULT DeviceList::reportDeviceError(HRESULT code) {
  const char* message = deviceErrorMessage(code);
  logLine(message);
  MessageBoxA(nullptr, message, "Error!", MB_ICONERROR);
  return code;
}

void modeLabel(const DisplayModeEntry& mode, char (&text)[48]) {
  std::snprintf(text, sizeof text, "%lu x %lu %s", static_cast<unsigned long>(mode.width),
                static_cast<unsigned long>(mode.height),
                formatBitDepth(mode.format) == 32 ? "32 bits" : "16 bits");
}

void multisampleLabel(uint32_t position, char (&text)[16]) {
  if (position == 0)
    std::snprintf(text, sizeof text, "None");
  else
    std::snprintf(text, sizeof text, "%u samples", static_cast<unsigned>(position + 1));
}
