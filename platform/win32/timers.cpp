// timers.cpp — SetTimer / KillTimer: per (window, id) timers that produce WM_TIMER when due.
//
// Like Windows, a timer never queues more than one WM_TIMER: it is "due" until a message for it
// is taken, and the next period counts from then if the program fell behind. Timers run on real
// time even under --fixed-step (the preview start-up waits on one while no frame runs).
#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/win32/win32_internal.h"

namespace tw32 {
namespace {

constexpr UINT kMinimumElapse = 10;          // USER_TIMER_MINIMUM
constexpr UINT kMaximumElapse = 0x7FFFFFFF;  // USER_TIMER_MAXIMUM

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC callback;
  uint64_t due;
};

// Timers belong to the thread that set them, as their messages go to its queue.
thread_local std::vector<Timer> tTimers;
thread_local UINT_PTR tNextThreadTimerId = 1;

Timer* findTimer(HWND window, UINT_PTR id) {
  for (Timer& t : tTimers)
    if (t.window == window && t.id == id) return &t;
  return nullptr;
}

}  // namespace

uint64_t realMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool takeDueTimer(MSG* msg, HWND filter, bool remove) {
  uint64_t now = realMs();
  Timer* best = nullptr;
  for (Timer& t : tTimers) {
    if (t.due > now || !windowPassesFilter(t.window, filter)) continue;
    if (!best || t.due < best->due) best = &t;
  }
  if (!best) return false;
  *msg = MSG{};
  msg->hwnd = best->window;
  msg->message = WM_TIMER;
  msg->wParam = best->id;
  msg->lParam = reinterpret_cast<LPARAM>(best->callback);
  msg->time = timeGetTime();
  if (remove) {
    best->due += best->elapse;
    if (best->due <= now) best->due = now + best->elapse;
  }
  return true;
}

uint32_t msUntilNextTimer() {
  uint64_t now = realMs();
  uint64_t next = UINT32_MAX;
  for (const Timer& t : tTimers) next = std::min(next, t.due > now ? t.due - now : 0);
  return static_cast<uint32_t>(next);
}

void killWindowTimers(HWND window) {
  std::erase_if(tTimers, [&](const Timer& t) { return t.window == window; });
}

bool isLiveTimerProc(HWND window, UINT_PTR id, TIMERPROC callback) {
  Timer* t = findTimer(window, id);
  return t && t->callback == callback;
}

}  // namespace tw32

using namespace tw32;

// Returns the timer's id (a new one for a timer without a window), 0 for a window that is not ours.
UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC callback) {
  if (window && !IsWindow(window)) return 0;
  elapseMs = std::clamp(elapseMs, kMinimumElapse, kMaximumElapse);
  if (!window && !findTimer(nullptr, id)) {
    while (findTimer(nullptr, tNextThreadTimerId) || tNextThreadTimerId == 0) ++tNextThreadTimerId;
    id = tNextThreadTimerId++;
  }
  uint64_t due = realMs() + elapseMs;
  if (Timer* t = findTimer(window, id)) {
    *t = Timer{window, id, elapseMs, callback, due};   // setting it again restarts it
  } else {
    tTimers.push_back(Timer{window, id, elapseMs, callback, due});
  }
  return id ? id : 1;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
  auto before = tTimers.size();
  std::erase_if(tTimers, [&](const Timer& t) { return t.window == window && t.id == id; });
  return tTimers.size() != before;
}
