// archive_listing.cpp — walking all file blocks of an archive for the archive tool.
#include "archive/archive_listing.h"

#include "archive/archive_blocks.h"

ListingEnd listArchiveEntries(MemoryFile& archive, std::vector<ArchiveEntryInfo>& entries, bool& solid) {
  ArchiveStart start;
  solid = false;
  if (!readArchiveStart(archive, start)) return ListingEnd::notArchive;
  solid = start.solid();
  FileBlockHeader h;
  for (;;) {
    BlockScanResult r = scanToFileBlock(archive, h);
    if (r == BlockScanResult::subBlock) return ListingEnd::subBlock;
    if (r == BlockScanResult::none) {
      // Tell a clean end (fewer than 32 bytes left) from a block the scan refused.
      if (archive.cursor > archive.length) return ListingEnd::truncated;
      return archive.length - archive.cursor < 32 ? ListingEnd::complete : ListingEnd::badBlock;
    }
    ArchiveEntryInfo e;
    e.name.assign(h.name, h.nameSize);
    e.packedSize = h.packedSize;
    e.unpackedSize = h.unpackedSize;
    e.fileCrc = h.fileCrc;
    e.method = h.method;
    e.versionNeeded = h.versionNeeded;
    e.flags = h.flags;
    e.attributes = h.attributes;
    entries.push_back(std::move(e));
    archive.cursor = h.nextBlock;
  }
}
