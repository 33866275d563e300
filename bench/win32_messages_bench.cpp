// win32_messages_bench.cpp — what the message loop costs the frame loop (PeekMessageA with
// nothing pending, a posted message's round trip) and how punctually GetMessageA delivers timers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/win32/windows.h"

namespace {

using Clock = std::chrono::steady_clock;

double nsSince(Clock::time_point start, int count) {
  return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

LRESULT CALLBACK proc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

}  // namespace

int main() {
  WNDCLASSA cls{};
  cls.lpfnWndProc = proc;
  cls.lpszClassName = "Bench";
  RegisterClassA(&cls);
  HWND window = CreateWindowExA(0, "Bench", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                nullptr, nullptr, nullptr);
  if (!window) {
    std::fprintf(stderr, "win32_messages_bench: no window\n");
    return 1;
  }
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);

  constexpr int kPeeks = 20000;
  auto start = Clock::now();
  for (int i = 0; i < kPeeks; ++i) PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
  std::printf("PeekMessageA, nothing pending:        %8.0f ns per call\n", nsSince(start, kPeeks));

  constexpr int kPosts = 20000;
  start = Clock::now();
  for (int i = 0; i < kPosts; ++i) {
    PostMessageA(window, WM_USER, 0, 0);
    if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  std::printf("post + peek + dispatch:               %8.0f ns per message\n", nsSince(start, kPosts));

  // A 20 ms timer taken with GetMessageA: the spacing of its WM_TIMER messages.
  constexpr int kTicks = 50;
  SetTimer(window, 1, 20, nullptr);
  std::vector<double> intervals;
  auto last = Clock::now();
  while (static_cast<int>(intervals.size()) < kTicks && GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message != WM_TIMER) continue;
    auto now = Clock::now();
    intervals.push_back(std::chrono::duration<double, std::milli>(now - last).count());
    last = now;
  }
  KillTimer(window, 1);
  std::sort(intervals.begin(), intervals.end());
  double mean = 0;
  for (double v : intervals) mean += v;
  mean /= static_cast<double>(intervals.size());
  std::printf("20 ms timer through GetMessageA (%d):  mean %.2f ms, min %.2f ms, max %.2f ms\n", kTicks,
              mean, intervals.front(), intervals.back());
  DestroyWindow(window);
  return 0;
}
