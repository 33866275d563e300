// resource_table.h — the table of blobs linked into the executable, behind FindResourceA.
// The build generates one table for the executable and installs it before WinMain runs;
// tests install tables of their own.
#pragma once

#include <cstddef>
#include <cstdint>

struct EmbeddedResource {
  const char* type;            // "MediaData", "SOUND", ... or "#2" for an integer type (RT_BITMAP)
  unsigned id;                 // integer resource id
  const unsigned char* data;
  size_t size;
};

// Makes `table` (count entries, kept by the caller for the life of the process) the resources
// that FindResourceA searches. A null table (or count 0) leaves no resources.
void installResourceTable(const EmbeddedResource* table, size_t count);
