// entry_options.h — the process entry's reading of argv: our long options, the Windows-style
// command line for the rest, the help text. Pure functions, so tests can drive them.
#pragma once

#include <string>
#include <vector>

#include "platform/runtime.h"

struct EntryArguments {
  enum class Action { run, help, version, error };
  Action action = Action::run;
  RuntimeOptions options;
  std::string commandLine;     // for GetCommandLineA: "\"<program>\" arg arg ..."
  std::string afterProgram;    // what WinMain receives: the arguments after the program
  std::string error;           // for Action::error: what was wrong, in one line
};

// Reads argv. Our long options ("--name value" or "--name=value") are consumed wherever they
// stand until a bare "--"; everything else goes into the command line in order. `hostEnv` is the
// value of $XSCREENSAVER_WINDOW (null when unset), which "-root" makes the window to draw in.
EntryArguments parseEntryArguments(const std::vector<std::string>& argv, const char* hostEnv);

// The text of --help.
std::string entryHelpText();
