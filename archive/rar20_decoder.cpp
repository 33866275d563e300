// rar20_decoder.cpp — RAR 2.0 decompression: input buffer, table transmission, main loop, audio, flush.
#include "archive/rar20_decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace rar20;

namespace {
constexpr uint32_t kKeepBytes = 32;                    // bytes carried over on a refill
constexpr uint32_t kMainRefillAt = 8162;               // byte positions past which the buffer refills
constexpr uint32_t kTableRefillAt = 8167;
constexpr uint32_t kLengthsRefillAt = 8187;
constexpr uint32_t kFlushMargin = 270;                 // longer than the longest single copy (260)
}  // namespace

Rar20Decoder::Rar20Decoder() = default;
Rar20Decoder::~Rar20Decoder() = default;

bool Rar20Decoder::allocate() {
  // Not cleared: bytes never written since the last reset read as zero through copyMatch.
  window_.reset(new (std::nothrow) uint8_t[kWindowSize]);
  written_ = 0;
  return window_ != nullptr;
}

void Rar20Decoder::resetState() {
  channelDelta_ = 0;
  currentChannel_ = 0;
  for (AudioChannel& c : audioChannels_) c = AudioChannel{};
  std::memset(history_, 0, sizeof(history_));
  historyIndex_ = 0;
  lastDistance_ = 0;
  lastLength_ = 0;
  written_ = 0;  // the window now reads as all zero
  std::memset(previousLengths_, 0, sizeof(previousLengths_));
  writePos_ = 0;
  flushPos_ = 0;
}

// ---- input ---------------------------------------------------------------------------------

uint32_t Rar20Decoder::readPacked(uint8_t* dest, uint32_t n) {
  if (n > packedLeft_) n = packedLeft_;
  uint32_t got = file_->read(dest, n);
  packedLeft_ -= got;
  return got;
}

void Rar20Decoder::fillInput() {
  uint32_t got = readPacked(input_, kInputSize);
  bitPos_ = 0;
  readTop_ = got;
  validEnd_ = got;
}

void Rar20Decoder::refillInput() {
  // Only called past byte 8162, so the kept tail starts at or before the read position.
  // Every 8-byte load stays in the buffer: table reads refill past byte 8187 and load at most
  // 3 bytes further on; a symbol of the main loop starts at or before byte 8162 and its loads
  // start at most 10 bytes past that.
  static_assert(kLengthsRefillAt + 3 + 8 <= sizeof(input_) && kMainRefillAt + 10 + 8 <= sizeof(input_));
  std::memmove(input_, input_ + kInputSize - kKeepBytes, kKeepBytes);
  bitPos_ -= (kInputSize - kKeepBytes) * 8;
  uint32_t got = readPacked(input_ + kKeepBytes, kInputSize - kKeepBytes);
  if (got != 0) {
    readTop_ = got + kKeepBytes;
    validEnd_ = readTop_;
  } else {
    readTop_ = bytePos();
    validEnd_ = validEnd_ > kInputSize - kKeepBytes ? validEnd_ - (kInputSize - kKeepBytes) : 0;
  }
}

// ---- tables --------------------------------------------------------------------------------

