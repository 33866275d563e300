// gfx_frame_step_test.cpp — the application's frame step and shutdown over a recording device:
// lost frames are skipped, a resettable device is restored once, the clock restarts, and the
// identity gamma ramp is set back when the run ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx/default_frame.h"
#include "gfx/gamma_ramp.h"
#include "gfx_fakes.h"
#include "platform/runtime.h"
#include "shell/saver_app.h"

namespace {

struct RecordingApp : SaverApp {
  using SaverApp::chooseDisplayMode;
  using SaverApp::createDevice;
  std::vector<float> elapsed;   // one per frameMove
  int initialisations = 0;
  void frameMove(IDirect3DDevice8* d, float ms) override {
    elapsed.push_back(ms);
    SaverApp::frameMove(d, ms);
  }
  void initDeviceObjects(IDirect3DDevice8* d) override {
    ++initialisations;
    SaverApp::initDeviceObjects(d);
  }
};

class FrameStep : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = runtimeOptions();
    RuntimeOptions virtualClock = saved_;
    virtualClock.fixedStepMs = 1000;   // every turn of the loop is one second
    setRuntimeOptions(virtualClock);
    app.device = &device;
    app.presentParameters.BackBufferWidth = 640;
    app.deviceList.log = [this](const char* text) { log.emplace_back(text); };
    app.lastFrameTime = static_cast<float>(timeGetTime());
  }
  void TearDown() override {
    app.device = nullptr;
    setRuntimeOptions(saved_);
  }
  HRESULT turn() {
    advanceFrameClock();
    return app.frameStep();
  }

  RuntimeOptions saved_;
  FakeDevice device;
  RecordingApp app;
  std::vector<std::string> log;
};

TEST_F(FrameStep, TenSecondsLostAreSkippedThenRestoredWithoutATimeJump) {
  ASSERT_EQ(turn(), D3D_OK);
  ASSERT_EQ(app.elapsed, (std::vector<float>{1000.0f}));

  device.cooperativeLevels.assign(10, D3DERR_DEVICELOST);
  device.cooperativeLevels.push_back(D3DERR_DEVICENOTRESET);
  // The reset itself takes ten seconds; none of that may reach the scene.
  device.onReset = [] {
    for (int i = 0; i < 10; ++i) advanceFrameClock();
  };
  for (int i = 0; i < 10; ++i) EXPECT_EQ(turn(), D3DERR_DEVICELOST);
  EXPECT_EQ(device.presents, 1);
  EXPECT_EQ(app.elapsed.size(), 1u);
  EXPECT_TRUE(log.empty());

  const int framesBefore = app.frameCount;
  app.presentParity = 0;
  EXPECT_EQ(turn(), D3DERR_DEVICENOTRESET);
  EXPECT_EQ(device.resets, 1);
  EXPECT_EQ(device.lastReset.BackBufferWidth, 640u);
  EXPECT_EQ(app.initialisations, 1);
  EXPECT_EQ(app.presentParity, 1);
  EXPECT_EQ(app.frameCount, framesBefore);   // nothing presented on the restoring turn
  EXPECT_EQ(device.presents, 1);
  EXPECT_EQ(log, (std::vector<std::string>{"Device was lost.", "Try to restore.",
                                           "Restore state to complete.", ""}));

  ASSERT_EQ(turn(), D3D_OK);
  EXPECT_EQ(app.elapsed.back(), 1000.0f);
  EXPECT_EQ(device.presents, 2);
  EXPECT_EQ(device.clearColour, defaultClearColour);
}

TEST_F(FrameStep, ShutdownSetsTheIdentityRampBackAndReleasesTheDevice) {
  buildGammaRamp(10, device.gamma);
  app.shutdownSaver();
  ASSERT_FALSE(device.gammaFlags.empty());
  EXPECT_EQ(device.gammaFlags.back(), static_cast<DWORD>(D3DSGR_CALIBRATE));
  for (int i = 0; i < 256; ++i) ASSERT_EQ(device.gamma.green[i], 256 * i);
  EXPECT_EQ(app.device, nullptr);
  EXPECT_EQ(device.references, 0u);
  EXPECT_TRUE(app.quitFlag);
  EXPECT_EQ(app.frameStep(), E_FAIL);   // no device: nothing to draw
}

FakeDirect3D* gScripted = nullptr;
IDirect3D8* WINAPI scriptedCreate(UINT) { return gScripted; }

TEST_F(FrameStep, ChosenModeIsCopiedBackIntoTheSettings) {
  FakeDirect3D d3d;
  FakeAdapter adapter = typicalAdapter();
  adapter.multisampleTypes = {0, 4};
  d3d.adapters = {adapter};
  gScripted = &d3d;
  ASSERT_EQ(app.deviceList.createDirect3D(scriptedCreate), 0);

  struct Case {
    int32_t width, height, bits, antialiasing;       // stored
    int32_t chosenWidth, chosenHeight, chosenAntialiasing;
  } cases[] = {
      {800, 600, 16, 4, 800, 600, 4},
      {1024, 768, 32, 2, 800, 600, 4},   // no such mode or type: the previous choice stays
      {640, 480, 32, 0, 640, 480, 0},
  };
  for (const Case& c : cases) {
    app.settings.width = c.width;
    app.settings.height = c.height;
    app.settings.bitCount = c.bits;
    app.settings.antialiasing = c.antialiasing;
    app.chooseDisplayMode();
    EXPECT_EQ(app.settings.width, c.chosenWidth);
    EXPECT_EQ(app.settings.height, c.chosenHeight);
    EXPECT_EQ(app.settings.antialiasing, c.chosenAntialiasing);
    EXPECT_EQ(app.settings.bitCount, app.deviceList.selectedFormat == D3DFMT_X8R8G8B8 ? 32 : 16);
  }
  EXPECT_EQ(app.settings.bitCount, 32);
  app.deviceList.direct3D = nullptr;
}

TEST_F(FrameStep, CreateDeviceInitialisesTheDeviceObjectsOrReportsNone) {
  FakeDirect3D d3d;
  d3d.adapters = {typicalAdapter()};
  FakeDevice created;
  d3d.device = &created;
  gScripted = &d3d;
  ASSERT_EQ(app.deviceList.createDirect3D(scriptedCreate), 0);
  log.clear();
  app.settings.useDesktopSettings = 0;
  app.settings.gamma = 200;
  app.device = nullptr;

  ASSERT_EQ(app.createDevice(), 0);
  EXPECT_EQ(app.device, &created);
  EXPECT_EQ(app.initialisations, 1);
  EXPECT_EQ(created.gamma.red[0], 38325);
  EXPECT_EQ(created.renderStates[D3DRS_ALPHAREF], 32u);   // the default standing state
  EXPECT_EQ(log, (std::vector<std::string>{"Create D3D_Device Complete"}));

  d3d.failCreations = 2;
  app.device = nullptr;
  EXPECT_EQ(app.createDevice(), 2);
  EXPECT_EQ(app.device, nullptr);
  EXPECT_EQ(app.initialisations, 1);
  app.deviceList.direct3D = nullptr;
}

}  // namespace
