// saver_settings.cpp — the options table and its registry encoding.
//
// Every option is one row: value name, field, encoding. Reading and writing walk the value
// names in their own fixed orders through that table.
#include "shell/saver_settings.h"

#include <cstring>

#include "platform/win32/windows.h"

const SaverSettings defaultSaverSettings = {
    /*showFrameCounter*/ 0, /*exitOnMouseMove*/ 1, /*showTime*/ 1, /*music*/ 1, /*effects*/ 1,
    /*volume*/ 100, /*width*/ 800, /*height*/ 600, /*bitCount*/ 32, /*antialiasing*/ 0,
    /*useDesktopSettings*/ 1, /*clock24Hour*/ 0, /*gamma*/ 100};

const char* const saverSettingsKey = "Software\\KELVANE Studio\\Tarnwick 3D Screensaver";

namespace {

enum class Encoding { flag32, flag8, number32, lowByte };

struct SettingRow {
  const char* valueName;
  size_t offset;
  Encoding encoding;
};

#define TW_ROW(name, field, enc) {name, offsetof(SaverSettings, field), Encoding::enc}
const SettingRow settingRows[] = {
    TW_ROW("ShowFPS", showFrameCounter, flag32),
    TW_ROW("ExitOnMouseMove", exitOnMouseMove, flag32),
    TW_ROW("ShowTime", showTime, flag32),
    TW_ROW("Music", music, flag32),
    TW_ROW("SFX", effects, flag32),
    TW_ROW("MusicVolume", volume, number32),
    TW_ROW("Width", width, number32),
    TW_ROW("Height", height, number32),
    TW_ROW("BitCount", bitCount, number32),
    TW_ROW("FSAA", antialiasing, number32),
    TW_ROW("UseDesktopSettings", useDesktopSettings, flag32),
    TW_ROW("DigClock_24H", clock24Hour, flag8),
    TW_ROW("GmCntrl", gamma, lowByte),
};
#undef TW_ROW

const char* const readOrder[] = {"ShowFPS", "DigClock_24H", "GmCntrl", "ShowTime",
                                 "ExitOnMouseMove", "SFX", "Music", "MusicVolume",
                                 "UseDesktopSettings", "Height", "Width", "BitCount", "FSAA"};
const char* const writeOrder[] = {"ShowFPS", "DigClock_24H", "ShowTime", "ExitOnMouseMove",
                                  "SFX", "Music", "UseDesktopSettings", "GmCntrl", "Height",
                                  "Width", "BitCount", "FSAA", "MusicVolume"};

const SettingRow& rowNamed(const char* name) {
  for (const SettingRow& row : settingRows)
    if (std::strcmp(row.valueName, name) == 0) return row;
  return settingRows[0];  // every order lists only names of the table
}

// A value read as a zeroed 4-byte buffer: absent or over-long values read as 0.
DWORD readDword(HKEY key, const char* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
      ERROR_SUCCESS)
    return 0;
  return value;
}

void writeDword(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Flags: 2 sets, 1 clears, anything else keeps. Numbers: non-zero replaces.
void applyStored(SaverSettings& settings, const SettingRow& row, DWORD stored) {
  char* field = reinterpret_cast<char*>(&settings) + row.offset;
  switch (row.encoding) {
    case Encoding::flag32:
      if (stored == 2 || stored == 1) {
        const uint32_t on = stored == 2 ? 1 : 0;
        std::memcpy(field, &on, sizeof on);
      }
      break;
    case Encoding::flag8:
      if (stored == 2 || stored == 1) *reinterpret_cast<uint8_t*>(field) = stored == 2 ? 1 : 0;
      break;
    case Encoding::number32:
      if (stored != 0) std::memcpy(field, &stored, sizeof stored);
      break;
    case Encoding::lowByte:
      if (stored != 0) *reinterpret_cast<uint8_t*>(field) = static_cast<uint8_t>(stored & 0xFF);
      break;
  }
}

DWORD encodeStored(const SaverSettings& settings, const SettingRow& row) {
  const char* field = reinterpret_cast<const char*>(&settings) + row.offset;
  switch (row.encoding) {
    case Encoding::flag32: {
      uint32_t on;
      std::memcpy(&on, field, sizeof on);
      return on ? 2 : 1;
    }
    case Encoding::flag8:
      return *reinterpret_cast<const uint8_t*>(field) ? 2 : 1;
    case Encoding::number32: {
      int32_t value;
      std::memcpy(&value, field, sizeof value);
      return static_cast<DWORD>(value);
    }
    case Encoding::lowByte:
      return *reinterpret_cast<const uint8_t*>(field);
  }
  return 0;
}

HKEY openKey(REGSAM access) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, saverSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      access, nullptr, &key, &disposition) != ERROR_SUCCESS)
    return nullptr;
  return key;
}

}  // namespace

void readSettings(SaverSettings& settings) {
  HKEY key = openKey(KEY_READ);
  if (!key) return;
  for (const char* name : readOrder) applyStored(settings, rowNamed(name), readDword(key, name));
  RegCloseKey(key);
}

void writeSettings(const SaverSettings& settings) {
  HKEY key = openKey(KEY_WRITE);
  if (!key) return;
  for (const char* name : writeOrder) writeDword(key, name, encodeStored(settings, rowNamed(name)));
  RegFlushKey(key);
  RegCloseKey(key);
}

void readSettingsFlag(const char* valueName, uint8_t& flag) {
  HKEY key = openKey(KEY_READ);
  if (!key) return;
  const DWORD stored = readDword(key, valueName);
  if (stored == 2) flag = 1;
  if (stored == 1) flag = 0;
  RegCloseKey(key);
}

void writeSettingsFlag(const char* valueName, uint8_t flag) {
  HKEY key = openKey(KEY_WRITE);
  if (!key) return;
  writeDword(key, valueName, flag ? 2 : 1);
  RegFlushKey(key);
  RegCloseKey(key);
}
