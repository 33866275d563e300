// entry_options.cpp — reads argv for the process entry: our long options, the Windows-style
// command line for the screensaver's own parser, and the help text.
#include "platform/entry/entry_options.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

// Reads a whole non-negative number in [0, max] (decimal, or hex with 0x for window ids).
bool readNumber(const std::string& text, unsigned long long max, int base, unsigned long long* out) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long value = std::strtoull(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || end == text.c_str() || value > max) return false;
  *out = value;
  return true;
}

struct Option {
  const char* name;
  bool takesValue;
};
constexpr Option kOptions[] = {
    {"help", false},      {"version", false}, {"log", false},     {"frames", true},
    {"fixed-step", true}, {"seed", true},     {"capture", true},  {"window-id", true},
};

const Option* findOption(const std::string& name) {
  for (const Option& o : kOptions)
    if (name == o.name) return &o;
  return nullptr;
}

// Applies one option; returns an error text, empty when fine.
std::string apply(const std::string& name, const std::string& value, EntryArguments& out) {
  RuntimeOptions& o = out.options;
  unsigned long long n = 0;
  constexpr auto kLongMax = static_cast<unsigned long long>(std::numeric_limits<int32_t>::max());
  if (name == "log") {
    o.logging = true;
  } else if (name == "frames") {
    if (!readNumber(value, kLongMax, 10, &n)) return "--frames needs a whole number of frames, not '" + value + "'";
    o.frameLimit = static_cast<long>(n);
  } else if (name == "fixed-step") {
    constexpr unsigned long long kHour = 3600000;
    if (!readNumber(value, kHour, 10, &n)) return "--fixed-step needs milliseconds from 0 to 3600000, not '" + value + "'";
    o.fixedStepMs = static_cast<long>(n);
  } else if (name == "seed") {
    if (!readNumber(value, std::numeric_limits<uint32_t>::max(), 10, &n)) return "--seed needs a number from 0 to 4294967295, not '" + value + "'";
    o.hasSeed = true;
    o.seed = static_cast<uint32_t>(n);
  } else if (name == "capture") {
    if (value.empty()) return "--capture needs a directory";
    o.captureDir = value;
  } else if (name == "window-id") {
    if (!readNumber(value, 0x1FFFFFFF, 0, &n) || n == 0) return "--window-id needs an X11 window id such as 0x1e00003, not '" + value + "'";
    o.hostWindow = static_cast<unsigned long>(n);
  }
  return {};
}

}  // namespace

EntryArguments parseEntryArguments(const std::vector<std::string>& argv, const char* hostEnv) {
  EntryArguments out;
  std::string program = argv.empty() ? "tarnwick3d" : argv[0];
  std::vector<std::string> rest;
  bool ours = true;
  bool root = false;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (!ours || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      if (arg == "-root") root = true;
      rest.push_back(arg);
      continue;
    }
    if (arg == "--") {   // everything after a bare "--" is the screensaver's
      ours = false;
      continue;
    }
    std::string name = arg.substr(2), value;
    size_t equals = name.find('=');
    bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const Option* option = findOption(name);
    if (!option) {
      out.action = EntryArguments::Action::error;
      out.error = "unknown option '" + arg + "'";
      return out;
    }
    if (option->takesValue && !inlineValue) {
      if (i + 1 >= argv.size()) {
        out.action = EntryArguments::Action::error;
        out.error = "--" + name + " needs a value";
        return out;
      }
      value = argv[++i];
    } else if (!option->takesValue && inlineValue) {
      out.action = EntryArguments::Action::error;
      out.error = "--" + name + " takes no value";
      return out;
    }
    if (name == "help" || name == "version") {
      out.action = name == "help" ? EntryArguments::Action::help : EntryArguments::Action::version;
      return out;
    }
    if (std::string error = apply(name, value, out); !error.empty()) {
      out.action = EntryArguments::Action::error;
      out.error = error;
      return out;
    }
    // The host's window-id form stays on the line: the screensaver reads "--..." as full screen.
    if (name == "window-id") {
      rest.push_back("--window-id");
      rest.push_back(value);
    }
  }
  if (root && hostEnv && !out.options.hostWindow) {
    unsigned long long n = 0;
    if (readNumber(hostEnv, 0x1FFFFFFF, 0, &n) && n != 0) out.options.hostWindow = static_cast<unsigned long>(n);
  }
  for (size_t i = 0; i < rest.size(); ++i) {
    if (i) out.afterProgram += ' ';
    out.afterProgram += rest[i];
  }
  out.commandLine = "\"" + program + "\"";
  if (!out.afterProgram.empty()) out.commandLine += " " + out.afterProgram;
  return out;
}

std::string entryHelpText() {
  return "Usage: tarnwick3d [SWITCH] [OPTIONS]\n"
         "\n"
         "A 3-D landscape screensaver. Switches ('/' or '-', letter case ignored):\n"
         "  /c [HANDLE]   settings dialog (also with no switch at all)\n"
         "  /p HANDLE     preview inside the X11 window HANDLE (a decimal number)\n"
         "  /s            full screen on every monitor\n"
         "  /t            test run in a 600 x 400 window\n"
         "  /a HANDLE     change password (does nothing on Linux)\n"
         "  -root         as an XScreenSaver hack: full screen inside $XSCREENSAVER_WINDOW\n"
         "  --window-id ID  as an XScreenSaver hack: full screen inside the X11 window ID\n"
         "Any other switch letter runs full screen.\n"
         "\n"
         "Options:\n"
         "  --help            show this text\n"
         "  --version         show the version\n"
         "  --log             write the run log (Saver_Log.txt / Config_Log.txt)\n"
         "  --frames N        end the run after N frames\n"
         "  --fixed-step MS   run on a virtual clock that advances MS milliseconds per frame\n"
         "  --seed N          the scene's random seed\n"
         "  --capture DIR     write every presented frame to DIR as PNG\n"
         "  --                end of options; the rest goes to the screensaver as it stands\n";
}
