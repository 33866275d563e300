// archive_crc_test.cpp — CRC-32 against its bit-at-a-time definition, across the lengths and
// starting offsets where the wide path hands over to the byte loop, and in pieces.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "archive/crc32.h"

namespace {

uint32_t bitwiseCrc(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  while (n--) {
    c ^= *p++;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
}

std::vector<uint8_t> noise(size_t n) {
  std::vector<uint8_t> d(n);
  uint32_t x = 12345;
  for (uint8_t& b : d) {
    x = x * 1103515245u + 12345u;
    b = uint8_t(x >> 23);
  }
  return d;
}

}  // namespace

TEST(Crc32Test, MatchesTheDefinitionAtEveryLengthAndAlignment) {
  EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
  const std::vector<uint8_t> d = noise(70000);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t n = 0; n <= 300; ++n) {
      ASSERT_EQ(crc32(d.data() + offset, n), bitwiseCrc(d.data() + offset, n)) << offset << " " << n;
    }
  }
  EXPECT_EQ(crc32(d.data() + 3, d.size() - 3), bitwiseCrc(d.data() + 3, d.size() - 3));
  const std::vector<uint8_t> ones(5000, 0xFF), zeros(5000, 0);
  EXPECT_EQ(crc32(ones.data(), ones.size()), bitwiseCrc(ones.data(), ones.size()));
  EXPECT_EQ(crc32(zeros.data(), zeros.size()), bitwiseCrc(zeros.data(), zeros.size()));
}

TEST(Crc32Test, RunningValueCarriesAcrossPieces) {
  const std::vector<uint8_t> d = noise(20000);
  for (size_t cut : {size_t(1), size_t(63), size_t(64), size_t(65), size_t(4097), size_t(19999)}) {
    uint32_t c = crc32Update(0xFFFFFFFFu, d.data(), cut);
    c = crc32Update(c, d.data() + cut, d.size() - cut);
    EXPECT_EQ(~c, bitwiseCrc(d.data(), d.size())) << cut;
  }
}
