// archive_fetch_fuzz.cpp — fetchEntry over arbitrary archive bytes: the first and last listed entry
// and a fixed name are looked up; a lookup either delivers exactly its bytes or leaves nothing behind.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/archive_listing.h"
#include "archive/archive_lookup.h"

namespace {

void lookUp(MemoryFile& archive, const char* name, const char* password) {
  uint8_t* out = reinterpret_cast<uint8_t*>(0x1);
  uint32_t size = 0xDEADBEEF;
  int r = fetchEntry(&out, &size, name, archive, password);
  if (r == 1) {
    if (out == nullptr) __builtin_trap();
    // Touch every delivered byte so the sanitizers see the buffer is what it claims.
    volatile uint8_t sink = 0;
    for (uint32_t i = 0; i < size; ++i) sink = sink ^ out[i];
    std::free(out);
  } else if (r != 0 || out != nullptr || size != 0) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFF) return 0;
  // A copy of exactly the input's size, so reads past the end are caught.
  std::vector<uint8_t> bytes(data, data + size);
  MemoryFile archive{bytes.data(), uint32_t(bytes.size()), 0};

  std::vector<ArchiveEntryInfo> entries;
  bool solid = false;
  listArchiveEntries(archive, entries, solid);
  // Output buffers of megabytes cost the sanitizer more than they explore: claimed sizes above
  // 256 KiB (refusals of impossible sizes are unit-tested) are not looked up.
  for (const ArchiveEntryInfo& e : entries)
    if (e.unpackedSize > (256u << 10)) return 0;
  if (!entries.empty()) lookUp(archive, entries.front().name.c_str(), nullptr);
  if (entries.size() > 1) lookUp(archive, entries.back().name.c_str(), nullptr);
  lookUp(archive, "Data/Map.emp", "ab");
  return 0;
}
