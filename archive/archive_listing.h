// archive_listing.h — enumeration of the file entries of an archive, with the lookup's block rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/memory_file.h"

struct ArchiveEntryInfo {
  std::string name;        // as stored (backslashes, own letter case), cut at 259 characters
  uint32_t packedSize = 0;
  uint32_t unpackedSize = 0;
  uint32_t fileCrc = 0;
  uint8_t method = 0;
  uint8_t versionNeeded = 0;
  uint16_t flags = 0;
  uint32_t attributes = 0;
  bool directory() const { return (flags & 0x00E0) == 0x00E0 || (attributes & 0x10) != 0; }
};

enum class ListingEnd {
  complete,  // the walk reached the end of the archive (or a block too short to read)
  notArchive,  // no marker or no main header
  subBlock,  // a sub-block stops the walk, as it stops every lookup
  badBlock,  // a header size below 7 or a block that does not move forward
  truncated,  // a block's data reach past the end of the archive
};

// Walks the file blocks of `archive` from its start; `solid` tells the main header's solid flag.
ListingEnd listArchiveEntries(MemoryFile& archive, std::vector<ArchiveEntryInfo>& entries, bool& solid);
