// saver_app.h — the application base class: run modes, start-up, the frame loop and shutdown.
//
// One object of a derived class exists per process; window and dialog procedures reach it
// through `theSaverApp`. The virtual operations are the seam to the scene: the base versions
// are empty or a minimal default.
#pragma once

#include <cstdint>
#include <functional>

#include "gfx/device_list.h"
#include "gfx/screen_overlay.h"
#include "platform/win32/windows.h"
#include "shell/run_log.h"
#include "shell/run_mode.h"
#include "shell/saver_settings.h"

struct IDirect3DDevice8;

// One display device with its first monitor, as the full-screen mode covers it.
struct MonitorEntry {
  char adapterDescription[128];
  char monitorDescription[128];
  HMONITOR monitor;   // null when the device is not part of the desktop
  RECT screen;        // the device's area on the desktop
  HWND window;        // the saver window made for it in full screen
};

constexpr int maxMonitors = 9;
constexpr UINT_PTR previewStartupTimer = 1;   // 500 ms, ends the preview start-up loop
constexpr UINT_PTR frameCounterTimer = 7;     // 1000 ms, copies the frame count

// Title and class of every saver window, and the configuration dialog's title: a second start
// finds either and ends quietly.
extern const char* const saverWindowClass;
extern const char* const configDialogTitle;

class SaverApp {
 public:
  SaverApp();
  virtual ~SaverApp();
  SaverApp(const SaverApp&) = delete;
  SaverApp& operator=(const SaverApp&) = delete;

  // ---- the run ----
  void initialize(HINSTANCE instance);
  int run();
  RunMode parseCommandLine(const char* text);
  int runSaverLoop();
  HRESULT frameStep();
  int interruptSaver();
  void shutdownSaver();

  // ---- monitors and windows ----
  void buildMonitorList();
  bool createSaverWindows();
  LRESULT handleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // ---- virtual operations, in table order ----
  virtual void initConstants() {}
  virtual void readExtraSettings() {}
  virtual void writeExtraSettings() {}
  virtual void resetExtraSettings() {}
  virtual void initExtraControls(HWND /*dialog*/) {}
  virtual LRESULT extraDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
  virtual LRESULT defaultWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  virtual void startSound() {}
  virtual void stopSound() {}
  virtual void confirmDevice() {}
  virtual void initDeviceObjects(IDirect3DDevice8* device);
  virtual void showLoadingScreen(IDirect3DDevice8* device);
  virtual HRESULT loadScene(IDirect3DDevice8*) { return 0; }
  virtual HRESULT afterLoad(IDirect3DDevice8*) { return 0; }
  virtual void frameMove(IDirect3DDevice8* device, float elapsedMs);
  virtual void render(IDirect3DDevice8* device);
  virtual HRESULT finalCleanup() { return 0; }

  // ---- state ----
  bool quitFlag = false;
  bool windowedDebug = false;
  bool okToRun = false;
  HWND commandLineWindow = nullptr;
  RunMode runMode = config;
  HINSTANCE instance = nullptr;
  HWND mainWindow = nullptr;
  MonitorEntry monitors[maxMonitors] = {};
  int monitorCount = 0;
  HMODULE passwordLibrary = nullptr;
  bool previewStartup = false;
  bool isWindows9x = false;
  BOOL(WINAPI* passwordCheck)(HWND) = nullptr;
  SaverSettings settings;
  bool effectsAllowed = true;
  DeviceList deviceList;
  IDirect3DDevice8* device = nullptr;
  ScreenOverlay overlay;   // screen quad, glyph slots, colour and layout of clock and counter
  int32_t presentParity = 1;
  int32_t framesPerSecond = 0;
  int32_t frameCount = 0;
  float lastFrameTime = 0.0f;
  HBITMAP previewPicture = nullptr;
  int32_t mouseMoveCountdown = 30;
  D3DPRESENT_PARAMETERS presentParameters = {};   // kept for the run: a reset uses them again
  bool loggingEnabled = false;
  RunLog runLog;

 protected:
  // Steps of the device layer: the Direct3D object and its device list, the mode choice (copied
  // back into the settings), the device and its release. The dialog and password steps report
  // what a system without them would until those layers exist.
  bool createDirect3D();
  void chooseDisplayMode();
  void showConfigDialog();
  void changePassword();
  int createDevice();
  void releaseDevice();
  void loadDigitTextures();
  void releaseAllTextures();
  // The clock and frame counter over the frame; between BeginScene and EndScene.
  void drawOverlay(IDirect3DDevice8* device);

 private:
  std::function<void(const char*)> runLogWriter();
  void runPreviewStartup();
  bool frameLimitReached();
  long frameLoopTurns_ = 0;
};

// The process-wide pointer to the one application object (set by its constructor).
extern SaverApp* theSaverApp;

// The saver window class's procedure: forwards to the application object.
LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
