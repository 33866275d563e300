// huffman_code.h — length-limited Huffman code lengths and the canonical codes the reader expects.
#pragma once

#include <cstdint>

// Fills lengths[0…count) with code lengths ≤ maxLength for the given frequencies: optimal Huffman
// lengths, lengthened where needed to fit the limit. Symbols of frequency 0 get length 0. When
// fewer than two symbols are used, the code is padded to two symbols of length 1, so that every
// code written is complete.
void buildCodeLengths(const uint32_t* frequencies, int count, int maxLength, uint8_t* lengths);

// Canonical codes in the reader's order: by length, then by symbol, shortest codes first.
void canonicalCodes(const uint8_t* lengths, int count, uint32_t* codes);
