// heap_tuning.cpp — restarting once with glibc's heap on transparent huge pages.
#include "platform/heap_tuning.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr const char* kTunable = "glibc.malloc.hugetlb";
constexpr const char* kRestartedMarker = "TARNWICK_HEAP_TUNED";

// True when the kernel gives huge pages to memory that asks for them ("madvise" mode); with
// "always" the heap has them already, with "never" asking is useless.
bool hugePagesOnRequest() {
  std::ifstream setting("/sys/kernel/mm/transparent_hugepage/enabled");
  std::string line;
  return std::getline(setting, line) && line.find("[madvise]") != std::string::npos;
}

}  // namespace

std::optional<std::string> hugePageTunables(const char* current) {
  if (!current || !*current) return std::string(kTunable) + "=1";
  if (std::strstr(current, kTunable)) return std::nullopt;
  return std::string(current) + ":" + kTunable + "=1";
}

void adoptHugePageHeap(char** argv) {
  if (!argv || !argv[0] || std::getenv(kRestartedMarker)) return;
  if (!hugePagesOnRequest()) return;
  const std::optional<std::string> tunables = hugePageTunables(std::getenv("GLIBC_TUNABLES"));
  if (!tunables) return;
  // The marker keeps a failed or ignored setting from restarting the process again.
  if (setenv(kRestartedMarker, "1", 1) != 0 || setenv("GLIBC_TUNABLES", tunables->c_str(), 1) != 0) return;
  execv("/proc/self/exe", argv);
  // Not restarted: go on as we are (the environment change is harmless).
}
