// crc32.cpp — table-driven CRC-32, eight bytes per step.
#include "archive/crc32.h"

#include <array>

namespace {

// tables[0] is the classic byte table; tables[k] advances a byte seen k positions earlier.
struct Crc32Tables {
  std::array<std::array<uint32_t, 256>, 8> t{};
  constexpr Crc32Tables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
};

constexpr Crc32Tables kTables;

}  // namespace

const uint32_t* crc32Table() { return kTables.t[0].data(); }

uint32_t crc32Update(uint32_t crc, const uint8_t* p, size_t n) {
  const auto& t = kTables.t;
  while (n >= 8) {
    uint32_t lo = crc ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    n -= 8;
  }
  while (n--) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFF];
  return crc;
}
