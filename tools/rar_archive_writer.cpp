// rar_archive_writer.cpp — RAR 2.0 container writing: marker, main header, file headers, CRCs.
#include "tools/rar_archive_writer.h"

#include "archive/crc32.h"
#include "archive/rar20_format.h"
#include "tools/little_endian.h"

using namespace rar20;

namespace {

// Every entry gets the same time stamp (2024-01-01 00:00, DOS format) so builds are repeatable.
constexpr uint32_t kDosTime = (uint32_t(2024 - 1980) << 25) | (1u << 21) | (1u << 16);
constexpr uint8_t kHostWin32 = 2;
constexpr uint32_t kAttributeArchive = 0x20;

// The header CRC is the low half of the CRC-32 of the header from its type byte on.
void sealHeader(std::vector<uint8_t>& b, size_t start) {
  uint32_t crc = crc32(b.data() + start + 2, b.size() - start - 2);
  b[start] = uint8_t(crc);
  b[start + 1] = uint8_t(crc >> 8);
}

}  // namespace

RarArchiveWriter::RarArchiveWriter(const ArchiveWriterOptions& options)
    : options_(options), encoder_(options.encoder) {
  bytes_.assign(kMarker, kMarker + 7);
  size_t start = bytes_.size();
  put16(bytes_, 0);
  bytes_.push_back(kMainBlock);
  put16(bytes_, options_.solid && !options_.stored ? kMainSolid : 0);
  put16(bytes_, kMainHeaderSize);
  put16(bytes_, 0);
  put32(bytes_, 0);
  sealHeader(bytes_, start);
}

bool RarArchiveWriter::addEntry(const std::string& name, const uint8_t* data, size_t size) {
  if (name.empty() || name.size() > kMaxNameLength || size > 0xFFFFFFFFu) return false;
  std::string stored = name;
  for (char& c : stored)
    if (c == '/') c = '\\';

  PackedEntryInfo info;
  info.name = stored;
  info.unpackedSize = uint32_t(size);
  uint16_t flags = kLongBlock;
  uint8_t method = kMethodStored;
  std::vector<uint8_t> packed;
  if (options_.stored) {
    packed.assign(data, data + size);
  } else {
    bool continues = options_.solid && haveCompressed_;
    packed = encoder_.encodeEntry(data, size, continues);
    info.audioChannels = encoder_.lastAudioChannels();
    haveCompressed_ = true;
    method = kMethodNormal;
    flags |= kFileDictionary1M;
    if (continues) flags |= kFileContinuesSolid;
  }
  if (packed.size() > 0xFFFFFFFFu) return false;
  info.packedSize = uint32_t(packed.size());

  size_t start = bytes_.size();
  put16(bytes_, 0);
  bytes_.push_back(kFileBlock);
  put16(bytes_, flags);
  put16(bytes_, uint32_t(kFileHeaderFixedSize + stored.size()));
  put32(bytes_, info.packedSize);
  put32(bytes_, info.unpackedSize);
  bytes_.push_back(kHostWin32);
  put32(bytes_, crc32(data, size));
  put32(bytes_, kDosTime);
  bytes_.push_back(kVersionMax);
  bytes_.push_back(method);
  put16(bytes_, uint32_t(stored.size()));
  put32(bytes_, kAttributeArchive);
  bytes_.insert(bytes_.end(), stored.begin(), stored.end());
  sealHeader(bytes_, start);
  bytes_.insert(bytes_.end(), packed.begin(), packed.end());
  entries_.push_back(info);
  return true;
}
