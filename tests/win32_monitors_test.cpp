// win32_monitors_test.cpp — display devices, settings and monitor handles from a fake display
// list and from SDL's offscreen driver.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/win32/windows.h"

namespace {

class Monitors : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv("TARNWICK_FAKE_DISPLAYS"); }
};

TEST_F(Monitors, FakeDisplaysBecomeDevicesWithMonitorsAndSettings) {
  // The primary is listed first at (100, 0): everything is placed relative to it.
  setenv("TARNWICK_FAKE_DISPLAYS", "1920x1080+100+0,1280x1024+2020+-200,800x600+0+0:mirror,640x480+0+0:detached", 1);
  struct Expected {
    DWORD flags;
    LONG x, y;
    DWORD w, h;
  };
  const Expected expected[] = {
      {DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_PRIMARY_DEVICE, 0, 0, 1920, 1080},
      {DISPLAY_DEVICE_ATTACHED_TO_DESKTOP, 1920, -200, 1280, 1024},
      {DISPLAY_DEVICE_ATTACHED_TO_DESKTOP | DISPLAY_DEVICE_MIRRORING_DRIVER, -100, 0, 800, 600},
      {0, -100, 0, 640, 480},
  };
  for (DWORD i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    DISPLAY_DEVICEA device{};
    device.cb = sizeof device;
    ASSERT_TRUE(EnumDisplayDevicesA(nullptr, i, &device, 0));
    EXPECT_EQ(std::string(device.DeviceName), "\\\\.\\DISPLAY" + std::to_string(i + 1));
    EXPECT_EQ(device.StateFlags, expected[i].flags);
    DISPLAY_DEVICEA monitor{};
    monitor.cb = sizeof monitor;
    ASSERT_TRUE(EnumDisplayDevicesA(device.DeviceName, 0, &monitor, 0));
    EXPECT_FALSE(EnumDisplayDevicesA(device.DeviceName, 1, &monitor, 0));   // one monitor each
    DEVMODEA mode{};
    ASSERT_TRUE(EnumDisplaySettingsA(device.DeviceName, ENUM_REGISTRY_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPosition.x, expected[i].x);
    EXPECT_EQ(mode.dmPosition.y, expected[i].y);
    EXPECT_EQ(mode.dmPelsWidth, expected[i].w);
    EXPECT_EQ(mode.dmPelsHeight, expected[i].h);
    EXPECT_TRUE(mode.dmFields & DM_POSITION);
  }
  DISPLAY_DEVICEA device{};
  EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 4, &device, 0));
  DEVMODEA mode{};
  EXPECT_FALSE(EnumDisplaySettingsA("\\\\.\\DISPLAY9", ENUM_CURRENT_SETTINGS, &mode));

  // Monitor handles: the display with the most overlap; mirrors and detached devices are none.
  RECT first{0, 0, 1920, 1080}, second{1920, -200, 3200, 824}, between{1800, 0, 2100, 100};
  RECT nowhere{-5000, -5000, -4000, -4000};
  HMONITOR a = MonitorFromRect(&first, MONITOR_DEFAULTTONULL);
  HMONITOR b = MonitorFromRect(&second, MONITOR_DEFAULTTONULL);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(MonitorFromRect(&between, MONITOR_DEFAULTTONULL), b);
  EXPECT_EQ(MonitorFromRect(&nowhere, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(MonitorFromRect(&nowhere, MONITOR_DEFAULTTOPRIMARY), a);
  EXPECT_EQ(MonitorFromRect(&nowhere, MONITOR_DEFAULTTONEAREST), a);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
}

TEST_F(Monitors, MalformedFakeListFallsBackToSdlsDisplays) {
  for (const char* bad : {"1920x1080", "0x10+0+0", "1920x1080+0+0:sideways", "axb+0+0", "10x10+0+0,"}) {
    SCOPED_TRACE(bad);
    setenv("TARNWICK_FAKE_DISPLAYS", bad, 1);
    DISPLAY_DEVICEA device{};
    ASSERT_TRUE(EnumDisplayDevicesA(nullptr, 0, &device, 0));   // the offscreen driver's one
    EXPECT_FALSE(EnumDisplayDevicesA(nullptr, 1, &device, 0));
    DEVMODEA mode{};
    ASSERT_TRUE(EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPosition.x, 0);
    EXPECT_GT(mode.dmPelsWidth, 0u);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), int(mode.dmPelsWidth));
  }
}

}  // namespace
