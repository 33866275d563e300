// saver_window.cpp — the monitor list, the saver windows of each run mode and their messages.
#include <cstring>

#include "shell/saver_app.h"

namespace {

constexpr int previewPictureId = 432;
constexpr int previewPictureWidth = 155;
constexpr int previewPictureHeight = 115;
constexpr int windowIconId = 224;

void copyText(char (&to)[128], const char* from) {
  std::strncpy(to, from, sizeof to - 1);
  to[sizeof to - 1] = '\0';
}

}  // namespace

void SaverApp::buildMonitorList() {
  monitorCount = 0;
  DISPLAY_DEVICEA device{};
  device.cb = sizeof device;
  for (DWORD i = 0; monitorCount < maxMonitors && EnumDisplayDevicesA(nullptr, i, &device, 0);
       ++i, device = DISPLAY_DEVICEA{}, device.cb = sizeof device) {
    if (device.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) continue;
    DISPLAY_DEVICEA monitor{};
    monitor.cb = sizeof monitor;
    EnumDisplayDevicesA(device.DeviceName, 0, &monitor, 0);

    MonitorEntry& entry = monitors[monitorCount];
    entry = MonitorEntry{};
    copyText(entry.adapterDescription, device.DeviceString);
    copyText(entry.monitorDescription, monitor.DeviceString);
    if (device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) {
      DEVMODEA mode{};
      mode.dmSize = sizeof mode;
      EnumDisplaySettingsA(device.DeviceName, ENUM_REGISTRY_SETTINGS, &mode);
      const bool primary = (device.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
      entry.screen.left = primary ? 0 : mode.dmPosition.x;
      entry.screen.top = primary ? 0 : mode.dmPosition.y;
      entry.screen.right = entry.screen.left + static_cast<LONG>(mode.dmPelsWidth);
      entry.screen.bottom = entry.screen.top + static_cast<LONG>(mode.dmPelsHeight);
      entry.monitor = MonitorFromRect(&entry.screen, MONITOR_DEFAULTTONULL);
    }
    ++monitorCount;
  }
}

bool SaverApp::createSaverWindows() {
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = saverWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(windowIconId));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = saverWindowClass;
  RegisterClassA(&windowClass);

  switch (runMode) {
    case preview: {
      RECT client{};
      GetClientRect(commandLineWindow, &client);
      mainWindow = CreateWindowExA(0, saverWindowClass, saverWindowClass, WS_CHILD | WS_VISIBLE,
                                   0, 0, client.right - client.left, client.bottom - client.top,
                                   commandLineWindow, nullptr, instance, nullptr);
      break;
    }
    case full:
      mainWindow = nullptr;
      for (int i = 0; i < monitorCount; ++i) {
        MonitorEntry& entry = monitors[i];
        if (!entry.monitor) continue;
        const RECT& r = entry.screen;
        HWND window = CreateWindowExA(WS_EX_TOPMOST, saverWindowClass, saverWindowClass,
                                      WS_POPUP | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                      r.bottom - r.top, mainWindow, nullptr, instance, nullptr);
        if (!window) return false;
        entry.window = window;
        if (!mainWindow) mainWindow = window;
      }
      break;
    case test: {
      const DWORD style = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
      RECT outer{50, 50, 50 + 600, 50 + 400};
      AdjustWindowRect(&outer, style, FALSE);
      mainWindow = CreateWindowExA(0, saverWindowClass, saverWindowClass, style, outer.left,
                                   outer.top, outer.right - outer.left, outer.bottom - outer.top,
                                   nullptr, nullptr, instance, nullptr);
      break;
    }
    default:
      break;
  }
  if (!mainWindow) return false;
  SetCursor(nullptr);
  return true;
}

LRESULT SaverApp::handleWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      if (runMode == preview)
        previewPicture = LoadBitmapA(instance, MAKEINTRESOURCEA(previewPictureId));
      break;
    case WM_PAINT:
      if (runMode == preview) {
        PAINTSTRUCT paint{};
        HDC target = BeginPaint(window, &paint);
        if (previewPicture) {
          HDC source = CreateCompatibleDC(target);
          HGDIOBJ previous = SelectObject(source, previewPicture);
          BitBlt(target, 0, 0, previewPictureWidth, previewPictureHeight, source, 0, 0, SRCCOPY);
          SelectObject(source, previous);
          DeleteDC(source);
        }
        EndPaint(window, &paint);
        return 0;
      }
      break;
    case WM_USER:
      SetTimer(window, previewStartupTimer, 500, nullptr);
      break;
    case WM_TIMER:
      if (wParam == previewStartupTimer) {
        previewStartup = false;
        KillTimer(window, previewStartupTimer);
      } else if (wParam == frameCounterTimer) {
        framesPerSecond = frameCount;
        frameCount = 0;
      }
      break;
    case WM_CLOSE:
    case WM_DESTROY:
      quitFlag = true;
      return 1;
    case WM_SETCURSOR:
      if (runMode == full) return 1;
      break;
    case WM_KEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (runMode != test) return interruptSaver();
      break;
    case WM_ACTIVATEAPP:
      if (wParam == 0 && runMode != test) return interruptSaver();
      break;
    case WM_MOUSEMOVE:
      if (runMode != preview && settings.exitOnMouseMove) {
        mouseMoveCountdown -= 1;
        if (mouseMoveCountdown < 0) return interruptSaver();
      }
      break;
    case WM_SYSCOMMAND:
      if (runMode == full) {
        const WPARAM command = wParam & 0xFFF0;
        if (command == SC_CLOSE || command == SC_NEXTWINDOW || command == SC_PREVWINDOW ||
            command == SC_SCREENSAVE)
          return interruptSaver();
      }
      break;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMSUSPEND && !passwordCheck) return interruptSaver();
      break;
    default:
      break;
  }
  return defaultWindowProc(window, message, wParam, lParam);
}

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!theSaverApp) return DefWindowProcA(window, message, wParam, lParam);
  return theSaverApp->handleWindowMessage(window, message, wParam, lParam);
}