void Rar20Decoder::readTables() {
  if (bytePos() > kTableRefillAt) refillInput();
  uint32_t header = peek16();
  audio_ = (header & 0x8000) != 0;
  if ((header & 0x4000) == 0) std::memset(previousLengths_, 0, sizeof(previousLengths_));
  consume(2);

  int tableSize = kLzTableSize;
  if (audio_) {
    channels_ = int((header >> 12) & 3) + 1;
    if (currentChannel_ >= channels_) currentChannel_ = 0;
    consume(2);
    tableSize = kAudioSymbols * channels_;
  }

  uint8_t bitLengths[kBitLengthSymbols];
  for (uint8_t& b : bitLengths) b = uint8_t(readBits(4));
  bitLengthTable_.build(bitLengths, kBitLengthSymbols);

  for (int i = 0; i < tableSize;) {
    if (bytePos() > kLengthsRefillAt) refillInput();
    int s = decodeSymbol(bitLengthTable_);
    if (s < 16) {
      tableLengths_[i] = uint8_t((s + previousLengths_[i]) & 15);
      ++i;
      continue;
    }
    uint32_t run;
    uint8_t value = 0;
    if (s == 16) {
      run = readBits(2) + 3;
      value = i > 0 ? tableLengths_[i - 1] : 0;  // nothing precedes the first length: repeat 0
    } else if (s == 17) {
      run = readBits(3) + 3;
    } else {
      run = readBits(7) + 11;
    }
    while (run-- > 0 && i < tableSize) tableLengths_[i++] = value;
  }

  if (audio_) {
    for (int c = 0; c < channels_; ++c)
      audioTables_[c].build(tableLengths_ + c * kAudioSymbols, kAudioSymbols);
  } else {
    mainTable_.build(tableLengths_, kMainSymbols);
    distanceTable_.build(tableLengths_ + kMainSymbols, kDistanceSymbols);
    lengthTable_.build(tableLengths_ + kMainSymbols + kDistanceSymbols, kLengthSymbols);
  }
  std::memcpy(previousLengths_, tableLengths_, sizeof(previousLengths_));
}

// ---- output --------------------------------------------------------------------------------

uint32_t Rar20Decoder::copyMatch(uint32_t dst, uint64_t written, uint32_t length, uint32_t distance) {
  history_[historyIndex_++ & 3] = distance;
  lastDistance_ = distance;
  lastLength_ = length;

  uint8_t* const w = window_.get();
  // Distance 0 (the history before any match) names the same window slot as a full window back.
  const uint32_t back = distance != 0 ? distance : kWindowSize;
  const uint32_t src = (dst - back) & kWindowMask;
  if (back <= dst && dst + length <= kWindowSize && back <= written) {
    // Neither side wraps and every source byte has been written: the common case.
    uint8_t* d = w + dst;
    const uint8_t* f = w + src;
    if (back >= 8 && length >= 8) {
      // 8-byte steps, each reading only bytes written before it; the last one ends exactly at
      // the match end, so nothing past it (older window content still in reach) is touched.
      uint32_t i = 0;
      for (; i + 8 < length; i += 8) std::memcpy(d + i, f + i, 8);
      std::memcpy(d + length - 8, f + length - 8, 8);
    } else if (back >= length && length >= 4) {
      uint32_t head, tail;
      std::memcpy(&head, f, 4);
      std::memcpy(&tail, f + length - 4, 4);
      std::memcpy(d, &head, 4);
      std::memcpy(d + length - 4, &tail, 4);
    } else if (back == 1) {
      std::memset(d, f[0], length);
    } else {
      for (uint32_t i = 0; i < length; ++i) d[i] = f[i];
    }
  } else {
    for (uint32_t i = 0; i < length; ++i) {
      // Bytes from before everything written since the reset read as zero.
      const bool before = uint64_t(back) > written + i;
      w[(dst + i) & kWindowMask] = before ? 0 : w[(src + i) & kWindowMask];
    }
  }
  return (dst + length) & kWindowMask;
}

void Rar20Decoder::flush() {
  uint32_t pending = (writePos_ - flushPos_) & kWindowMask;
  uint32_t& count = delivered_ != nullptr ? *delivered_ : droppedCount_;
  if (uint64_t(count) + pending > outCapacity_) {
    outputLeft_ = -1;  // would overrun the output buffer: stop, the CRC check fails the entry
  } else if (pending != 0) {
    if (out_ != nullptr) {
      uint8_t* dest = out_ + count;
      if (writePos_ >= flushPos_) {
        std::memcpy(dest, window_.get() + flushPos_, pending);
      } else {
        uint32_t tail = kWindowSize - flushPos_;
        std::memcpy(dest, window_.get() + flushPos_, tail);
        std::memcpy(dest + tail, window_.get(), writePos_);
      }
    }
    count += pending;
  }
  flushPos_ = writePos_;
}

