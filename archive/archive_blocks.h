// archive_blocks.h — the block layer of a RAR 2.0 archive as the reader walks it: marker, main
// header, and the scan from one file block to the next. Shared by the lookup and the listing.
#pragma once

#include <cstdint>

#include "archive/memory_file.h"
#include "archive/rar20_format.h"

// The fields of one file block (type 0x74), plus where it sits.
struct FileBlockHeader {
  uint8_t type = 0;
  uint16_t flags = 0;
  uint16_t headerSize = 0;
  uint32_t packedSize = 0;
  uint32_t unpackedSize = 0;
  uint8_t hostOs = 0;
  uint32_t fileCrc = 0;
  uint32_t fileTime = 0;
  uint8_t versionNeeded = 0;
  uint8_t method = 0;
  uint16_t nameSize = 0;     // bytes kept (at most 259)
  uint32_t attributes = 0;
  char name[rar20::kMaxNameLength + 1] = {};
  uint32_t blockStart = 0;
  uint32_t nextBlock = 0;    // block start + header size (+ packed size when data follow)
};

struct ArchiveStart {
  uint16_t mainFlags = 0;
  bool solid() const { return (mainFlags & rar20::kMainSolid) != 0; }
};

// Reads the marker and the main header from offset 0 and leaves the cursor at the first block.
// False for a short archive, an unknown marker or a main header that cannot be read in full.
bool readArchiveStart(MemoryFile& archive, ArchiveStart& start);

enum class BlockScanResult { fileBlock, subBlock, none };

// From the cursor, steps over blocks until a file block (read with its name; the cursor is left
// after the name) or a sub-block. A read that fails, a header size below 7 or a block that does
// not move forward ends the scan with `none`. Unless a file block was found, the cursor goes back
// to the start of the last block looked at.
BlockScanResult scanToFileBlock(MemoryFile& archive, FileBlockHeader& header);

// The matching rule of entry names: '\' and '/' become '_', a–z become A–Z, then equal byte for
// byte. Names longer than 259 characters are compared on their first 259.
bool entryNamesMatch(const char* a, const char* b);
