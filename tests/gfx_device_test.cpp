// gfx_device_test.cpp — device creation (present parameters, re-checks, vertex processing,
// safe mode), the gamma ramps, release, the frame's device check and the default frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/default_frame.h"
#include "gfx/device_restore.h"
#include "gfx/device_setup.h"
#include "gfx/gamma_ramp.h"
#include "gfx_fakes.h"

namespace {

FakeDirect3D* gScripted = nullptr;
IDirect3D8* WINAPI scriptedCreate(UINT) { return gScripted; }

// An enumerated list over one adapter (typical modes, D16/D24X8/D32, multisample 0 and 4) with
// 800 × 600 × 32 and 4 samples chosen.
struct Rig {
  FakeDirect3D d3d;
  FakeDevice device;
  DeviceList list;
  std::vector<std::string> log;
  D3DPRESENT_PARAMETERS parameters{};
  IDirect3DDevice8* created = nullptr;
  DeviceOptions options{false, 100, false};

  Rig() {
    FakeAdapter a = typicalAdapter();
    a.depthFormats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
    a.multisampleTypes = {0, 4};
    a.caps.DevCaps = D3DDEVCAPS_TLVERTEXSYSTEMMEMORY;
    a.caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    d3d.adapters = {a};
    d3d.device = &device;
    gScripted = &d3d;
    list.log = [this](const char* text) { log.emplace_back(text); };
    EXPECT_EQ(list.createDirect3D(scriptedCreate), 0);
    list.chooseMode(800, 600, 32, 4);
    log.clear();
  }
  int create() { return createDevice(list, nullptr, options, parameters, &created); }
};

TEST(CreateDevice, FillsPresentParametersFromTheChosenMode) {
  Rig s;
  ASSERT_EQ(s.create(), deviceCreated);
  EXPECT_EQ(s.created, &s.device);
  ASSERT_EQ(s.d3d.creations.size(), 1u);
  const D3DPRESENT_PARAMETERS& p = s.d3d.creations[0].parameters;
  EXPECT_EQ(p.BackBufferWidth, 800u);
  EXPECT_EQ(p.BackBufferHeight, 600u);
  EXPECT_EQ(p.BackBufferFormat, D3DFMT_X8R8G8B8);
  EXPECT_EQ(p.BackBufferCount, 1u);
  EXPECT_EQ(p.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES);
  EXPECT_EQ(p.SwapEffect, D3DSWAPEFFECT_DISCARD);
  EXPECT_EQ(p.hDeviceWindow, nullptr);
  EXPECT_EQ(p.Windowed, FALSE);
  EXPECT_EQ(p.EnableAutoDepthStencil, TRUE);
  EXPECT_EQ(p.AutoDepthStencilFormat, D3DFMT_D32);
  EXPECT_EQ(p.Flags, 0u);
  EXPECT_EQ(p.FullScreen_RefreshRateInHz, 0u);
  EXPECT_EQ(p.FullScreen_PresentationInterval, 0u);
  EXPECT_EQ(s.d3d.creations[0].flags, static_cast<DWORD>(D3DCREATE_HARDWARE_VERTEXPROCESSING));
  EXPECT_EQ(s.log, (std::vector<std::string>{"Create D3D_Device Complete"}));
}

TEST(CreateDevice, VertexProcessingNeedsSystemMemoryTLVerticesAndShaders) {
  struct Case {
    DWORD devCaps;
    DWORD shaderVersion;
    DWORD flags;
  } cases[] = {
      {D3DDEVCAPS_TLVERTEXSYSTEMMEMORY, D3DVS_VERSION(1, 0), D3DCREATE_HARDWARE_VERTEXPROCESSING},
      {D3DDEVCAPS_TLVERTEXSYSTEMMEMORY, 0, D3DCREATE_SOFTWARE_VERTEXPROCESSING},
      {D3DDEVCAPS_HWTRANSFORMANDLIGHT, D3DVS_VERSION(1, 1), D3DCREATE_SOFTWARE_VERTEXPROCESSING},
  };
  for (const Case& c : cases) {
    Rig s;
    s.list.currentDevice().capabilities.DevCaps = c.devCaps;
    s.list.currentDevice().capabilities.VertexShaderVersion = c.shaderVersion;
    ASSERT_EQ(s.create(), deviceCreated);
    EXPECT_EQ(s.d3d.creations.at(0).flags, c.flags);
  }
}

TEST(CreateDevice, RechecksDepthAndMultisampleForTheFormatUsed) {
  Rig s;
  s.d3d.adapters[0].depthFormats = {D3DFMT_D16};
  s.d3d.adapters[0].multisampleTypes = {0};
  ASSERT_EQ(s.create(), deviceCreated);
  EXPECT_EQ(s.d3d.creations.at(0).parameters.AutoDepthStencilFormat, D3DFMT_D16);
  EXPECT_EQ(s.d3d.creations.at(0).parameters.MultiSampleType, D3DMULTISAMPLE_NONE);
}

TEST(CreateDevice, DesktopSettingsUseTheDesktopFormatAndNeedTheDesktopMode) {
  {
    Rig s;
    s.options.useDesktopSettings = true;
    s.d3d.desktop.Format = D3DFMT_R8G8B8;
    ASSERT_EQ(s.create(), deviceCreated);
    EXPECT_EQ(s.d3d.creations.at(0).parameters.BackBufferFormat, D3DFMT_R5G6B5);
    EXPECT_EQ(s.d3d.creations.at(0).parameters.Windowed, FALSE);
  }
  {
    Rig s;
    s.options.useDesktopSettings = true;
    s.d3d.desktopReadable = false;
    EXPECT_EQ(s.create(), deviceNoDesktopMode);
    EXPECT_TRUE(s.d3d.creations.empty());
    EXPECT_EQ(s.created, nullptr);
    EXPECT_EQ(s.log, (std::vector<std::string>{"Cant get Desktop DisplayMode!"}));
  }
  {
    // With the chosen mode the desktop mode is not needed.
    Rig s;
    s.d3d.desktopReadable = false;
    EXPECT_EQ(s.create(), deviceCreated);
  }
}

TEST(CreateDevice, RefusedModeFallsBackToSafeModeThatLaterResetsKeep) {
  Rig s;
  s.d3d.failCreations = 1;
  ASSERT_EQ(s.create(), deviceCreated);
  ASSERT_EQ(s.d3d.creations.size(), 2u);
  const CreateCall& safe = s.d3d.creations[1];
  EXPECT_EQ(safe.flags, static_cast<DWORD>(D3DCREATE_SOFTWARE_VERTEXPROCESSING));
  EXPECT_EQ(safe.parameters.BackBufferWidth, 640u);
  EXPECT_EQ(safe.parameters.BackBufferHeight, 480u);
  EXPECT_EQ(safe.parameters.BackBufferFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(safe.parameters.AutoDepthStencilFormat, D3DFMT_D16);
  EXPECT_EQ(safe.parameters.MultiSampleType, D3DMULTISAMPLE_NONE);
  EXPECT_EQ(safe.parameters.SwapEffect, D3DSWAPEFFECT_DISCARD);   // the rest as before
  EXPECT_EQ(safe.parameters.BackBufferCount, 1u);
  EXPECT_EQ(s.log, (std::vector<std::string>{"Cant create HAL D3D_Device, try use safe mode.",
                                             "Create D3D_Device Complete"}));

  // A reset after a loss asks for the safe-mode back buffer again.
  s.device.cooperativeLevels = {D3DERR_DEVICENOTRESET};
  checkDevice(s.created, s.parameters, s.list.log, nullptr);
  ASSERT_EQ(s.device.resets, 1);
  EXPECT_EQ(s.device.lastReset.BackBufferWidth, 640u);
  EXPECT_EQ(s.device.lastReset.BackBufferFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(s.device.lastReset.AutoDepthStencilFormat, D3DFMT_D16);
}

TEST(CreateDevice, NoDeviceAtAllReturnsTwo) {
  Rig s;
  s.d3d.failCreations = 2;
  EXPECT_EQ(s.create(), deviceNotCreated);
  EXPECT_EQ(s.created, nullptr);
  EXPECT_TRUE(s.device.gammaFlags.empty());
  EXPECT_EQ(s.log, (std::vector<std::string>{"Cant create HAL D3D_Device, try use safe mode.",
                                             "Cant create any HAL D3D_Device!"}));
}

TEST(GammaRamp, WorkedValues) {
  struct Case {
    uint8_t gamma;
    WORD entry0, entry1, entry255;
  } cases[] = {
      {100, 0, 256, 65280},            // identity
      {10, 0, 76, 19380},              // step 76: dark
      {200, 38325, 38431, 65355},      // step 106: washed out
      {101, 585, 839, 65355},          // step 254
      {0, 0, 56, 14280},               // darkest: step 56
      {255, 59490, 59513, 65355},      // step 23 (23.5 truncated)
  };
  for (const Case& c : cases) {
    D3DGAMMARAMP ramp{};
    buildGammaRamp(c.gamma, ramp);
    EXPECT_EQ(ramp.red[0], c.entry0) << int(c.gamma);
    EXPECT_EQ(ramp.red[1], c.entry1) << int(c.gamma);
    EXPECT_EQ(ramp.red[255], c.entry255) << int(c.gamma);
    for (int i = 0; i < 256; ++i) {
      ASSERT_EQ(ramp.green[i], ramp.red[i]);
      ASSERT_EQ(ramp.blue[i], ramp.red[i]);
      if (i > 0) ASSERT_GT(ramp.red[i], ramp.red[i - 1]) << int(c.gamma);
    }
  }
}

TEST(GammaRamp, CreationSetsTheSettingAndLeavingRestoresIdentity) {
  Rig s;
  s.options.gamma = 10;
  ASSERT_EQ(s.create(), deviceCreated);
  ASSERT_EQ(s.device.gammaFlags, (std::vector<DWORD>{D3DSGR_CALIBRATE}));
  EXPECT_EQ(s.device.gamma.blue[255], 19380);

  restoreIdentityGamma(s.created);
  EXPECT_EQ(s.device.gammaFlags.back(), static_cast<DWORD>(D3DSGR_CALIBRATE));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(s.device.gamma.red[i], 256 * i);
}

TEST(ReleaseDevice, ReleasesDeviceThenDirect3DAndToleratesNulls) {
  Rig s;
  ASSERT_EQ(s.create(), deviceCreated);
  releaseDevice(s.list, s.created);
  EXPECT_EQ(s.created, nullptr);
  EXPECT_EQ(s.list.direct3D, nullptr);
  EXPECT_EQ(s.device.references, 0u);
  EXPECT_EQ(s.d3d.references, 0u);
  releaseDevice(s.list, s.created);   // nothing left: nothing happens
}

TEST(CheckDevice, LostSkipsNotResetRestoresOtherFailuresPassThrough) {
  FakeDevice device;
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = 1024;
  std::vector<std::string> log;
  auto line = [&](const char* text) { log.emplace_back(text); };
  int reinitialised = 0;
  auto afterReset = [&] {
    ++reinitialised;
    log.emplace_back("<after reset>");
  };

  device.cooperativeLevels = {D3D_OK, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET, E_FAIL};
  EXPECT_EQ(checkDevice(&device, parameters, line, afterReset), D3D_OK);
  EXPECT_EQ(checkDevice(&device, parameters, line, afterReset), D3DERR_DEVICELOST);
  EXPECT_EQ(device.resets, 0);
  EXPECT_TRUE(log.empty());

  EXPECT_EQ(checkDevice(&device, parameters, line, afterReset), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device.resets, 1);
  EXPECT_EQ(device.lastReset.BackBufferWidth, 1024u);
  EXPECT_EQ(log, (std::vector<std::string>{"Device was lost.", "Try to restore.", "<after reset>",
                                           "Restore state to complete.", ""}));

  EXPECT_EQ(checkDevice(&device, parameters, line, afterReset), E_FAIL);
  EXPECT_EQ(device.resets, 1);
  EXPECT_EQ(reinitialised, 1);
}

TEST(DefaultFrame, ClearsBluePresentsAndSetsTheStandingState) {
  FakeDevice device;
  int overlays = 0;
  drawDefaultFrame(&device, [&] {
    ++overlays;
    device.events.push_back("overlay");
  });
  EXPECT_EQ(device.events,
            (std::vector<const char*>{"clear", "begin", "overlay", "end", "present"}));
  EXPECT_EQ(device.clearColour, 0xFF0000FFu);
  EXPECT_EQ(device.clearFlags, static_cast<DWORD>(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER));
  EXPECT_EQ(device.clearDepth, 1.0f);

  setDefaultDeviceState(&device);
  EXPECT_EQ(device.renderStates[D3DRS_SRCBLEND], static_cast<DWORD>(D3DBLEND_SRCALPHA));
  EXPECT_EQ(device.renderStates[D3DRS_DESTBLEND], static_cast<DWORD>(D3DBLEND_ONE));
  EXPECT_EQ(device.renderStates[D3DRS_ALPHAREF], 32u);
  EXPECT_EQ(device.renderStates[D3DRS_ALPHAFUNC], static_cast<DWORD>(D3DCMP_GREATEREQUAL));
  EXPECT_EQ(device.renderStates[D3DRS_LIGHTING], static_cast<DWORD>(FALSE));
  EXPECT_EQ((device.stageStates[{0, D3DTSS_COLOROP}]), static_cast<DWORD>(D3DTOP_MODULATE));
  EXPECT_EQ(device.material.Power, 50.0f);
  EXPECT_EQ(device.material.Diffuse.a, 1.0f);
  const D3DMATRIX& projection = device.transforms[D3DTS_PROJECTION];
  EXPECT_EQ(projection._34, 1.0f);   // perspective divide by view-space z
  EXPECT_EQ(projection._44, 0.0f);

  // The view from (0, 0, −1) puts the origin one unit in front of the eye.
  setDefaultView(&device);
  const D3DMATRIX& view = device.transforms[D3DTS_VIEW];
  EXPECT_EQ(view._43, 1.0f);
  EXPECT_EQ(view._11, 1.0f);
  EXPECT_EQ(view._22, 1.0f);
  EXPECT_EQ(view._33, 1.0f);
}

}  // namespace
