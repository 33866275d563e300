// crc32.h — CRC-32 (reflected polynomial 0xEDB88320), the data check of archive entries.
#pragma once

#include <cstddef>
#include <cstdint>

// The 256-entry table of the reflected polynomial (also used by the packer's header checks).
const uint32_t* crc32Table();

// Continues a running CRC: start with 0xFFFFFFFF, complement the final value.
uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t size);

// CRC-32 of one whole buffer (initial 0xFFFFFFFF, final complement).
inline uint32_t crc32(const uint8_t* data, size_t size) {
  return ~crc32Update(0xFFFFFFFFu, data, size);
}
