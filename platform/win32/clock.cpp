// clock.cpp — timeGetTime, Sleep, GetLocalTime and the per-frame virtual clock of --fixed-step.
#include <chrono>
#include <ctime>
#include <thread>

#include "platform/runtime.h"
#include "platform/win32/windows.h"

namespace {
// The virtual clock starts well away from zero so that code subtracting start times never sees
// a difference that wraps; it advances only through advanceFrameClock.
constexpr DWORD kVirtualClockStart = 100000;
DWORD gVirtualNow = kVirtualClockStart;
}  // namespace

DWORD WINAPI timeGetTime() {
  if (runtimeOptions().fixedStepMs >= 0) return gVirtualNow;
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<DWORD>(ms);   // wraps every 49.7 days, as on Windows
}

void advanceFrameClock() {
  long step = runtimeOptions().fixedStepMs;
  if (step > 0) gVirtualNow += static_cast<DWORD>(step);
}

void WINAPI Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void WINAPI GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec);
  time->wMilliseconds =
      static_cast<WORD>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
}
