// device_enumeration.cpp — lists every adapter's full-screen modes of at least 640 × 400 that its
// hardware device can render, with the depth formats and multisample types it accepts.
#include <algorithm>
#include <vector>

#include "gfx/device_error.h"
#include "gfx/device_list.h"

namespace {

bool sameMode(const DisplayModeEntry& a, const DisplayModeEntry& b) {
  return a.width == b.width && a.height == b.height && a.format == b.format;
}

// Distinct (width, height, format) of the adapter's modes, refresh rates collapsed, small modes
// dropped; and every format met in them, once.
void gatherModes(IDirect3D8* d3d, UINT adapter, std::vector<DisplayModeEntry>& modes,
                 std::vector<D3DFORMAT>& formats) {
  const UINT count = d3d->GetAdapterModeCount(adapter);
  for (UINT m = 0; m < count; ++m) {
    D3DDISPLAYMODE shown{};
    if (d3d->EnumAdapterModes(adapter, m, &shown) < 0) continue;
    if (shown.Width < 640 || shown.Height < 400) continue;
    const DisplayModeEntry entry{shown.Width, shown.Height, shown.Format};
    if (std::any_of(modes.begin(), modes.end(), [&](const auto& e) { return sameMode(e, entry); }))
      continue;
    modes.push_back(entry);
    if (std::find(formats.begin(), formats.end(), entry.format) == formats.end())
      formats.push_back(entry.format);
  }
  std::stable_sort(modes.begin(), modes.end(), [](const auto& a, const auto& b) {
    return a.width != b.width ? a.width < b.width : a.height < b.height;
  });
}

bool depthUsable(IDirect3D8* d3d, UINT adapter, D3DFORMAT format, D3DFORMAT depth) {
  return d3d->CheckDeviceFormat(adapter, D3DDEVTYPE_HAL, format, D3DUSAGE_DEPTHSTENCIL,
                                D3DRTYPE_SURFACE, depth) >= 0 &&
         d3d->CheckDepthStencilMatch(adapter, D3DDEVTYPE_HAL, format, format, depth) >= 0;
}

// Checks one format of the adapter; sets the depth and multisample flags it contributes.
bool checkFormat(IDirect3D8* d3d, UINT adapter, D3DFORMAT format, HalDeviceRecord& hal) {
  if (d3d->CheckDeviceType(adapter, D3DDEVTYPE_HAL, format, format, FALSE) < 0) return false;
  if (depthUsable(d3d, adapter, format, D3DFMT_D16)) hal.d16Usable = 1;
  if (depthUsable(d3d, adapter, format, D3DFMT_D24X8)) hal.d24x8Usable = 1;
  if (depthUsable(d3d, adapter, format, D3DFMT_D32)) hal.d32Usable = 1;
  for (uint32_t p = 0; p < multisampleListSize; ++p) {
    if (d3d->CheckDeviceMultiSampleType(adapter, D3DDEVTYPE_HAL, format, FALSE,
                                        multisampleTypeAt(p)) >= 0)
      hal.multisampleSupported[p] = 1;
  }
  return true;
}

}  // namespace

bool DeviceList::enumerateAdapter(UINT adapter, AdapterRecord& record) {
  record = AdapterRecord{};
  direct3D->GetAdapterIdentifier(adapter, 0, &record.identifier);

  std::vector<DisplayModeEntry> modes;
  std::vector<D3DFORMAT> formats;
  gatherModes(direct3D, adapter, modes, formats);

  HalDeviceRecord& hal = record.hal;
  direct3D->GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &hal.capabilities);
  hal.typeName = "HAL";

  std::vector<D3DFORMAT> usable;
  for (D3DFORMAT format : formats)
    if (checkFormat(direct3D, adapter, format, hal)) usable.push_back(format);

  for (const DisplayModeEntry& mode : modes) {
    if (hal.modeCount == maxModesPerAdapter) break;
    if (std::find(usable.begin(), usable.end(), mode.format) != usable.end())
      hal.modes[hal.modeCount++] = mode;
  }
  return hal.modeCount > 0;
}

HRESULT DeviceList::enumerate() {
  adapterCount = 0;
  const UINT count = direct3D->GetAdapterCount();
  for (UINT i = 0; i < count && adapterCount < maxAdapters; ++i) {
    if (enumerateAdapter(i, adapters[adapterCount])) ++adapterCount;
  }
  if (adapterCount == 0) return deviceErrorNoCompatibleDevice;

  currentAdapter = 0;
  HalDeviceRecord& hal = currentDevice();
  hal.currentMode = 0;
  hal.currentMultisample = D3DMULTISAMPLE_NONE;
  hal.windowed = 0;
  hal.depthFormat = hal.d32Usable ? D3DFMT_D32 : hal.d24x8Usable ? D3DFMT_D24X8 : D3DFMT_D16;
  updateSelection();
  return 0;
}
