// runtime.cpp — the process-wide long options and the termination request raised by signals.
#include "platform/runtime.h"

#include <atomic>
#include <csignal>

namespace {
RuntimeOptions gOptions;
// Written from signal handlers: a lock-free atomic is async-signal-safe.
std::atomic<bool> gTerminate{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

const RuntimeOptions& runtimeOptions() { return gOptions; }

void setRuntimeOptions(const RuntimeOptions& options) { gOptions = options; }

bool terminationRequested() { return gTerminate.load(std::memory_order_relaxed); }

void requestTermination() { gTerminate.store(true, std::memory_order_relaxed); }

void clearTerminationRequest() { gTerminate.store(false, std::memory_order_relaxed); }

// ---- the command line of GetCommandLineA ----
#include "platform/win32/windows.h"

namespace {
std::string gCommandLine = "\"tarnwick3d\"";
}

void setCommandLine(const std::string& commandLine) { gCommandLine = commandLine; }

LPSTR WINAPI GetCommandLineA() { return gCommandLine.data(); }
