// clock.cpp — timeGetTime, Sleep and the per-frame virtual clock of --fixed-step.
#include <chrono>
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
