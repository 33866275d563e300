// saver_app.cpp — start-up, dispatch by run mode, the frame loop, the frame step and shutdown.
#include "shell/saver_app.h"

#include "gfx/default_frame.h"
#include "gfx/device_restore.h"
#include "gfx/device_setup.h"
#include "gfx/loading_screen.h"
#include "platform/runtime.h"
#include "shell/command_line.h"

SaverApp* theSaverApp = nullptr;

const char* const saverWindowClass = "Quenby SS";
const char* const configDialogTitle = "Tarnwick 3D Screensaver Configuration";

SaverApp::SaverApp() : settings(defaultSaverSettings) { theSaverApp = this; }

SaverApp::~SaverApp() {
  if (theSaverApp == this) theSaverApp = nullptr;
}

RunMode SaverApp::parseCommandLine(const char* text) {
  uintptr_t window = 0;
  const RunMode mode = parseSaverSwitch(text, &window);
  commandLineWindow = reinterpret_cast<HWND>(window);
  return mode;
}

void SaverApp::initialize(HINSTANCE instanceHandle) {
  initConstants();
  if (runtimeOptions().logging) loggingEnabled = true;
  InitCommonControls();
  instance = instanceHandle;
  runMode = parseCommandLine(GetCommandLineA());
  if (windowedDebug) runMode = full;

  runLog.enabled = loggingEnabled;
  if (runMode == preview || runMode == full || runMode == test)
    runLog.open("Saver_Log.txt");
  else if (runMode == config)
    runLog.open("Config_Log.txt");

  okToRun = createDirect3D();

  // One saver at a time: another saver window or an open settings dialog ends this start.
  if (FindWindowA(saverWindowClass, nullptr) || FindWindowA(nullptr, configDialogTitle))
    okToRun = false;
  if (!okToRun) return;

  confirmDevice();
  buildMonitorList();

  if (runMode == preview || runMode == full || runMode == test) {
    if (!createSaverWindows()) runLog.line("Cannot create Saver Window!");
    runLog.line("Create Saver Window complete");
  }
  if (runMode == preview) {
    // Without a host window nothing would ever end the start-up loop: end the run instead.
    if (!mainWindow) {
      okToRun = false;
      return;
    }
    runPreviewStartup();
  }
}

