// code_table.cpp — building a CodeTable from code lengths and the long-code decode path.
#include "archive/code_table.h"

#include <algorithm>
#include <cstring>

void CodeTable::build(const uint8_t* lengths, int count) {
  symbolCount = uint32_t(count);
  uint32_t lengthCount[16] = {};
  for (int i = 0; i < count; ++i) lengthCount[lengths[i] & 15]++;
  lengthCount[0] = 0;

  limit[0] = 0;
  firstIndex[0] = 0;
  uint32_t n = 0;
  for (int len = 1; len < 16; ++len) {
    n = 2 * (n + lengthCount[len]);
    limit[len] = std::min<uint32_t>(n << (15 - len), 0xFFFF);
    firstIndex[len] = firstIndex[len - 1] + lengthCount[len - 1];
  }

  // Positions past the placed symbols (an incomplete code) decode as symbol 0.
  std::memset(symbols, 0, sizeof(symbols));
  uint32_t placed[16] = {};
  for (int s = 0; s < count; ++s) {
    int len = lengths[s] & 15;
    if (len != 0) symbols[firstIndex[len] + placed[len]++] = uint16_t(s);
  }

  // Limits of lengths ≤ 10 are multiples of 64 (or 0xFFFF), so a 10-bit prefix decides them.
  // The limits never decrease, so one pass over the prefixes finds each one's code length.
  uint32_t len = 1;
  for (uint32_t x = 0; x < (1u << kFastBits); ++x) {
    const uint32_t v = x << (16 - kFastBits);
    while (len <= uint32_t(kFastBits) && v >= limit[len]) ++len;
    fast[x] = len <= uint32_t(kFastBits) ? uint16_t(symbolAt(v, len) << 6 | len) : 0;
  }
}

int CodeTable::symbolAt(uint32_t v, uint32_t length) const {
  uint32_t index = firstIndex[length] + ((v - limit[length - 1]) >> (16 - length));
  if (index >= symbolCount) index = 0;
  return symbols[index];
}

int CodeTable::decodeSlow(uint32_t v, uint32_t& bits) const {
  uint32_t len = kFastBits + 1;
  while (len < 15 && v >= limit[len]) ++len;
  bits = len;
  return symbolAt(v, len);
}
