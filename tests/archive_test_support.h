// archive_test_support.h — small builders for archive tests: hand-made RAR 2.0 containers (to
// corrupt any header field) and hand-coded compressed streams with fixed, simple codes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/rar20_format.h"
#include "tools/bit_writer.h"

namespace archive_test {

inline void put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

struct EntrySpec {
  std::string name;
  std::vector<uint8_t> data;             // packed bytes as written
  uint32_t unpackedSize = UINT32_MAX;    // default: data.size()
  uint32_t crc = 0;                      // default (0 with crcSet false): CRC-32 of data
  bool crcSet = false;
  uint16_t flags = rar20::kLongBlock;
  uint8_t type = rar20::kFileBlock;
  uint8_t version = 20;
  uint8_t method = rar20::kMethodStored;
  int headerSize = -1;                   // default: 32 + name size
  int nameSize = -1;                     // default: name size
  uint32_t packedSize = UINT32_MAX;      // default: data.size()
};

// Marker + main header (flags, declared size) + blocks.
class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(uint16_t mainFlags = 0, uint16_t mainSize = 13, bool uniqueMarker = false) {
    const uint8_t* m = uniqueMarker ? rar20::kUniqueMarker : rar20::kMarker;
    bytes.assign(m, m + 7);
    put16(bytes, 0);
    bytes.push_back(rar20::kMainBlock);
    put16(bytes, mainFlags);
    put16(bytes, mainSize);
    put16(bytes, 0);
    put32(bytes, 0);
    for (int i = 13; i < mainSize; ++i) bytes.push_back(0xEE);  // extra main-header bytes to skip
  }
  ArchiveBuilder& add(const EntrySpec& e) {
    size_t start = bytes.size();
    uint32_t headerSize = e.headerSize >= 0 ? uint32_t(e.headerSize) : uint32_t(32 + e.name.size());
    put16(bytes, 0);
    bytes.push_back(e.type);
    put16(bytes, e.flags);
    put16(bytes, headerSize);
    put32(bytes, e.packedSize != UINT32_MAX ? e.packedSize : uint32_t(e.data.size()));
    put32(bytes, e.unpackedSize != UINT32_MAX ? e.unpackedSize : uint32_t(e.data.size()));
    bytes.push_back(2);
    put32(bytes, e.crcSet ? e.crc : crc32(e.data.data(), e.data.size()));
    put32(bytes, 0);
    bytes.push_back(e.version);
    bytes.push_back(e.method);
    put16(bytes, e.nameSize >= 0 ? uint32_t(e.nameSize) : uint32_t(e.name.size()));
    put32(bytes, 0x20);
    bytes.insert(bytes.end(), e.name.begin(), e.name.end());
    while (bytes.size() < start + headerSize) bytes.push_back(0);  // extra header fields
    bytes.insert(bytes.end(), e.data.begin(), e.data.end());
    return *this;
  }
  // A stored entry with the given contents.
  ArchiveBuilder& stored(const std::string& name, const std::string& contents) {
    EntrySpec e;
    e.name = name;
    e.data.assign(contents.begin(), contents.end());
    return add(e);
  }
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> bytesOf(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// Writes compressed streams with fixed codes, so every symbol is easy to place by hand:
// main symbols 9 bits (code = symbol), distance symbols 6 bits, length symbols 5 bits, audio
// symbols 9 bits; the code lengths themselves are sent with a 4-bit code for 0…15 or, with
// `runCodes`, a 5-bit code for all 19 bit-length symbols.
class StreamBuilder {
 public:
  static constexpr int kMainBits = 9, kDistanceBits = 6, kLengthBits = 5, kAudioBits = 9;

  // An LZ table read. With `keepPrevious` (header bit 14) the sent values are added to the
  // previous lengths; `deltas` then gives what is sent, else the uniform lengths are sent.
  void lzTables(bool keepPrevious = false, const std::vector<uint8_t>* deltas = nullptr) {
    bw.put(0, 1);
    bw.put(keepPrevious ? 1 : 0, 1);
    std::vector<uint8_t> lengths = uniformLz();
    sendLengths(deltas ? *deltas : lengths);
  }
  void audioTables(int channels) {
    bw.put(1, 1);
    bw.put(0, 1);
    bw.put(uint32_t(channels - 1), 2);
    sendLengths(std::vector<uint8_t>(size_t(257 * channels), kAudioBits));
  }
  static std::vector<uint8_t> uniformLz() {
    std::vector<uint8_t> lengths(rar20::kLzTableSize, kMainBits);
    std::fill(lengths.begin() + rar20::kMainSymbols, lengths.begin() + rar20::kMainSymbols + rar20::kDistanceSymbols,
              kDistanceBits);
    std::fill(lengths.begin() + rar20::kMainSymbols + rar20::kDistanceSymbols, lengths.end(), kLengthBits);
    return lengths;
  }
  // Bit-length code with all 19 symbols at 5 bits, then the given symbols and extra bits.
  void rawTableItems(bool audio, const std::vector<std::pair<int, int>>& items) {
    bw.put(audio ? 1 : 0, 1);
    bw.put(0, 1);
    for (int i = 0; i < rar20::kBitLengthSymbols; ++i) bw.put(5, 4);
    for (auto [symbol, extra] : items) {
      bw.put(uint32_t(symbol), 5);
      if (symbol == 16) bw.put(uint32_t(extra), 2);
      if (symbol == 17) bw.put(uint32_t(extra), 3);
      if (symbol == 18) bw.put(uint32_t(extra), 7);
    }
  }

  void literal(uint8_t b) { bw.put(b, kMainBits); }
  void literals(const std::string& s) {
    for (char c : s) literal(uint8_t(c));
  }
  void symbol(int s) { bw.put(uint32_t(s), kMainBits); }
  void audioSymbol(int s) { bw.put(uint32_t(s), kAudioBits); }
  void lengthSymbol(int s) { bw.put(uint32_t(s), kLengthBits); }
  // A new match: symbol 270 + slot with extra bits, then the distance symbol and extra bits.
  // `length` is the length before the decoder's far-distance bonus.
  void match(uint32_t length, uint32_t distance) {
    uint32_t v = length - 3;
    int k = 27;
    while (rar20::kLengthBase[k] > v) --k;
    symbol(rar20::kFirstMatch + k);
    if (rar20::kLengthBits[k]) bw.put(v - rar20::kLengthBase[k], rar20::kLengthBits[k]);
    uint32_t dv = distance - 1;
    int d = 47;
    while (rar20::kDistanceBase[d] > dv) --d;
    bw.put(uint32_t(d), kDistanceBits);
    if (rar20::kDistanceBits[d]) bw.put(dv - rar20::kDistanceBase[d], rar20::kDistanceBits[d]);
  }
  // Length 2 at a distance of 1…256 (symbols 261…268).
  void shortMatch(uint32_t distance) {
    uint32_t v = distance - 1;
    int k = 7;
    while (rar20::kShortBase[k] > v) --k;
    symbol(rar20::kFirstShort + k);
    bw.put(v - rar20::kShortBase[k], rar20::kShortBits[k]);
  }
  std::vector<uint8_t> finish() { return bw.finish(); }

  BitWriter bw;

 private:
  void sendLengths(const std::vector<uint8_t>& values) {
    // Bit-length code: symbols 0…15 at 4 bits (code = symbol), 16…18 absent.
    for (int i = 0; i < rar20::kBitLengthSymbols; ++i) bw.put(i < 16 ? 4 : 0, 4);
    for (uint8_t v : values) bw.put(v & 15, 4);
  }
};

}  // namespace archive_test