// Lets the preview window appear and paint for about half a second (timer 1 ends it).
void SaverApp::runPreviewStartup() {
  previewStartup = true;
  PostMessageA(mainWindow, WM_USER, 0, 0);
  MSG msg{};
  while (previewStartup) {
    if (!GetMessageA(&msg, mainWindow, 0, 0)) {
      PostQuitMessage(0);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

int SaverApp::run() {
  if (!okToRun) return 0;
  switch (runMode) {
    case config:
      showConfigDialog();
      break;
    case passwordChange:
      changePassword();
      break;
    case preview:
    case full:
    case test:
      readSettings(settings);
      readExtraSettings();
      chooseDisplayMode();
      runSaverLoop();
      DestroyWindow(mainWindow);
      break;
  }
  return 0;
}

bool SaverApp::frameLimitReached() {
  const long limit = runtimeOptions().frameLimit;
  return limit >= 0 && ++frameLoopTurns_ >= limit;
}

int SaverApp::runSaverLoop() {
  // Windows 9x password set-up: never on this platform (it reports an NT-family system).
  if (runMode != preview) {
    switch (createDevice()) {
      case 1:
        MessageBoxA(mainWindow, "Cant get Desktop DisplayMode.", "Error!", MB_ICONERROR);
        return 0;
      case 2:
        MessageBoxA(mainWindow, "Could not find any compatible Direct3D\ndevices.", "Error!",
                    MB_ICONERROR);
        return 0;
      default:
        break;
    }
    loadDigitTextures();
    loadScene(device);
    afterLoad(device);
    startSound();
    runLog.line("All Data Was Loaded.");
  }

  SetTimer(mainWindow, frameCounterTimer, 1000, nullptr);
  quitFlag = false;
  lastFrameTime = static_cast<float>(timeGetTime());

  MSG msg{};
  while (msg.message != WM_QUIT && !quitFlag) {
    // A host's SIGTERM ends the run in order: sound off, gamma back, log closed.
    if (terminationRequested()) {
      shutdownSaver();
      break;
    }
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      continue;
    }
    if (runMode != preview) {
      advanceFrameClock();
      frameStep();
    } else {
      // The preview draws nothing per turn; rest briefly instead of spinning a core.
      Sleep(10);
    }
    if (frameLimitReached()) shutdownSaver();
  }
  return 0;
}

HRESULT SaverApp::frameStep() {
  if (!device) return E_FAIL;
  const double now = static_cast<double>(timeGetTime());
  double elapsed = now - static_cast<double>(lastFrameTime);
  lastFrameTime = static_cast<float>(timeGetTime());
  if (elapsed < 0) elapsed = 0;

  // A lost device skips the frame; one that can be reset is restored, and the clock restarts so
  // the time spent lost never reaches the scene as one step.
  const HRESULT state = checkDevice(device, presentParameters, deviceList.log, [this] {
    initDeviceObjects(device);
    presentParity = 1;
    lastFrameTime = static_cast<float>(timeGetTime());
  });
  if (state < 0) return state;

  frameMove(device, static_cast<float>(elapsed));
  render(device);
  presentParity = 1 - presentParity;
  frameCount += 1;
  return 0;
}

int SaverApp::interruptSaver() {
  if (runMode != full && runMode != test) return 0;
  // The Windows 9x password check never applies here (NT-family system).
  shutdownSaver();
  return 1;
}

void SaverApp::shutdownSaver() {
  stopSound();
  if (device) restoreIdentityGamma(device);   // undo the gamma setting whatever it was
  releaseAllTextures();
  finalCleanup();
  releaseDevice();
  KillTimer(mainWindow, frameCounterTimer);
  passwordLibrary = nullptr;
  quitFlag = true;
  runLog.close();
}

LRESULT SaverApp::defaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// ---- default drawing hooks: standing state, a fixed view, a blue frame ----
void SaverApp::initDeviceObjects(IDirect3DDevice8* d3dDevice) { setDefaultDeviceState(d3dDevice); }
void SaverApp::showLoadingScreen(IDirect3DDevice8* d3dDevice) {
  ::showLoadingScreen(d3dDevice, overlay, theBufferPool, presentParity, runLogWriter());
}
void SaverApp::frameMove(IDirect3DDevice8* d3dDevice, float) { setDefaultView(d3dDevice); }
void SaverApp::render(IDirect3DDevice8* d3dDevice) {
  drawDefaultFrame(d3dDevice, [this, d3dDevice] { drawOverlay(d3dDevice); });
}

void SaverApp::drawOverlay(IDirect3DDevice8* d3dDevice) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const OverlayOptions options{settings.showTime != 0, settings.clock24Hour != 0,
                               settings.showFrameCounter != 0};
  ::drawOverlay(d3dDevice, overlay, theTextureManager, theBufferPool, options, framesPerSecond, now);
}

// The run log as a line writer for the device layer, the loading screen and the glyph loading.
std::function<void(const char*)> SaverApp::runLogWriter() {
  return [this](const char* text) { runLog.line(text); };
}

// ---- steps of the device layer ----
bool SaverApp::createDirect3D() {
  deviceList.log = runLogWriter();
  return deviceList.createDirect3D() == 0;
}

// Chooses the stored mode (or keeps the smallest) and copies the choice back into the settings.
void SaverApp::chooseDisplayMode() {
  deviceList.chooseMode(static_cast<uint32_t>(settings.width), static_cast<uint32_t>(settings.height),
                        static_cast<uint32_t>(settings.bitCount),
                        static_cast<uint32_t>(settings.antialiasing));
  settings.width = static_cast<int32_t>(deviceList.selectedWidth);
  settings.height = static_cast<int32_t>(deviceList.selectedHeight);
  settings.bitCount = static_cast<int32_t>(formatBitDepth(deviceList.selectedFormat));
  settings.antialiasing = static_cast<int32_t>(deviceList.selectedMultisample);
}

// 0 with the device made, its objects set up and the loading screen shown; 1 without a desktop
// mode (desktop settings on); 2 without any device.
int SaverApp::createDevice() {
  const DeviceOptions options{settings.useDesktopSettings != 0, settings.gamma, windowedDebug};
  const int result = ::createDevice(deviceList, mainWindow, options, presentParameters, &device);
  if (result != deviceCreated) return result;
  theTextureManager.init(deviceList.direct3D, device, presentParameters.BackBufferFormat, mainWindow);
  theBufferPool.init(device, mainWindow);
  initDeviceObjects(device);
  runLog.line("Init D3D_Device Complete");
  showLoadingScreen(device);
  return 0;
}

void SaverApp::releaseDevice() { ::releaseDevice(deviceList, device); }

// ---- steps of the dialog and password layers, and the textures ----
void SaverApp::showConfigDialog() {}
void SaverApp::changePassword() {}
void SaverApp::loadDigitTextures() {
  ::loadDigitTextures(overlay, theTextureManager, runLogWriter());
}
void SaverApp::releaseAllTextures() { theTextureManager.releaseAll(); }
