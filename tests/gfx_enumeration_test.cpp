// gfx_enumeration_test.cpp — the device list against a scripted Direct3D: modes, formats, depth
// and multisample flags, capacities, the mode choice and the error path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/device_error.h"
#include "gfx/device_list.h"
#include "gfx_fakes.h"

namespace {

FakeDirect3D* gScripted = nullptr;
IDirect3D8* WINAPI scriptedCreate(UINT sdkVersion) {
  return sdkVersion == D3D_SDK_VERSION ? gScripted : nullptr;
}

struct Enumerated {
  FakeDirect3D d3d;
  DeviceList list;
  std::vector<std::string> log;
  HRESULT result = 0;

  explicit Enumerated(std::vector<FakeAdapter> adapters) {
    d3d.adapters = std::move(adapters);
    list.log = [this](const char* text) { log.emplace_back(text); };
    gScripted = &d3d;
    result = list.createDirect3D(scriptedCreate);
  }
  std::vector<std::string> labels() {
    std::vector<std::string> out;
    const HalDeviceRecord& hal = list.currentDevice();
    for (uint32_t m = 0; m < hal.modeCount; ++m) {
      char text[48];
      modeLabel(hal.modes[m], text);
      out.emplace_back(text);
    }
    return out;
  }
};

TEST(DeviceEnumeration, CollapsesRefreshRatesAndSortsBySize) {
  Enumerated e({typicalAdapter()});
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.list.direct3D, &e.d3d);
  EXPECT_EQ(e.log, (std::vector<std::string>{"\xD1reate D3D complete", "Enumerate Device List complete"}));
  ASSERT_EQ(e.list.adapterCount, 1u);
  EXPECT_STREQ(e.list.adapters[0].identifier.Description, "fake adapter");
  EXPECT_STREQ(e.list.adapters[0].hal.typeName, "HAL");

  // Same-size modes may come in either format order; sizes ascend.
  std::vector<std::string> labels = e.labels();
  ASSERT_EQ(labels.size(), 4u);
  std::sort(labels.begin(), labels.begin() + 2);
  std::sort(labels.begin() + 2, labels.end());
  EXPECT_EQ(labels, (std::vector<std::string>{"640 x 480 16 bits", "640 x 480 32 bits",
                                              "800 x 600 16 bits", "800 x 600 32 bits"}));

  // The smallest mode is current and selected, with the only depth format there is.
  EXPECT_EQ(e.list.selectedWidth, 640u);
  EXPECT_EQ(e.list.selectedHeight, 480u);
  EXPECT_EQ(e.list.selectedFormat, e.list.currentDevice().modes[0].format);
  EXPECT_EQ(e.list.selectedDepthFormat, D3DFMT_D16);
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(e.list.selectedWindowed, 0u);
}

TEST(DeviceEnumeration, DropsSmallModesAndFormatsTheDeviceRefuses) {
  FakeAdapter a;
  a.modes = {{640, 350, 60, D3DFMT_X8R8G8B8},  {512, 384, 60, D3DFMT_X8R8G8B8},
             {639, 480, 60, D3DFMT_X8R8G8B8},  {640, 400, 60, D3DFMT_X8R8G8B8},
             {1024, 768, 60, D3DFMT_A1R5G5B5}, {800, 600, 60, D3DFMT_X8R8G8B8}};
  a.deviceTypeFormats = {D3DFMT_X8R8G8B8};   // A1R5G5B5 is listed but refused
  Enumerated e({a});
  ASSERT_EQ(e.result, 0);
  EXPECT_EQ(e.labels(), (std::vector<std::string>{"640 x 400 32 bits", "800 x 600 32 bits"}));
}

TEST(DeviceEnumeration, DepthFormatPrefersD32ThenD24X8) {
  struct Case {
    std::set<DWORD> usable;
    D3DFORMAT chosen;
  } cases[] = {
      {{D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32}, D3DFMT_D32},
      {{D3DFMT_D24X8, D3DFMT_D32}, D3DFMT_D32},
      {{D3DFMT_D16, D3DFMT_D24X8}, D3DFMT_D24X8},
      {{D3DFMT_D16}, D3DFMT_D16},
      {{}, D3DFMT_D16},
  };
  for (const Case& c : cases) {
    FakeAdapter a = typicalAdapter();
    a.depthFormats = c.usable;
    Enumerated e({a});
    ASSERT_EQ(e.result, 0);
    EXPECT_EQ(e.list.currentDevice().depthFormat, c.chosen);
    EXPECT_EQ(e.list.selectedDepthFormat, c.chosen);
  }
}

TEST(DeviceEnumeration, MultisampleChoicesAreTheSupportedTypesInOrder) {
  FakeAdapter a = typicalAdapter();
  a.multisampleTypes = {0, 2, 4};
  Enumerated e({a});
  ASSERT_EQ(e.result, 0);

  std::vector<std::string> shown;
  for (uint32_t p = 0; p < multisampleListSize; ++p) {
    if (!e.list.currentDevice().multisampleSupported[p]) continue;
    char text[16];
    multisampleLabel(p, text);
    shown.emplace_back(text);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"None", "2 samples", "4 samples"}));

  e.list.selectMultisampleOrdinal(2);
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_4_SAMPLES);
  e.list.selectMultisampleOrdinal(1);
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_2_SAMPLES);
  e.list.selectMultisampleOrdinal(3);   // past the supported ones: unchanged
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_2_SAMPLES);
}

