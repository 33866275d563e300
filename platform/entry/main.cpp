// main.cpp — the process entry: our long options, signal handling, then the program's WinMain.
#include <SDL.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/entry/entry_options.h"
#include "platform/heap_tuning.h"
#include "platform/runtime.h"
#include "platform/win32/windows.h"

namespace {

// Only raises the flag: the frame loops and GetMessageA see it and end the run in order.
void onTerminate(int) { requestTermination(); }

void installSignalHandlers() {
  struct sigaction action{};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  adoptHugePageHeap(argv);
  std::vector<std::string> args(argv, argv + argc);
  EntryArguments parsed = parseEntryArguments(args, std::getenv("XSCREENSAVER_WINDOW"));
  switch (parsed.action) {
    case EntryArguments::Action::help:
      std::fputs(entryHelpText().c_str(), stdout);
      return 0;
    case EntryArguments::Action::version:
      std::printf("tarnwick3d %s\n", TARNWICK_VERSION);
      return 0;
    case EntryArguments::Action::error:
      std::fprintf(stderr, "tarnwick3d: %s\nTry 'tarnwick3d --help'.\n", parsed.error.c_str());
      return 2;
    case EntryArguments::Action::run:
      break;
  }
  setRuntimeOptions(parsed.options);
  setCommandLine(parsed.commandLine);
  // SIGTERM and SIGINT are ours: SDL must not turn them into an SDL_QUIT event of its own.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  installSignalHandlers();
  return WinMain(GetModuleHandleA(nullptr), nullptr, parsed.afterProgram.data(), SW_SHOWNORMAL);
}
