// rar20_decoder.h — the RAR 2.0 decompressor: LZ77 over a 1 MiB window, re-sent Huffman tables,
// multimedia (audio) blocks; state carries from one entry to the next for solid archives.
//
// It reads an entry's packed bytes through MemoryFile's all-or-nothing rule, never past the
// entry's packed size, and never writes past the output buffer. Bad codes give wrong bytes,
// which the caller's CRC check rejects; input that runs out ends decoding early.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "archive/audio_predictor.h"
#include "archive/code_table.h"
#include "archive/memory_file.h"
#include "archive/rar20_format.h"

class Rar20Decoder {
 public:
  Rar20Decoder();
  ~Rar20Decoder();
  Rar20Decoder(const Rar20Decoder&) = delete;
  Rar20Decoder& operator=(const Rar20Decoder&) = delete;

  // Allocates the window; false when there is no memory for it.
  bool allocate();

  // Decodes one entry whose packed bytes start at `file.cursor`. With `continues` (entry flag
  // 0x10) the window, tables, distance history and audio state of the previous entry carry on.
  // Output goes to `out` (capacity `unpackedSize`) and `*delivered` counts the bytes stored;
  // a null `out` decodes and drops the output (an earlier entry of a solid archive).
  void decodeEntry(MemoryFile& file, uint32_t packedSize, uint32_t unpackedSize, bool continues,
                   uint8_t* out, uint32_t* delivered);

 private:
  static constexpr uint32_t kInputSize = 8192;

  void resetState();
  // Input buffer and bit reader, most significant bit first.
  uint32_t readPacked(uint8_t* dest, uint32_t n);
  void fillInput();
  void refillInput();
  // The 64 bits at `p`, the first byte in the top bits.
  static uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
  }
  // At least 57 valid bits from `bitPos`, aligned to the top.
  uint64_t peek64(uint32_t bitPos) const { return load64(input_ + (bitPos >> 3)) << (bitPos & 7); }
  uint32_t peek16() const { return uint32_t(peek64(bitPos_) >> 48); }
  void consume(uint32_t n) { bitPos_ += n; }
  uint32_t bytePos() const { return bitPos_ >> 3; }
  uint32_t readBits(uint32_t n) {
    uint32_t v = peek16() >> (16 - n);
    consume(n);
    return v;
  }
  int decodeSymbol(const CodeTable& table) {
    uint32_t bits;
    int s = table.decode(peek16(), bits);
    consume(bits);
    return s;
  }

  void readTables();
  void runMainLoop();
  void decodeAudioSymbol(int symbol);
  // Copies `length` bytes from `distance` back to window position `dst`, with `written` bytes
  // written since the reset, and enters the distance in the history; returns the new position.
  uint32_t copyMatch(uint32_t dst, uint64_t written, uint32_t length, uint32_t distance);
  void flush();

  // Window
  std::unique_ptr<uint8_t[]> window_;
  uint32_t writePos_ = 0;
  uint32_t flushPos_ = 0;
  uint64_t written_ = 0;  // bytes written since the last reset; older positions read as zero

  // Input
  uint8_t input_[kInputSize + 16] = {};  // room past the end for 8-byte look-ahead loads
  uint32_t bitPos_ = 0;   // byte position * 8 + bit position
  uint32_t readTop_ = 0;   // end of the last read, as the trailing table switch test sees it
  uint32_t validEnd_ = 0;  // end of the bytes actually read into the buffer
  MemoryFile* file_ = nullptr;
  uint32_t packedLeft_ = 0;
  int64_t outputLeft_ = 0;

  // Output
  uint8_t* out_ = nullptr;
  uint32_t outCapacity_ = 0;
  uint32_t* delivered_ = nullptr;
  uint32_t droppedCount_ = 0;

  // Code tables
  CodeTable mainTable_, distanceTable_, lengthTable_, bitLengthTable_;
  CodeTable audioTables_[rar20::kMaxChannels];
  uint8_t tableLengths_[rar20::kMaxTableSize] = {};
  uint8_t previousLengths_[rar20::kMaxTableSize] = {};

  // Distance history
  uint32_t history_[4] = {};
  uint32_t historyIndex_ = 0;
  uint32_t lastDistance_ = 0;
  uint32_t lastLength_ = 0;

  // Audio
  bool audio_ = false;
  int channels_ = 1;
  int currentChannel_ = 0;
  int32_t channelDelta_ = 0;
  AudioChannel audioChannels_[rar20::kMaxChannels];
};
