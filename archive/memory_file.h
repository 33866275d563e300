// memory_file.h — MemoryFile: a read cursor over an archive held in memory, with all-or-nothing reads.
#pragma once

#include <cstdint>

// The bytes belong to whoever supplied them (the executable image, a file loaded by a tool);
// a MemoryFile never releases anything.
struct MemoryFile {
  const uint8_t* bytes = nullptr;  // first byte of the archive, null when missing
  uint32_t length = 0;             // archive size in bytes, 0 when missing
  uint32_t cursor = 0;             // read position, a byte offset from `bytes`

  // Copies exactly n bytes at `cursor` into `out` and advances the cursor when n > 0 and all n
  // bytes lie inside the archive; returns n. Otherwise copies nothing, leaves the cursor and
  // returns 0. There are no partial reads.
  uint32_t read(void* out, uint32_t n);
};
