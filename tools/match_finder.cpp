// match_finder.cpp — hash-chain insertion and longest-match search.
#include "tools/match_finder.h"

MatchFinder::MatchFinder(int chainDepth)
    : chainDepth_(chainDepth),
      head_(size_t(1) << kHashBits, 0),
      prev_(size_t(kRingMask) + 1, 0),
      pairHead_(65536, 0),
      pairPrev_(size_t(kRingMask) + 1, 0) {}

void MatchFinder::insertUpTo(uint32_t end) {
  if (end > size_) end = size_;
  for (uint32_t pos = inserted_; pos < end; ++pos) {
    if (pos + 3 <= size_) {
      uint32_t h = hash3(pos);
      prev_[pos & kRingMask] = head_[h];
      head_[h] = pos + 1;
    }
    if (pos + 2 <= size_) {
      uint32_t pair = uint32_t(data_[pos]) << 8 | data_[pos + 1];
      pairPrev_[pos & kRingMask] = pairHead_[pair];
      pairHead_[pair] = pos + 1;
    }
  }
  if (end > inserted_) inserted_ = end;
}

void MatchFinder::find(uint32_t pos, uint32_t maxLength, std::vector<Match>& out) const {
  if (maxLength < 3 || pos + 3 > size_) return;
  const uint8_t* here = data_ + pos;
  uint32_t best = 2;
  uint32_t link = prev_[pos & kRingMask];
  for (int steps = chainDepth_; link != 0 && steps > 0; --steps) {
    uint32_t cand = link - 1;
    if (cand >= pos || pos - cand > kMaxDistance) break;
    const uint8_t* there = data_ + cand;
    // Quick reject: a longer match must agree at the byte that would extend the best so far.
    if (there[best] == here[best] && there[0] == here[0] && there[1] == here[1]) {
      uint32_t len = 0;
      while (len < maxLength && there[len] == here[len]) ++len;
      if (len > best) {
        out.push_back({len, pos - cand});
        best = len;
        if (len >= maxLength) break;
      }
    }
    link = prev_[cand & kRingMask];
  }
}

uint32_t MatchFinder::nearestPair(uint32_t pos) const {
  if (pos + 2 > size_) return 0;
  uint32_t link = pairPrev_[pos & kRingMask];
  if (link == 0) return 0;
  uint32_t cand = link - 1;
  if (cand >= pos || pos - cand > 256) return 0;
  return pos - cand;
}
