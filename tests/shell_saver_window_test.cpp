// shell_saver_window_test.cpp — the saver window's message table, timers and monitor windows.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/win32/windows.h"
#include "shell/saver_app.h"

namespace {

constexpr LRESULT passedOn = 77;

// Counts what the table hands on: the default procedure and the orderly shutdown.
class RecordingSaver : public SaverApp {
 public:
  LRESULT defaultWindowProc(HWND, UINT, WPARAM, LPARAM) override {
    ++defaultCalls;
    return passedOn;
  }
  void stopSound() override { ++shutdowns; }
  int defaultCalls = 0;
  int shutdowns = 0;
};

HWND fakeWindow() { return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150)); }

struct MessageCase {
  RunMode mode;
  UINT message;
  WPARAM wParam;
  bool ends;          // interruptSaver ended the run
  LRESULT result;     // what the procedure returns
};

const MessageCase messageCases[] = {
    {full, WM_KEYDOWN, VK_SPACE, true, 1},
    {full, WM_LBUTTONDOWN, 0, true, 1},
    {full, WM_RBUTTONDOWN, 0, true, 1},
    {full, WM_MBUTTONDOWN, 0, true, 1},
    {test, WM_KEYDOWN, VK_SPACE, false, passedOn},   // keys in test mode pass on
    {test, WM_LBUTTONDOWN, 0, false, passedOn},
    {preview, WM_KEYDOWN, VK_SPACE, false, 0},       // interruptSaver refuses in preview
    {full, WM_ACTIVATEAPP, 0, true, 1},
    {full, WM_ACTIVATEAPP, 1, false, passedOn},
    {test, WM_ACTIVATEAPP, 0, false, passedOn},
    {full, WM_SYSCOMMAND, SC_CLOSE, true, 1},
    {full, WM_SYSCOMMAND, SC_NEXTWINDOW, true, 1},
    {full, WM_SYSCOMMAND, SC_PREVWINDOW, true, 1},
    {full, WM_SYSCOMMAND, SC_SCREENSAVE, true, 1},
    {full, WM_SYSCOMMAND, SC_MINIMIZE, false, passedOn},
    {full, WM_POWERBROADCAST, PBT_APMSUSPEND, true, 1},
    {full, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, false, passedOn},
    {full, WM_SETCURSOR, 0, false, 1},
    {test, WM_SETCURSOR, 0, false, passedOn},
};

TEST(SaverWindow, MessageTable) {
  for (const MessageCase& c : messageCases) {
    RecordingSaver app;
    app.runMode = c.mode;
    const LRESULT result = saverWindowProc(fakeWindow(), c.message, c.wParam, 0);
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " message 0x" << std::hex
                                    << c.message << " wParam 0x" << c.wParam);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(app.shutdowns, c.ends ? 1 : 0);
    EXPECT_EQ(app.quitFlag, c.ends);
  }
}

TEST(SaverWindow, CloseAndDestroySetQuitFlagWithoutShutdown) {
  for (UINT message : {WM_CLOSE, WM_DESTROY}) {
    RecordingSaver app;
    app.runMode = test;
    EXPECT_EQ(saverWindowProc(fakeWindow(), message, 0, 0), 1);
    EXPECT_TRUE(app.quitFlag);
    EXPECT_EQ(app.shutdowns, 0);
  }
}

TEST(SaverWindow, MouseMoveCountdown) {
  for (RunMode mode : {full, test}) {
    RecordingSaver app;
    app.runMode = mode;
    for (int i = 0; i < 30; ++i) saverWindowProc(fakeWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(i, i));
    EXPECT_FALSE(app.quitFlag) << "the first 30 moves are tolerated";
    EXPECT_EQ(saverWindowProc(fakeWindow(), WM_MOUSEMOVE, 0, 0), 1);
    EXPECT_TRUE(app.quitFlag);
  }
  RecordingSaver off;
  off.runMode = full;
  off.settings.exitOnMouseMove = 0;
  for (int i = 0; i < 200; ++i) saverWindowProc(fakeWindow(), WM_MOUSEMOVE, 0, 0);
  EXPECT_FALSE(off.quitFlag);
  RecordingSaver inPreview;
  inPreview.runMode = preview;
  for (int i = 0; i < 200; ++i) saverWindowProc(fakeWindow(), WM_MOUSEMOVE, 0, 0);
  EXPECT_FALSE(inPreview.quitFlag);
  EXPECT_EQ(inPreview.mouseMoveCountdown, 30);
}

TEST(SaverWindow, FrameCounterTickAndPreviewTimer) {
  RecordingSaver app;
  app.runMode = full;
  app.frameCount = 42;
  saverWindowProc(fakeWindow(), WM_TIMER, frameCounterTimer, 0);
  EXPECT_EQ(app.framesPerSecond, 42);
  EXPECT_EQ(app.frameCount, 0);
  app.previewStartup = true;
  saverWindowProc(fakeWindow(), WM_TIMER, previewStartupTimer, 0);
  EXPECT_FALSE(app.previewStartup);
}

TEST(SaverWindow, TestWindowHasItsClientArea) {
  RecordingSaver app;
  app.runMode = test;
  app.buildMonitorList();
  ASSERT_TRUE(app.createSaverWindows());
  RECT client{};
  ASSERT_TRUE(GetClientRect(app.mainWindow, &client));
  EXPECT_EQ(client.right - client.left, 600);
  EXPECT_EQ(client.bottom - client.top, 400);
  DestroyWindow(app.mainWindow);
}

TEST(SaverWindow, EveryDesktopMonitorGetsAWindow) {
  setenv("TARNWICK_FAKE_DISPLAYS",
         "800x600+0+0,640x480+800+0,640x480+0+0:mirror,320x200+2000+0:detached", 1);
  RecordingSaver app;
  app.runMode = full;
  app.buildMonitorList();
  unsetenv("TARNWICK_FAKE_DISPLAYS");
  ASSERT_EQ(app.monitorCount, 3);   // the mirroring driver is skipped
  EXPECT_EQ(app.monitors[2].monitor, nullptr);
  const RECT second = app.monitors[1].screen;
  EXPECT_EQ(second.left, 800);
  EXPECT_EQ(second.right, 1440);
  EXPECT_EQ(second.bottom, 480);

  ASSERT_TRUE(app.createSaverWindows());
  ASSERT_NE(app.monitors[0].window, nullptr);
  ASSERT_NE(app.monitors[1].window, nullptr);
  EXPECT_EQ(app.monitors[2].window, nullptr);   // not on the desktop: no window
  EXPECT_EQ(app.mainWindow, app.monitors[0].window);
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(app.monitors[1].window, &rect));
  EXPECT_EQ(rect.left, 800);
  EXPECT_EQ(rect.right - rect.left, 640);

  // The second window is owned by the first and goes with it.
  HWND owned = app.monitors[1].window;
  DestroyWindow(app.mainWindow);
  EXPECT_FALSE(IsWindow(owned));
}

}  // namespace
