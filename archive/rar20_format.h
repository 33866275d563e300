// rar20_format.h — constants of the RAR 2.0 container and compressed stream, shared by reader and packer.
#pragma once

#include <cstdint>

namespace rar20 {

// ---- container ----------------------------------------------------------------------------
inline constexpr uint8_t kMarker[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};  // "Rar!" 1A 07 00
inline constexpr uint8_t kUniqueMarker[7] = {'U', 'n', 'i', 'q', 'u', 'E', '!'};
inline constexpr uint32_t kMainHeaderSize = 13;
inline constexpr uint32_t kFileHeaderFixedSize = 32;
inline constexpr uint8_t kMainBlock = 0x73;
inline constexpr uint8_t kFileBlock = 0x74;
inline constexpr uint8_t kSubBlock = 0x77;

inline constexpr uint16_t kMainSolid = 0x0008;
inline constexpr uint16_t kFileContinuesSolid = 0x0010;
inline constexpr uint16_t kFileEnciphered = 0x0004;
inline constexpr uint16_t kFileDictionaryMask = 0x00E0;
inline constexpr uint16_t kFileDictionary1M = 0x0080;
inline constexpr uint16_t kFileDirectory = 0x00E0;
inline constexpr uint16_t kLongBlock = 0x8000;   // a 32-bit data size follows the header fields

inline constexpr uint8_t kMethodStored = 0x30;
inline constexpr uint8_t kMethodNormal = 0x33;
inline constexpr uint8_t kVersionMin = 13;
inline constexpr uint8_t kVersionMax = 20;
inline constexpr uint32_t kMaxNameLength = 259;   // longer stored names are cut here

// ---- compressed stream --------------------------------------------------------------------
inline constexpr uint32_t kWindowSize = 1u << 20;
inline constexpr uint32_t kWindowMask = kWindowSize - 1;

inline constexpr int kMainSymbols = 298;
inline constexpr int kDistanceSymbols = 48;
inline constexpr int kLengthSymbols = 28;
inline constexpr int kBitLengthSymbols = 19;
inline constexpr int kAudioSymbols = 257;
inline constexpr int kMaxChannels = 4;
inline constexpr int kLzTableSize = kMainSymbols + kDistanceSymbols + kLengthSymbols;  // 374
inline constexpr int kMaxTableSize = kAudioSymbols * kMaxChannels;                     // 1028
inline constexpr int kMaxCodeLength = 15;

inline constexpr int kRepeatLast = 256;      // copy again with the last length and distance
inline constexpr int kFirstHistory = 257;    // 257..260: one of the four recent distances
inline constexpr int kFirstShort = 261;      // 261..268: length 2, distance up to 256
inline constexpr int kTableSwitch = 269;     // new code tables follow
inline constexpr int kFirstMatch = 270;      // 270..297: length symbol of a new match
inline constexpr int kAudioTableSwitch = 256;

inline constexpr uint8_t kLengthBase[28] = {0,  1,  2,  3,  4,  5,  6,   7,   8,   10,  12,  14,  16,  20,
                                            24, 28, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224};
inline constexpr uint8_t kLengthBits[28] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                            2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
inline constexpr uint32_t kDistanceBase[48] = {
    0,      1,      2,      3,      4,      6,      8,      12,     16,     24,     32,     48,
    64,     96,     128,    192,    256,    384,    512,    768,    1024,   1536,   2048,   3072,
    4096,   6144,   8192,   12288,  16384,  24576,  32768,  49152,  65536,  98304,  131072, 196608,
    262144, 327680, 393216, 458752, 524288, 589824, 655360, 720896, 786432, 851968, 917504, 983040};
inline constexpr uint8_t kDistanceBits[48] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3,  4,  4,
                                              5,  5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                              11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16,
                                              16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16};
inline constexpr uint8_t kShortBase[8] = {0, 4, 8, 16, 32, 64, 128, 192};
inline constexpr uint8_t kShortBits[8] = {2, 2, 3, 4, 5, 6, 6, 6};

}  // namespace rar20
