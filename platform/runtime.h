// runtime.h — what the platform entry offers beyond Win32: the long options it consumed from
// the command line (headless runs, repeatable clocks, captures) and the termination request
// raised by SIGTERM / SIGINT. The program reads these; it never parses the long options itself.
#pragma once

#include <cstdint>
#include <string>

struct RuntimeOptions {
  bool logging = false;          // --log: turn the run log on
  long frameLimit = -1;          // --frames N: end the run after N frame-loop turns (-1: none)
  long fixedStepMs = -1;         // --fixed-step MS: timeGetTime advances MS per frame (-1: real clock)
  bool hasSeed = false;          // --seed N given
  uint32_t seed = 0;             // --seed N: the scene's random seed
  std::string captureDir;        // --capture DIR: PNG of every presented frame (empty: none)
  unsigned long hostWindow = 0;  // X11 window a host (XScreenSaver) gave us to draw in (0: none);
                                 // from --window-id or -root with XSCREENSAVER_WINDOW
};

// The options of this process (defaults until the entry has parsed the command line).
const RuntimeOptions& runtimeOptions();
// Replaces the options; for tests and for the entry itself.
void setRuntimeOptions(const RuntimeOptions& options);

// Replaces what GetCommandLineA returns (the program path quoted, then the arguments); for the
// entry itself and for tests.
void setCommandLine(const std::string& commandLine);

// True once SIGTERM or SIGINT arrived; the frame loops end the run through their orderly
// shutdown when they see it. GetMessageA returns promptly once it is set.
bool terminationRequested();
// Raises the request as the signal handler does; for tests.
void requestTermination();
void clearTerminationRequest();

// Called once per frame-loop turn by the program; advances the virtual clock of --fixed-step.
void advanceFrameClock();
