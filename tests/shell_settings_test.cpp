// shell_settings_test.cpp — the options' defaults and registry encodings through the real store.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/win32/windows.h"
#include "shell/landscape_saver.h"
#include "shell/saver_settings.h"

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tw-settings-XXXXXX";
    dir_ = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void store(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, saverSettingsKey, 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void storeDword(const char* name, DWORD value) { store(name, REG_DWORD, &value, 4); }

  std::string dir_;
};

TEST_F(SettingsTest, MissingKeyGivesExactlyTheDefaultBlock) {
  SaverSettings s = defaultSaverSettings;
  readSettings(s);
  EXPECT_EQ(std::memcmp(&s, &defaultSaverSettings, sizeof s), 0);
  EXPECT_EQ(s.showTime, 1u);
  EXPECT_EQ(s.clock24Hour, 0);
  EXPECT_EQ(s.showFrameCounter, 0u);
  EXPECT_EQ(s.exitOnMouseMove, 1u);
  EXPECT_EQ(s.music, 1u);
  EXPECT_EQ(s.effects, 1u);
  EXPECT_EQ(s.volume, 100);
  EXPECT_EQ(s.width, 800);
  EXPECT_EQ(s.height, 600);
  EXPECT_EQ(s.bitCount, 32);
  EXPECT_EQ(s.antialiasing, 0);
  EXPECT_EQ(s.useDesktopSettings, 1u);
  EXPECT_EQ(s.gamma, 100);
  LandscapeSaver saver;
  saver.readExtraSettings();
  EXPECT_EQ(saver.useMoreGrass, 1);
}

TEST_F(SettingsTest, FlagAndNumberEncodings) {
  struct Case {
    const char* name;
    DWORD stored;
    uint32_t startFps;
    uint32_t expectFps;
  };
  // Flags: 2 on, 1 off, anything else keeps the field as it was.
  const Case flags[] = {{"ShowFPS", 0, 1, 1}, {"ShowFPS", 3, 1, 1}, {"ShowFPS", 3, 0, 0},
                        {"ShowFPS", 2, 0, 1}, {"ShowFPS", 1, 1, 0}};
  for (const Case& c : flags) {
    storeDword(c.name, c.stored);
    SaverSettings s = defaultSaverSettings;
    s.showFrameCounter = c.startFps;
    readSettings(s);
    EXPECT_EQ(s.showFrameCounter, c.expectFps) << "stored " << c.stored;
  }

  storeDword("GmCntrl", 356);
  SaverSettings s = defaultSaverSettings;
  readSettings(s);
  EXPECT_EQ(s.gamma, 100);   // low byte of 356
  storeDword("GmCntrl", 256);
  readSettings(s);
  EXPECT_EQ(s.gamma, 0);     // non-zero, low byte 0

  storeDword("MusicVolume", 0);
  storeDword("FSAA", 0);
  s = defaultSaverSettings;
  s.antialiasing = 4;
  readSettings(s);
  EXPECT_EQ(s.volume, 100);        // 0 keeps the current value
  EXPECT_EQ(s.antialiasing, 4);

  storeDword("DigClock_24H", 2);
  storeDword("Width", 1024);
  readSettings(s);
  EXPECT_EQ(s.clock24Hour, 1);
  EXPECT_EQ(s.width, 1024);
}

TEST_F(SettingsTest, ValuesOfOtherSizesAndTypes) {
  // Longer than four bytes: not read, the field stays.
  const unsigned char eight[8] = {2, 0, 0, 0, 9, 9, 9, 9};
  store("ShowFPS", REG_BINARY, eight, sizeof eight);
  // Another type of four bytes: its bytes are taken under the same rules.
  const unsigned char four[4] = {0x20, 0x03, 0, 0};   // 800
  store("Height", REG_BINARY, four, sizeof four);
  // Two bytes: taken into the zeroed buffer.
  const unsigned char two[2] = {2, 0};
  store("Music", REG_BINARY, two, sizeof two);
  SaverSettings s = defaultSaverSettings;
  s.music = 0;
  readSettings(s);
  EXPECT_EQ(s.showFrameCounter, 0u);
  EXPECT_EQ(s.height, 800);
  EXPECT_EQ(s.music, 1u);
}

TEST_F(SettingsTest, WriteThenReadRoundTrip) {
  SaverSettings written = defaultSaverSettings;
  written.showFrameCounter = 1;
  written.exitOnMouseMove = 0;
  written.showTime = 0;
  written.music = 0;
  written.effects = 0;
  written.volume = 37;
  written.width = 1280;
  written.height = 1024;
  written.bitCount = 16;
  written.antialiasing = 4;
  written.useDesktopSettings = 0;
  written.clock24Hour = 1;
  written.gamma = 150;
  writeSettings(written);

  SaverSettings read = defaultSaverSettings;
  readSettings(read);
  EXPECT_EQ(std::memcmp(&read, &written, sizeof read), 0);

  // Flags are stored as 2 and 1.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, saverSettingsKey, 0, nullptr, 0, KEY_READ, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  DWORD value = 0, size = 4, type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "ShowTime", nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 1u);
  RegCloseKey(key);

  LandscapeSaver saver;
  saver.useMoreGrass = 0;
  saver.writeExtraSettings();
  saver.resetExtraSettings();
  EXPECT_EQ(saver.useMoreGrass, 1);
  saver.readExtraSettings();
  EXPECT_EQ(saver.useMoreGrass, 0);
}

}  // namespace