// ---- main loop -----------------------------------------------------------------------------

void Rar20Decoder::decodeAudioSymbol(int symbol) {
  window_[writePos_] = AudioPredictor::decode(audioChannels_[currentChannel_], channelDelta_,
                                              uint32_t(symbol));
  writePos_ = (writePos_ + 1) & kWindowMask;
  ++written_;
  if (++currentChannel_ == channels_) currentChannel_ = 0;
  --outputLeft_;
}

void Rar20Decoder::runMainLoop() {
  // The hot state lives in locals: stores into the window could alias the members, which would
  // reload them after every byte. They go back to the members around every slower step.
  uint8_t* const w = window_.get();
  uint32_t bitPos = bitPos_, writePos = writePos_;
  int64_t left = outputLeft_;
  uint64_t written = written_;
  uint32_t validBits = validEnd_ * 8;
  auto save = [&] {
    bitPos_ = bitPos;
    writePos_ = writePos;
    outputLeft_ = left;
    written_ = written;
  };
  auto load = [&] {
    bitPos = bitPos_;
    writePos = writePos_;
    left = outputLeft_;
    written = written_;
    validBits = validEnd_ * 8;
  };

  while (left >= 0) {
    if ((bitPos >> 3) > kMainRefillAt) {
      save();
      refillInput();
      load();
    }
    // Past the last packed byte only stale buffer bytes remain: the entry is corrupt or cut.
    if (bitPos > validBits) break;
    if (((flushPos_ - writePos) & kWindowMask) <= kFlushMargin && flushPos_ != writePos) {
      save();
      flush();
      load();
      if (left < 0) break;
    }

    if (audio_) {
      save();
      int s = decodeSymbol(audioTables_[currentChannel_]);
      if (s == kAudioTableSwitch) {
        readTables();
      } else {
        decodeAudioSymbol(s);
      }
      load();
      continue;
    }

    // LZ symbols run in a tight loop until one of two limits: the input bits before the refill
    // point or the end of the packed bytes, and the output bytes before the flush margin or the
    // entry's end. Every symbol starts inside both, and one symbol reads at most 51 bits and
    // writes at most 260 bytes, which the buffer's tail and the flush margin leave room for.
    const uint32_t bitLimit = std::min<uint32_t>((kMainRefillAt + 1) * 8, validBits + 1);
    uint32_t room = (flushPos_ - writePos) & kWindowMask;
    if (room == 0) room = kWindowSize;
    const int64_t byteLimit = std::min<int64_t>(int64_t(room) - kFlushMargin, left + 1);
    int64_t n = 0;  // bytes written in this run
    bool switched = false;
    const CodeTable& mainTable = mainTable_;
    auto literal = [&](int s) {
      w[writePos] = uint8_t(s);
      writePos = (writePos + 1) & kWindowMask;
      ++n;
    };
    while (n < byteLimit && bitPos < bitLimit) {
      if (bitPos + 50 < bitLimit && n + 5 <= byteLimit) {
        // Far from both limits: a run of literals whose codes the fast table resolves (≤ 10 bits),
        // five per fill of a 64-bit buffer. The buffer takes whole bytes from `next` below its
        // `held` bits, so the load does not wait for the codes just read; it then holds at
        // least 56 bits, room for 5 × 10. The run stops before any other symbol.
        uint32_t next = (bitPos >> 3) + 8;
        uint32_t held = 64 - (bitPos & 7);
        uint64_t bits = load64(input_ + (bitPos >> 3)) << (bitPos & 7);
        const uint16_t* fast = mainTable.fast;
        auto fastLiteral = [&] {
          const uint32_t e = fast[bits >> (64 - CodeTable::kFastBits)];
          if (e - 1u >= (256u << 6) - 1u) return false;  // a long code, or not a literal
          literal(int(e >> 6));
          bits <<= (e & 63);
          held -= (e & 63);
          return true;
        };
        bool atLimit = false;
        while (fastLiteral() && fastLiteral() && fastLiteral() && fastLiteral() && fastLiteral()) {
          bits |= load64(input_ + next) >> held;
          next += (63 - held) >> 3;
          held |= 56;
          if (next * 8 - held + 50 >= bitLimit || n + 5 > byteLimit) {
            atLimit = true;
            break;
          }
        }
        bitPos = next * 8 - held;
        if (atLimit) continue;
      }
      // One symbol through the full decode: near a limit, or where a literal run stopped.
      uint64_t bits = peek64(bitPos);
      uint32_t length;
      int s = mainTable.decode(uint32_t(bits >> 48), length);
      bits <<= length;
      bitPos += length;
      if (s < 256) {
        literal(s);
        continue;
      }
      // Extra bits come from the top of `bits` (at most 16 at a time; it holds 42 or more here).
      auto take = [&](uint32_t count) {
        uint32_t v = uint32_t((bits >> 32) >> (32 - count));
        bits <<= count;
        bitPos += count;
        return v;
      };
      uint32_t matchLength, distance;
      if (s >= kFirstMatch) {
        const int k = s - kFirstMatch;
        matchLength = kLengthBase[k] + 3u + take(kLengthBits[k]);
        const int d = distanceTable_.decode(uint32_t(bits >> 48), length);
        bits <<= length;
        bitPos += length;
        distance = kDistanceBase[d] + 1 + take(kDistanceBits[d]);
        if (distance >= 0x2000) {
          matchLength++;
          if (distance >= 0x40000) matchLength++;
        }
      } else if (s >= kFirstShort) {
        if (s == kTableSwitch) {
          switched = true;
          break;
        }
        const int k = s - kFirstShort;
        distance = kShortBase[k] + 1u + take(kShortBits[k]);
        matchLength = 2;
      } else if (s == kRepeatLast) {
        distance = lastDistance_;
        matchLength = lastLength_;
      } else {
        distance = history_[(historyIndex_ - uint32_t(s - kRepeatLast)) & 3];
        const int k = lengthTable_.decode(uint32_t(bits >> 48), length);
        bits <<= length;
        bitPos += length;
        matchLength = kLengthBase[k] + 2u + take(kLengthBits[k]);
        if (distance >= 0x101) {
          matchLength++;
          if (distance >= 0x2000) {
            matchLength++;
            if (distance >= 0x40000) matchLength++;
          }
        }
      }
      writePos = copyMatch(writePos, written + uint64_t(n), matchLength, distance);
      n += matchLength;
    }
    written += uint64_t(n);
    left -= n;
    if (switched) {
      save();
      readTables();
      load();
    }
  }
  save();
}

void Rar20Decoder::decodeEntry(MemoryFile& file, uint32_t packedSize, uint32_t unpackedSize,
                               bool continues, uint8_t* out, uint32_t* delivered) {
  file_ = &file;
  packedLeft_ = packedSize;
  out_ = out;
  outCapacity_ = unpackedSize;
  delivered_ = out != nullptr ? delivered : nullptr;
  droppedCount_ = 0;

  if (!continues) resetState();
  fillInput();
  if (!continues) readTables();

  outputLeft_ = int64_t(unpackedSize) - 1;
  runMainLoop();

  // A table switch right after the last symbol prepares the tables of the next solid entry.
  if (readTop_ >= bytePos() + 5) {
    if (audio_) {
      if (decodeSymbol(audioTables_[currentChannel_]) == kAudioTableSwitch) readTables();
    } else {
      if (decodeSymbol(mainTable_) == kTableSwitch) readTables();
    }
  }
  flush();
  file_ = nullptr;
}
