// crc32.cpp — CRC-32: carry-less multiplication folding where the processor has it, else a
// table-driven loop eight bytes per step.
#include "archive/crc32.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARNWICK_CRC_CLMUL 1
#endif

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

namespace {

uint32_t crc32Table8(uint32_t crc, const uint8_t* p, size_t n) {
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

#ifdef TARNWICK_CRC_CLMUL

// x^n mod P for the generator 0x104C11DB7, bit-reversed into 64 bits: the form in which the
// reflected data, loaded little-endian, meets it in a carry-less multiplication.
constexpr uint64_t reflectedPower(int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x100000000u) r ^= 0x104C11DB7u;
  }
  uint64_t out = 0;
  for (int i = 0; i < 32; ++i)
    if (r >> i & 1) out |= uint64_t(1) << (63 - i);
  return out;
}

// Moving a 128-bit value D bits further along the message multiplies its upper half (the low
// quadword, in reflected order) by x^(D+64) and its lower half by x^D, each modulo P; the
// product of two reflected operands comes out one power of x too high, hence the −1.
template <int D>
struct FoldConstants {
  static constexpr uint64_t kUpper = reflectedPower(D + 64 - 1);
  static constexpr uint64_t kLower = reflectedPower(D - 1);
};

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i a, __m128i k, __m128i next) {
  __m128i upper = _mm_clmulepi64_si128(a, k, 0x00);  // low quadword × kUpper
  __m128i lower = _mm_clmulepi64_si128(a, k, 0x11);  // high quadword × kLower
  return _mm_xor_si128(_mm_xor_si128(upper, lower), next);
}

// Folds the message into four 128-bit lanes 64 bytes at a time, then into one, congruent to the
// whole message modulo P; the table loop finishes those 16 bytes and the tail. The running CRC
// enters as an XOR into the first four bytes.
__attribute__((target("pclmul,sse4.1"))) uint32_t crc32Clmul(uint32_t crc, const uint8_t* p, size_t n) {
  const __m128i k512 = _mm_set_epi64x(int64_t(FoldConstants<512>::kLower), int64_t(FoldConstants<512>::kUpper));
  const __m128i k128 = _mm_set_epi64x(int64_t(FoldConstants<128>::kLower), int64_t(FoldConstants<128>::kUpper));
  auto load = [](const uint8_t* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
  __m128i l0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(crc)));
  __m128i l1 = load(p + 16), l2 = load(p + 32), l3 = load(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    l0 = fold(l0, k512, load(p));
    l1 = fold(l1, k512, load(p + 16));
    l2 = fold(l2, k512, load(p + 32));
    l3 = fold(l3, k512, load(p + 48));
    p += 64;
    n -= 64;
  }
  __m128i a = fold(fold(fold(l0, k128, l1), k128, l2), k128, l3);
  while (n >= 16) {
    a = fold(a, k128, load(p));
    p += 16;
    n -= 16;
  }
  alignas(16) uint8_t folded[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(folded), a);
  return crc32Table8(crc32Table8(0, folded, 16), p, n);
}

const bool kHaveClmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");

#endif

}  // namespace

uint32_t crc32Update(uint32_t crc, const uint8_t* p, size_t n) {
#ifdef TARNWICK_CRC_CLMUL
  if (n >= 64 && kHaveClmul) return crc32Clmul(crc, p, n);
#endif
  return crc32Table8(crc, p, n);
}
