// bit_writer.h — BitWriter: appends bit fields most significant bit first, as the RAR 2.0 reader reads them.
#pragma once

#include <cstdint>
#include <vector>

class BitWriter {
 public:
  // Appends the low `count` bits of `value` (count ≤ 24).
  void put(uint32_t value, uint32_t count) {
    acc_ = (acc_ << count) | (value & ((1u << count) - 1));
    bits_ += count;
    while (bits_ >= 8) {
      bits_ -= 8;
      bytes_.push_back(uint8_t(acc_ >> bits_));
    }
  }
  uint64_t bitCount() const { return uint64_t(bytes_.size()) * 8 + bits_; }
  // Pads the last byte with zero bits and hands the bytes over.
  std::vector<uint8_t> finish() {
    if (bits_ > 0) put(0, 8 - bits_);
    acc_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t acc_ = 0;
  uint32_t bits_ = 0;
};
