// win32_entry_test.cpp — the process entry's reading of argv (long options, errors, the command
// line handed on), the clock those options drive, and the heap setting it restarts with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/entry/entry_options.h"
#include "platform/heap_tuning.h"
#include "platform/runtime.h"
#include "platform/win32/windows.h"

namespace {

using Action = EntryArguments::Action;

TEST(EntryArguments, ConsumesOurOptionsAndPassesTheRestOn) {
  struct Case {
    std::vector<std::string> argv;
    std::string commandLine, afterProgram;
  };
  const Case cases[] = {
      {{"/usr/bin/tarnwick3d"}, "\"/usr/bin/tarnwick3d\"", ""},
      {{"/opt/my saver/tarnwick3d", "/s"}, "\"/opt/my saver/tarnwick3d\" /s", "/s"},
      {{"tarnwick3d", "--frames", "10", "/s", "--log"}, "\"tarnwick3d\" /s", "/s"},
      {{"tarnwick3d", "/p", "1234", "--seed=7"}, "\"tarnwick3d\" /p 1234", "/p 1234"},
      {{"tarnwick3d", "--", "--frames", "/t"}, "\"tarnwick3d\" --frames /t", "--frames /t"},
      {{"tarnwick3d", "-root"}, "\"tarnwick3d\" -root", "-root"},
      {{"tarnwick3d", "--window-id", "0x1e00003"}, "\"tarnwick3d\" --window-id 0x1e00003", "--window-id 0x1e00003"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    EntryArguments a = parseEntryArguments(c.argv, nullptr);
    EXPECT_EQ(a.action, Action::run) << a.error;
    EXPECT_EQ(a.commandLine, c.commandLine);
    EXPECT_EQ(a.afterProgram, c.afterProgram);
  }
}

TEST(EntryArguments, StoresOptionValues) {
  EntryArguments a = parseEntryArguments(
      {"t", "--log", "--frames", "300", "--fixed-step=33", "--seed", "4294967295", "--capture", "out dir", "/s"}, nullptr);
  ASSERT_EQ(a.action, Action::run) << a.error;
  EXPECT_TRUE(a.options.logging);
  EXPECT_EQ(a.options.frameLimit, 300);
  EXPECT_EQ(a.options.fixedStepMs, 33);
  EXPECT_TRUE(a.options.hasSeed);
  EXPECT_EQ(a.options.seed, 4294967295u);
  EXPECT_EQ(a.options.captureDir, "out dir");
  EXPECT_EQ(a.options.hostWindow, 0u);

  EntryArguments none = parseEntryArguments({"t", "/s"}, nullptr);
  EXPECT_FALSE(none.options.logging);
  EXPECT_EQ(none.options.frameLimit, -1);
  EXPECT_EQ(none.options.fixedStepMs, -1);
  EXPECT_FALSE(none.options.hasSeed);

  // The host's window: --window-id, or -root with $XSCREENSAVER_WINDOW (ignored without -root).
  EXPECT_EQ(parseEntryArguments({"t", "--window-id", "0x1e00003"}, nullptr).options.hostWindow, 0x1e00003u);
  EXPECT_EQ(parseEntryArguments({"t", "-root"}, "0x400001").options.hostWindow, 0x400001u);
  EXPECT_EQ(parseEntryArguments({"t", "/s"}, "0x400001").options.hostWindow, 0u);
  EXPECT_EQ(parseEntryArguments({"t", "-root"}, "junk").options.hostWindow, 0u);
}

TEST(EntryArguments, HelpVersionAndErrors) {
  EXPECT_EQ(parseEntryArguments({"t", "/s", "--help"}, nullptr).action, Action::help);
  EXPECT_EQ(parseEntryArguments({"t", "--version"}, nullptr).action, Action::version);
  const std::vector<std::vector<std::string>> bad = {
      {"t", "--bogus"},           {"t", "--frames"},          {"t", "--frames", "ten"},
      {"t", "--frames", "-1"},    {"t", "--frames", "5x"},    {"t", "--frames", "99999999999"},
      {"t", "--fixed-step", ""},  {"t", "--seed", "4294967296"}, {"t", "--log=yes"},
      {"t", "--capture="},        {"t", "--window-id", "0"},  {"t", "--window-id", "0xzz"},
  };
  for (const auto& argv : bad) {
    SCOPED_TRACE(argv[1] + (argv.size() > 2 ? " " + argv[2] : ""));
    EntryArguments a = parseEntryArguments(argv, nullptr);
    EXPECT_EQ(a.action, Action::error);
    EXPECT_FALSE(a.error.empty());
  }
  EXPECT_NE(parseEntryArguments({"t", "--bogus"}, nullptr).error.find("--bogus"), std::string::npos);
  std::string help = entryHelpText();
  for (const char* item : {"/c", "/p HANDLE", "/s", "/t", "/a HANDLE", "-root", "--window-id",
                           "--log", "--frames N", "--fixed-step MS", "--seed N", "--capture DIR"})
    EXPECT_NE(help.find(item), std::string::npos) << item;
}

TEST(EntryClock, FixedStepAdvancesOnlyPerFrame) {
  RuntimeOptions options;
  options.fixedStepMs = 33;
  setRuntimeOptions(options);
  DWORD start = timeGetTime();
  Sleep(20);
  EXPECT_EQ(timeGetTime(), start);   // real time does not move it
  advanceFrameClock();
  advanceFrameClock();
  EXPECT_EQ(timeGetTime(), start + 66);

  setRuntimeOptions(RuntimeOptions{});
  DWORD real = timeGetTime();
  Sleep(30);
  DWORD later = timeGetTime();
  EXPECT_GE(later - real, 29u);
  EXPECT_LT(later - real, 2000u);
}

TEST(EntryCommandLine, GetCommandLineReturnsWhatTheEntryStored) {
  setCommandLine("\"/usr/bin/tarnwick3d\" /p 77");
  EXPECT_STREQ(GetCommandLineA(), "\"/usr/bin/tarnwick3d\" /p 77");
}

// The huge-page setting joins whatever the user set and never overrides their own choice of it.
TEST(HeapTuning, AddsHugePagesToTheUsersTunablesUnlessTheyDecided) {
  struct Case {
    const char* current;
    std::optional<std::string> wanted;
  } cases[] = {
      {nullptr, "glibc.malloc.hugetlb=1"},
      {"", "glibc.malloc.hugetlb=1"},
      {"glibc.malloc.check=3", "glibc.malloc.check=3:glibc.malloc.hugetlb=1"},
      {"glibc.malloc.hugetlb=0", std::nullopt},
      {"glibc.malloc.check=3:glibc.malloc.hugetlb=2", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(hugePageTunables(c.current), c.wanted) << (c.current ? c.current : "null");
}

}  // namespace
