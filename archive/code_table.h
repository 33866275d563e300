// code_table.h — CodeTable: a canonical Huffman code built from code lengths, with a fast decode.
#pragma once

#include <cstdint>

// Codes are assigned in order of (length, symbol), shortest first, read most significant bit
// first. Any list of lengths 0…15 builds a table (0 = symbol absent); an over-full or incomplete
// code still decodes deterministically, never outside the symbol list.
struct CodeTable {
  static constexpr int kFastBits = 10;

  uint32_t symbolCount = 0;
  uint32_t limit[16] = {};       // limit[L]: first 16-bit value past the codes of length ≤ L
  uint32_t firstIndex[16] = {};  // position in `symbols` of the first code of length L
  uint16_t symbols[298] = {};    // ordered by code length, then symbol value
  // For each 10-bit prefix: symbol << 6 | length when a code of ≤ 10 bits decides it, else 0.
  // Entries 1 … 256·64 − 1 are exactly the literals of a main table, so one comparison tells them.
  uint16_t fast[1 << kFastBits] = {};

  // lengths: `count` values 0…15 (count ≤ 298).
  void build(const uint8_t* lengths, int count);

  // Decodes from a 16-bit window of input (most significant bit first); returns the symbol and
  // sets `bits` to the code length to consume.
  int decode(uint32_t peek16, uint32_t& bits) const {
    uint32_t e = fast[(peek16 & 0xFFFF) >> (16 - kFastBits)];
    if (e != 0) {
      bits = e & 63;
      return int(e >> 6);
    }
    return decodeSlow(peek16 & 0xFFFE, bits);
  }

 private:
  int decodeSlow(uint32_t v, uint32_t& bits) const;
  int symbolAt(uint32_t v, uint32_t length) const;
};
