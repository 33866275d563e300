// match_finder.h — MatchFinder: hash chains over the data already seen, for LZ77 within a 1 MiB window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct Match {
  uint32_t length;
  uint32_t distance;
};

// Positions are offsets into one growing buffer (for a solid archive, all entries so far).
// Insert positions in increasing order; a position may then be queried any number of times, as
// long as it lies within the last `kSpan` inserted positions.
class MatchFinder {
 public:
  static constexpr uint32_t kMaxDistance = (1u << 20) - 1;
  static constexpr uint32_t kSpan = 1u << 20;   // positions inserted ahead of the oldest query

  explicit MatchFinder(int chainDepth);
  void setData(const uint8_t* data, uint32_t size) { data_ = data; size_ = size; }

  // Adds positions [insertedUpTo, end) to the chains.
  void insertUpTo(uint32_t end);

  // Appends to `out` the matches of at least 3 bytes at `pos`, each longer than the one before
  // (so the nearest distance for each length), limited to `maxLength` bytes.
  void find(uint32_t pos, uint32_t maxLength, std::vector<Match>& out) const;

  // The nearest distance ≤ 256 at which the two bytes at `pos` occur, or 0.
  uint32_t nearestPair(uint32_t pos) const;

 private:
  static constexpr uint32_t kHashBits = 17;
  static constexpr uint32_t kRingMask = (2u << 20) - 1;
  uint32_t hash3(uint32_t pos) const {
    uint32_t v = uint32_t(data_[pos]) << 16 | uint32_t(data_[pos + 1]) << 8 | data_[pos + 2];
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  int chainDepth_;
  uint32_t inserted_ = 0;
  std::vector<uint32_t> head_;      // hash → last position + 1 (0 = none)
  std::vector<uint32_t> prev_;      // ring: position → previous position + 1 with the same hash
  std::vector<uint32_t> pairHead_;  // two bytes → last position + 1
  std::vector<uint32_t> pairPrev_;  // ring: position → nearest earlier position + 1 with the same two bytes
};
