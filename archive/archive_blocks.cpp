// archive_blocks.cpp — marker and main header, the file block scan, the name-matching rule.
#include "archive/archive_blocks.h"

#include <cstring>

using namespace rar20;

namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void parseFixedPart(const uint8_t* b, FileBlockHeader& h) {
  h.type = b[2];
  h.flags = le16(b + 3);
  h.headerSize = le16(b + 5);
  h.packedSize = le32(b + 7);
  h.unpackedSize = le32(b + 11);
  h.hostOs = b[15];
  h.fileCrc = le32(b + 16);
  h.fileTime = le32(b + 20);
  h.versionNeeded = b[24];
  h.method = b[25];
  h.nameSize = le16(b + 26);
  h.attributes = le32(b + 28);
}

}  // namespace

bool readArchiveStart(MemoryFile& archive, ArchiveStart& start) {
  archive.cursor = 0;
  uint8_t marker[7];
  if (archive.read(marker, 7) != 7) return false;
  if (std::memcmp(marker, kMarker, 7) != 0 && std::memcmp(marker, kUniqueMarker, 7) != 0) return false;
  uint8_t main[kMainHeaderSize];
  if (archive.read(main, kMainHeaderSize) != kMainHeaderSize) return false;
  start.mainFlags = le16(main + 3);
  // The first block follows the main header, whatever size it declares.
  archive.cursor = 7 + le16(main + 5);
  return true;
}

BlockScanResult scanToFileBlock(MemoryFile& archive, FileBlockHeader& header) {
  const FileBlockHeader saved = header;
  FileBlockHeader h;
  for (;;) {
    h.blockStart = archive.cursor;
    uint8_t fixed[kFileHeaderFixedSize];
    if (archive.read(fixed, kFileHeaderFixedSize) != kFileHeaderFixedSize) break;
    parseFixedPart(fixed, h);
    if (h.headerSize < 7) break;
    uint64_t next = uint64_t(h.blockStart) + h.headerSize;
    if (h.flags & kLongBlock) next += h.packedSize;
    // Positions are signed 32-bit in the original layout: a block must end forward, below 2 GiB.
    if (next <= h.blockStart || next > 0x7FFFFFFFu) break;
    h.nextBlock = uint32_t(next);

    if (h.type == kFileBlock) {
      uint32_t wanted = h.nameSize < kMaxNameLength ? h.nameSize : kMaxNameLength;
      h.nameSize = uint16_t(archive.read(h.name, wanted));
      h.name[h.nameSize] = '\0';
      header = h;
      return BlockScanResult::fileBlock;
    }
    if (h.type == kSubBlock) {
      header = saved;
      archive.cursor = h.blockStart;
      return BlockScanResult::subBlock;
    }
    archive.cursor = h.nextBlock;
  }
  header = saved;
  archive.cursor = h.blockStart;
  return BlockScanResult::none;
}

bool entryNamesMatch(const char* a, const char* b) {
  auto fold = [](unsigned char c) -> unsigned char {
    if (c == '\\' || c == '/') return '_';
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    return c;
  };
  for (uint32_t i = 0; i < kMaxNameLength; ++i) {
    unsigned char x = fold(a[i]), y = fold(b[i]);
    if (x != y) return false;
    if (x == 0) return true;
  }
  return true;
}
