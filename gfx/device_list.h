// device_list.h — the Direct3D object, every usable adapter's full-screen modes, depth formats
// and multisample types, and the current selection that device creation uses.
//
// Capacities are fixed: 10 adapters, 150 modes each. Adapters or modes beyond them are left out
// (the first ones in sorted order are kept), never written past the tables.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/d3d8/d3d8.h"

constexpr uint32_t maxAdapters = 10;
constexpr uint32_t maxModesPerAdapter = 150;
// Position p of the multisample list stands for type 0 at p = 0 and type p + 1 otherwise.
constexpr uint32_t multisampleListSize = 16;

D3DMULTISAMPLE_TYPE multisampleTypeAt(uint32_t position);
// 32 for A8R8G8B8 and X8R8G8B8, 16 for every other format.
uint32_t formatBitDepth(D3DFORMAT format);

struct DisplayModeEntry {
  uint32_t width;
  uint32_t height;
  D3DFORMAT format;
};

// The adapter's hardware device: what it can render in full screen.
struct HalDeviceRecord {
  D3DCAPS8 capabilities;
  const char* typeName;
  uint32_t modeCount;
  DisplayModeEntry modes[maxModesPerAdapter];   // ascending by width, then height
  uint32_t currentMode;
  uint32_t windowed;
  D3DMULTISAMPLE_TYPE currentMultisample;
  uint32_t multisampleSupported[multisampleListSize];   // union over the adapter's formats
  D3DFORMAT depthFormat;
  uint32_t d16Usable;
  uint32_t d24x8Usable;
  uint32_t d32Usable;
};

struct AdapterRecord {
  D3DADAPTER_IDENTIFIER8 identifier;
  HalDeviceRecord hal;
};

class DeviceList {
 public:
  using Direct3DFactory = IDirect3D8*(WINAPI*)(UINT sdkVersion);

  // Creates the Direct3D object and enumerates. 0 on success; otherwise the error has been
  // logged and shown, and no Direct3D object is held.
  HRESULT createDirect3D(Direct3DFactory create = Direct3DCreate8);

  // Makes current the first supported multisample type equal to `multisample` and the first
  // mode of that size and bit depth; what has no match stays as it was.
  void chooseMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t multisample);
  // Copies the current adapter's current mode, depth format and multisample type into the
  // selection; sets `changed` when any of them differed.
  void updateSelection();
  // The dialog's choices: a mode index, and the ordinal among the supported multisample types.
  // Values out of range change nothing.
  void selectModeIndex(uint32_t index);
  void selectMultisampleOrdinal(uint32_t ordinal);

  // Logs the code's message as one entry, shows it in an error box and returns the code.
  HRESULT reportDeviceError(HRESULT code);

  HalDeviceRecord& currentDevice() { return adapters[currentAdapter].hal; }

  uint32_t changed = 0;
  uint32_t selectedWidth = 0;
  uint32_t selectedHeight = 0;
  D3DFORMAT selectedFormat = D3DFMT_UNKNOWN;
  D3DFORMAT selectedDepthFormat = D3DFMT_UNKNOWN;
  D3DMULTISAMPLE_TYPE selectedMultisample = D3DMULTISAMPLE_NONE;
  uint32_t selectedWindowed = 0;
  AdapterRecord adapters[maxAdapters] = {};
  uint32_t adapterCount = 0;
  uint32_t currentAdapter = 0;
  IDirect3D8* direct3D = nullptr;
  std::function<void(const char*)> log;   // one run-log entry; may be empty

 private:
  HRESULT enumerate();
  bool enumerateAdapter(UINT adapter, AdapterRecord& record);
  void logLine(const char* text) {
    if (log) log(text);
  }
};

// Dialog texts: "800 x 600 32 bits" for a mode, "None" or "4 samples" for a multisample position.
void modeLabel(const DisplayModeEntry& mode, char (&text)[48]);
void multisampleLabel(uint32_t position, char (&text)[16]);
