// heap_tuning.h — running the process with glibc's heap on transparent huge pages.
#pragma once

#include <optional>
#include <string>

// The GLIBC_TUNABLES value that adds huge-page backing of the heap to `current` (may be null),
// or nothing when `current` already decides it.
std::optional<std::string> hugePageTunables(const char* current);

// Restarts the process image once (same pid, same arguments) with the heap on transparent huge
// pages, when the kernel offers them only on request. Textures of a few megabytes are made and
// filled one after another while the scene loads; on 4 KiB pages their first touches cost more
// than decoding the pictures. Returns when no restart was needed or possible. Call it first
// thing in main, before any thread or library starts.
void adoptHugePageHeap(char** argv);
