// saver_settings.h — the user's options, their constant default block and the registry store.
#pragma once

#include <cstdint>

// In memory as one 48-byte block; flags are 0/1 here and 2/1 in the registry.
struct SaverSettings {
  uint32_t showFrameCounter;    // "ShowFPS"
  uint32_t exitOnMouseMove;     // "ExitOnMouseMove"
  uint32_t showTime;            // "ShowTime"
  uint32_t music;               // "Music"
  uint32_t effects;             // "SFX"
  int32_t volume;               // "MusicVolume", 1…100
  int32_t width;                // "Width", pixels
  int32_t height;               // "Height", pixels
  int32_t bitCount;             // "BitCount", 16 or 32
  int32_t antialiasing;         // "FSAA", multisample type 0 or 2…16
  uint32_t useDesktopSettings;  // "UseDesktopSettings"
  uint8_t clock24Hour;          // "DigClock_24H"
  uint8_t gamma;                // "GmCntrl", percent
};
static_assert(sizeof(SaverSettings) == 48, "the settings block is 48 bytes");

extern const SaverSettings defaultSaverSettings;

// The registry key under HKEY_CURRENT_USER that holds every option.
extern const char* const saverSettingsKey;

// Reads every stored value over `settings`; values absent, zero or out of the encoding leave
// their field as it was. A key that cannot be opened leaves everything untouched.
void readSettings(SaverSettings& settings);
// Writes every value (flags as 2/1), flushes and closes the key. Nothing when it can't be opened.
void writeSettings(const SaverSettings& settings);

// One flag value under the same key with the same encoding (for the derived class's options).
void readSettingsFlag(const char* valueName, uint8_t& flag);
void writeSettingsFlag(const char* valueName, uint8_t flag);
