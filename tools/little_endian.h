// little_endian.h — appending little-endian 16- and 32-bit fields to a byte vector, for the
// writers of archive headers and picture files.
#pragma once

#include <cstdint>
#include <vector>

inline void put16(std::vector<uint8_t>& bytes, uint32_t value) {
  bytes.push_back(uint8_t(value));
  bytes.push_back(uint8_t(value >> 8));
}

inline void put32(std::vector<uint8_t>& bytes, uint32_t value) {
  put16(bytes, value & 0xFFFF);
  put16(bytes, value >> 16);
}
