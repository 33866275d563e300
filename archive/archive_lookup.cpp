// archive_lookup.cpp — fetchEntry: the scan for a named entry, stored and compressed entries,
// solid archives, the CRC-32 check and the ownership of the returned buffer.
#include "archive/archive_lookup.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "archive/archive_blocks.h"
#include "archive/crc32.h"
#include "archive/rar20_decoder.h"

using namespace rar20;

namespace {

constexpr uint32_t kMaxPassword = 255;

// The longest output a compressed entry can give: at most 260 bytes per bit of packed data.
constexpr uint64_t kMaxBytesPerPackedByte = 8 * 260;

struct Lookup {
  char wanted[kMaxNameLength + 1] = {};
  char password[kMaxPassword + 1] = {};
  MemoryFile* archive = nullptr;
  uint8_t* output = nullptr;
  uint32_t* delivered = nullptr;
  std::unique_ptr<Rar20Decoder> decoder;  // allocated with the first compressed entry

  ~Lookup() { std::memset(password, 0, sizeof(password)); }

  bool extract();
  bool unpack(const FileBlockHeader& h, bool wanted);
};

bool Lookup::unpack(const FileBlockHeader& h, bool wanted) {
  if (h.versionNeeded < kVersionMin || h.versionNeeded > kVersionMax) return false;
  // We do not carry the cipher: an entry that would be deciphered cannot be delivered.
  if ((h.flags & kFileEnciphered) && password[0] != '\0' && h.versionNeeded >= 20) return false;

  // Packed data start after the whole header (the name may have been cut, or fields may follow).
  archive->cursor = h.blockStart + h.headerSize;
  if (h.method == kMethodStored) {
    // A stored entry before the wanted one of a solid archive is not written anywhere.
    if (wanted) {
      uint32_t n = h.unpackedSize < h.packedSize ? h.unpackedSize : h.packedSize;
      *delivered = archive->read(output, n);
    }
  } else {
    if (!decoder) {
      decoder = std::make_unique<Rar20Decoder>();
      if (!decoder->allocate()) return false;
    }
    decoder->decodeEntry(*archive, h.packedSize, h.unpackedSize, (h.flags & kFileContinuesSolid) != 0,
                         wanted ? output : nullptr, delivered);
  }
  if (!wanted) return true;
  // Every byte must have arrived, or the CRC would be computed over bytes never written.
  if (*delivered != h.unpackedSize) return false;
  return crc32(output, h.unpackedSize) == h.fileCrc;
}

bool Lookup::extract() {
  ArchiveStart start;
  if (!readArchiveStart(*archive, start)) return false;

  FileBlockHeader h;
  for (;;) {
    if (scanToFileBlock(*archive, h) != BlockScanResult::fileBlock) return false;
    bool wanted = entryNamesMatch(h.name, this->wanted);
    if (wanted) {
      // Sizes no entry of this archive could deliver are refused before allocating.
      uint64_t limit = h.method == kMethodStored ? h.packedSize
                                                 : uint64_t(h.packedSize) * kMaxBytesPerPackedByte + 260;
      if (h.unpackedSize > 0x7FFFFFFFu || h.unpackedSize > limit) return false;
      output = static_cast<uint8_t*>(std::malloc(h.unpackedSize ? h.unpackedSize : 1));
      if (output == nullptr) return false;
      *delivered = 0;
    }
    if (start.solid() || wanted) {
      if (!unpack(h, wanted)) return false;
    }
    archive->cursor = h.nextBlock;
    if (wanted) return true;
  }
}

}  // namespace

int fetchEntry(uint8_t** out, uint32_t* size, const char* name, MemoryFile& archive,
               const char* password) {
  Lookup lookup;
  lookup.archive = &archive;
  if (name != nullptr) {
    std::strncpy(lookup.wanted, name, kMaxNameLength);
  }
  if (password != nullptr) std::strncpy(lookup.password, password, kMaxPassword);
  uint32_t delivered = 0;
  lookup.delivered = &delivered;

  bool ok = name != nullptr && lookup.extract();
  if (!ok) {
    std::free(lookup.output);
    lookup.output = nullptr;
    delivered = 0;
  }
  *out = lookup.output;
  *size = delivered;
  return ok ? 1 : 0;
}