TEST(DeviceEnumeration, ChooseModeMatchesStoredSettingsOrKeepsTheCurrentChoice) {
  FakeAdapter a = typicalAdapter();
  a.multisampleTypes = {0, 4};
  Enumerated e({a});
  ASSERT_EQ(e.result, 0);
  const DisplayModeEntry first = e.list.currentDevice().modes[0];

  e.list.changed = 0;
  e.list.chooseMode(1024, 768, 32, 2);   // neither the mode nor the type exists
  EXPECT_EQ(e.list.currentDevice().currentMode, 0u);
  EXPECT_EQ(e.list.selectedWidth, first.width);
  EXPECT_EQ(e.list.selectedFormat, first.format);
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(e.list.changed, 0u);

  e.list.chooseMode(800, 600, 16, 4);
  EXPECT_EQ(e.list.selectedWidth, 800u);
  EXPECT_EQ(e.list.selectedHeight, 600u);
  EXPECT_EQ(e.list.selectedFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_4_SAMPLES);
  EXPECT_EQ(e.list.changed, 1u);

  e.list.chooseMode(800, 600, 32, 0);
  EXPECT_EQ(e.list.selectedFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(e.list.selectedMultisample, D3DMULTISAMPLE_NONE);

  e.list.selectModeIndex(e.list.currentDevice().modeCount);   // out of range: unchanged
  EXPECT_EQ(e.list.selectedWidth, 800u);
  e.list.selectModeIndex(0);
  EXPECT_EQ(e.list.selectedWidth, 640u);
}

TEST(DeviceEnumeration, KeepsTheSmallestModesWhenMoreThanFitAndSortsThem) {
  FakeAdapter a;
  for (UINT i = 0; i < 200; ++i) a.modes.push_back({2000 - i * 4, 400 + (i % 7), 60, D3DFMT_X8R8G8B8});
  a.deviceTypeFormats = {D3DFMT_X8R8G8B8};
  Enumerated e({a});
  ASSERT_EQ(e.result, 0);
  const HalDeviceRecord& hal = e.list.currentDevice();
  ASSERT_EQ(hal.modeCount, maxModesPerAdapter);
  EXPECT_EQ(hal.modes[0].width, 2000u - 199 * 4);
  for (uint32_t m = 1; m < hal.modeCount; ++m) EXPECT_LT(hal.modes[m - 1].width, hal.modes[m].width);
  EXPECT_EQ(hal.modes[maxModesPerAdapter - 1].width, 2000u - 50 * 4);
}

TEST(DeviceEnumeration, PacksUsableAdaptersAndKeepsAtMostTen) {
  FakeAdapter unusable = typicalAdapter();
  unusable.deviceTypeFormats.clear();
  unusable.description = "unusable";
  std::vector<FakeAdapter> adapters{unusable};
  static const char* names[12] = {"a0", "a1", "a2", "a3", "a4", "a5",
                                   "a6", "a7", "a8", "a9", "a10", "a11"};
  for (const char* name : names) {
    adapters.push_back(typicalAdapter());
    adapters.back().description = name;
  }
  Enumerated e(adapters);
  ASSERT_EQ(e.result, 0);
  ASSERT_EQ(e.list.adapterCount, maxAdapters);
  for (uint32_t i = 0; i < maxAdapters; ++i)
    EXPECT_STREQ(e.list.adapters[i].identifier.Description, names[i]);
}

TEST(DeviceEnumeration, FailuresAreReportedAndReleaseDirect3D) {
  {
    // No Direct3D at all.
    DeviceList list;
    std::vector<std::string> log;
    list.log = [&](const char* text) { log.emplace_back(text); };
    gScripted = nullptr;
    EXPECT_EQ(list.createDirect3D(scriptedCreate), deviceErrorNoDirect3D);
    EXPECT_EQ(list.direct3D, nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{deviceErrorMessage(deviceErrorNoDirect3D)}));
  }
  {
    // Only modes below 640 × 400, and an adapter without any mode.
    FakeAdapter small;
    small.modes = {{640, 350, 60, D3DFMT_X8R8G8B8}};
    small.deviceTypeFormats = {D3DFMT_X8R8G8B8};
    Enumerated e({small, FakeAdapter{}});
    EXPECT_EQ(e.result, deviceErrorNoCompatibleDevice);
    EXPECT_EQ(e.list.direct3D, nullptr);
    EXPECT_EQ(e.d3d.references, 0u);
    EXPECT_EQ(e.log, (std::vector<std::string>{"\xD1reate D3D complete", "Cant Enumerate Device List",
                                               "Could not find any compatible Direct3D\ndevices."}));
  }
}

TEST(DeviceErrorMessage, TableAndFallback) {
  EXPECT_STREQ(deviceErrorMessage(deviceErrorNoCompatibleDevice),
               "Could not find any compatible Direct3D\ndevices.");
  EXPECT_STREQ(deviceErrorMessage(deviceErrorResetFailed), "Could not reset the Direct3D device.");
  EXPECT_STREQ(deviceErrorMessage(E_OUTOFMEMORY), "Not enough memory.");
  EXPECT_STREQ(deviceErrorMessage(D3DERR_OUTOFVIDEOMEMORY), "Not enough video memory.");
  EXPECT_STREQ(deviceErrorMessage(static_cast<HRESULT>(0x82000002u)), "Generic application error.");
  EXPECT_STREQ(deviceErrorMessage(E_FAIL), "Generic application error.");

  DeviceList list;
  std::vector<std::string> log;
  list.log = [&](const char* text) { log.emplace_back(text); };
  EXPECT_EQ(list.reportDeviceError(deviceErrorNoMedia), deviceErrorNoMedia);
  EXPECT_EQ(log, (std::vector<std::string>{"Could not load required media."}));
}

}  // namespace
