// rar_archive_writer.h — RarArchiveWriter: builds a RAR 2.0 archive (marker, main header, file
// blocks with their CRCs) from entries given in memory, stored or compressed by Rar20Encoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/rar20_encoder.h"

struct ArchiveWriterOptions {
  bool stored = false;  // store every entry (method 0x30) instead of compressing (0x33)
  bool solid = false;   // one decoder state through all entries (main flag 0x08, entry flag 0x10)
  EncoderOptions encoder;
};

struct PackedEntryInfo {
  std::string name;
  uint32_t unpackedSize = 0;
  uint32_t packedSize = 0;
  int audioChannels = 0;  // 0 = LZ; 1…4 = coded in the multimedia mode
};

class RarArchiveWriter {
 public:
  explicit RarArchiveWriter(const ArchiveWriterOptions& options);

  // Adds one entry. The name is stored as given except that '/' becomes '\'; false when the name
  // is empty or longer than 259 characters, or the data exceed 4 GiB.
  bool addEntry(const std::string& name, const uint8_t* data, size_t size);

  // The whole archive so far.
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  const std::vector<PackedEntryInfo>& entries() const { return entries_; }

 private:
  ArchiveWriterOptions options_;
  Rar20Encoder encoder_;
  std::vector<uint8_t> bytes_;
  std::vector<PackedEntryInfo> entries_;
  bool haveCompressed_ = false;
};
