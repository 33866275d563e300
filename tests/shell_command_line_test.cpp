// shell_command_line_test.cpp — the screensaver switch and window number from a command line.
#include <gtest/gtest.h>

#include "shell/command_line.h"

namespace {

struct SwitchCase {
  const char* line;
  RunMode mode;
  uintptr_t window;
};

const SwitchCase switchCases[] = {
    {"", config, 0},
    {"saver.scr", config, 0},
    {"\"C:\\Program Files\\saver.scr\"", config, 0},
    {"saver.scr /s", full, 0},
    {"saver.scr -S", full, 0},
    {"saver.scr /x", full, 0},
    {"saver.scr /9", full, 0},
    {"saver.scr /t", test, 0},
    {"saver.scr /T", test, 0},
    {"saver.scr /p 5678", preview, 5678},
    {"saver.scr /P:5678", preview, 5678},
    {"saver.scr /p", preview, 0},
    {"saver.scr /c", config, 0},
    {"saver.scr /c:1234", config, 1234},
    {"saver.scr /c 1234", config, 1234},
    {"saver.scr /P 1234", preview, 1234},
    {"saver.scr /a 77", passwordChange, 77},
    {"saver.scr -a:77 /s", passwordChange, 77},
    // Only the first switch counts; nothing after the number is read.
    {"saver.scr /s /t", full, 0},
    {"saver.scr /p 12 /c 34", preview, 12},
    // A quoted path is skipped whole: its slashes, hyphens and spaces never count.
    {"\"/usr/lib/my-saver/s -t.scr\" /p 42", preview, 42},
    {"\"/usr/lib/my-saver/saver\"", config, 0},
    {"\"unterminated /t", config, 0},
    // An unquoted path is skipped only up to its first space.
    {"/usr/bin/saver /t", test, 0},
    {"C:\\my saver\\x-y.scr /s", full, 0},   // the '-' after the first space is taken
    {"saver.scr text/t", test, 0},
    {"saver.scr -", full, 0},
    {"saver.scr /", full, 0},
    {"saver.scr /p abc", preview, 0},
};

TEST(CommandLine, SwitchTable) {
  for (const SwitchCase& c : switchCases) {
    uintptr_t window = 999;
    EXPECT_EQ(parseSaverSwitch(c.line, &window), c.mode) << c.line;
    EXPECT_EQ(window, c.window) << c.line;
  }
}

TEST(CommandLine, NullTextIsConfig) {
  uintptr_t window = 5;
  EXPECT_EQ(parseSaverSwitch(nullptr, &window), config);
  EXPECT_EQ(window, 0u);
}

}  // namespace
