// memory_file.cpp — the all-or-nothing read of MemoryFile.
#include "archive/memory_file.h"

#include <cstring>

uint32_t MemoryFile::read(void* out, uint32_t n) {
  if (n == 0 || bytes == nullptr) return 0;
  if (cursor > length || length - cursor < n) return 0;
  std::memcpy(out, bytes + cursor, n);
  cursor += n;
  return n;
}
