// rar20_encoder.cpp — parse, code-table transmission and symbol output of the RAR 2.0 compressor.
#include "tools/rar20_encoder.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "tools/bit_writer.h"
#include "tools/huffman_code.h"

using namespace rar20;

namespace {

constexpr uint32_t kSegment = 1u << 18;  // bytes parsed together and coded with one set of tables
constexpr uint32_t kNiceLength = 128;    // a match this long is taken without weighing the others
constexpr uint32_t kMaxCopy = 260;
constexpr float kUnseenPrice = 14.0f;    // price of a symbol the previous codes left out
constexpr size_t kLookaheadPadding = 3;  // zero bytes after the last code of an entry

// Length table slot of an adjusted length 0…255.
struct LengthSlots {
  uint8_t slot[256];
  constexpr LengthSlots() : slot() {
    int s = 0;
    for (int v = 0; v < 256; ++v) {
      while (s + 1 < kLengthSymbols && kLengthBase[s + 1] <= v) ++s;
      slot[v] = uint8_t(s);
    }
  }
};
constexpr LengthSlots kLengthSlots;

int distanceSlot(uint32_t v) {  // v = distance − 1
  if (v < 4) return int(v);
  if (v < 262144) {
    int b = 31 - __builtin_clz(v);
    return 2 * b + int((v >> (b - 1)) & 1);
  }
  return 36 + int((v - 262144) >> 16);
}

int shortSlot(uint32_t v) {  // v = distance − 1, 0…255
  int k = 0;
  while (k + 1 < 8 && kShortBase[k + 1] <= v) ++k;
  return k;
}

// Lengthening that the decoder adds for far distances.
uint32_t matchBonus(uint32_t d) { return (d >= 0x2000) + (d >= 0x40000); }
uint32_t historyBonus(uint32_t d) { return (d >= 0x101) + (d >= 0x2000) + (d >= 0x40000); }

void pushDistance(Rar20Encoder::StreamState& s, uint32_t distance, uint32_t length) {
  s.recent[3] = s.recent[2];
  s.recent[2] = s.recent[1];
  s.recent[1] = s.recent[0];
  s.recent[0] = distance;
  s.lastLength = length;
}

// ---- code-length transmission ------------------------------------------------------------

struct LengthItem {
  uint8_t symbol;  // 0…18 of the bit-length alphabet
  uint8_t extra;
};

void lengthItems(const uint8_t* target, const uint8_t* previous, int size, std::vector<LengthItem>& items) {
  items.clear();
  for (int i = 0; i < size;) {
    if (target[i] == 0) {
      int run = 1;
      while (i + run < size && target[i + run] == 0 && run < 138) ++run;
      if (run >= 11) {
        items.push_back({18, uint8_t(run - 11)});
        i += run;
        continue;
      }
      if (run >= 3) {
        items.push_back({17, uint8_t(run - 3)});
        i += run;
        continue;
      }
    }
    if (i > 0 && target[i] == target[i - 1]) {
      int run = 1;
      while (i + run < size && target[i + run] == target[i - 1] && run < 6) ++run;
      if (run >= 3) {
        items.push_back({16, uint8_t(run - 3)});
        i += run;
        continue;
      }
    }
    items.push_back({uint8_t((target[i] - previous[i]) & 15), 0});
    ++i;
  }
}

uint32_t itemExtraBits(uint8_t symbol) { return symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0; }

// Writes one table transmission (header bits, bit-length code, lengths) and updates `s` as the
// decoder's table read does. `bw` may be a scratch writer to measure the cost.
void writeTables(BitWriter& bw, Rar20Encoder::StreamState& s, bool audio, int channels,
                 const uint8_t* lengths, int size) {
  static const uint8_t kZeros[kMaxTableSize] = {};
  std::vector<LengthItem> plain, delta, *chosen = &plain;
  lengthItems(lengths, kZeros, size, plain);
  auto cost = [](const std::vector<LengthItem>& items, uint8_t* bl, uint32_t* freq) {
    std::memset(freq, 0, sizeof(uint32_t) * kBitLengthSymbols);
    for (const LengthItem& it : items) freq[it.symbol]++;
    buildCodeLengths(freq, kBitLengthSymbols, kMaxCodeLength, bl);
    uint64_t bits = 0;
    for (const LengthItem& it : items) bits += bl[it.symbol] + itemExtraBits(it.symbol);
    return bits;
  };
  uint8_t bl[kBitLengthSymbols], blDelta[kBitLengthSymbols];
  uint32_t freq[kBitLengthSymbols];
  uint64_t plainBits = cost(plain, bl, freq);
  bool useDelta = false;
  if (size <= s.previousKnown) {
    lengthItems(lengths, s.previous, size, delta);
    if (cost(delta, blDelta, freq) < plainBits) {
      useDelta = true;
      chosen = &delta;
      std::memcpy(bl, blDelta, sizeof(bl));
    }
  }

  bw.put(audio ? 1 : 0, 1);
  bw.put(useDelta ? 1 : 0, 1);
  if (audio) bw.put(uint32_t(channels - 1), 2);
  for (uint8_t b : bl) bw.put(b, 4);
  uint32_t codes[kBitLengthSymbols];
  canonicalCodes(bl, kBitLengthSymbols, codes);
  for (const LengthItem& it : *chosen) {
    bw.put(codes[it.symbol], bl[it.symbol]);
    if (uint32_t extra = itemExtraBits(it.symbol)) bw.put(it.extra, extra);
  }

  std::memcpy(s.work, lengths, size_t(size));
  std::memcpy(s.previous, s.work, sizeof(s.previous));
  s.previousKnown = size;
  s.haveTables = true;
  s.audio = audio;
  if (audio) {
    s.channels = channels;
    if (s.currentChannel >= channels) s.currentChannel = 0;
    for (int c = 0; c < channels; ++c) std::memcpy(s.audioLengths[c], lengths + c * kAudioSymbols, kAudioSymbols);
  } else {
    std::memcpy(s.mainLengths, lengths, kMainSymbols);
    std::memcpy(s.distanceLengths, lengths + kMainSymbols, kDistanceSymbols);
    std::memcpy(s.lengthLengths, lengths + kMainSymbols + kDistanceSymbols, kLengthSymbols);
  }
}

// The symbol that announces new tables, coded with the tables in force.
void writeTableSwitch(BitWriter& bw, const Rar20Encoder::StreamState& s) {
  if (s.audio) {
    const uint8_t* lengths = s.audioLengths[s.currentChannel];
    uint32_t codes[kAudioSymbols];
    canonicalCodes(lengths, kAudioSymbols, codes);
    bw.put(codes[kAudioTableSwitch], lengths[kAudioTableSwitch]);
  } else {
    uint32_t codes[kMainSymbols];
    canonicalCodes(s.mainLengths, kMainSymbols, codes);
    bw.put(codes[kTableSwitch], s.mainLengths[kTableSwitch]);
  }
}

}  // namespace

// ---- tokens and prices -------------------------------------------------------------------

enum TokenKind : uint8_t { kLiteral, kRepeat, kHistory, kShort, kNewMatch };

struct Rar20Encoder::Token {
  uint8_t kind;
  uint8_t history;   // 0…3 for kHistory
  uint16_t length;   // literal byte for kLiteral
  uint32_t distance;
};

struct Rar20Encoder::Prices {
  float main[kMainSymbols];
  float newLength[256];      // main symbol + extra bits, by adjusted length
  float historyLength[256];  // length symbol + extra bits, by adjusted length
  float distance[kDistanceSymbols];  // distance symbol + extra bits, by slot
  float shortDistance[256];  // main symbol + extra bits, by distance − 1

  void fromLengths(const uint8_t* mainLen, const uint8_t* distLen, const uint8_t* lenLen) {
    auto price = [](uint8_t len) { return len ? float(len) : kUnseenPrice; };
    for (int i = 0; i < kMainSymbols; ++i) main[i] = price(mainLen[i]);
    float lengthSym[kLengthSymbols];
    for (int i = 0; i < kLengthSymbols; ++i) lengthSym[i] = price(lenLen[i]);
    for (int i = 0; i < kDistanceSymbols; ++i) distance[i] = price(distLen[i]) + kDistanceBits[i];
    fill(lengthSym);
  }
  void initial() {
    for (int i = 0; i < 256; ++i) main[i] = 8.5f;
    for (int i = 256; i < kMainSymbols; ++i) main[i] = 7.0f;
    main[kRepeatLast] = 6.0f;
    for (int i = kFirstHistory; i < kFirstShort; ++i) main[i] = 5.0f;
    float lengthSym[kLengthSymbols];
    for (int i = 0; i < kLengthSymbols; ++i) lengthSym[i] = 4.0f + i / 8.0f;
    for (int i = 0; i < kDistanceSymbols; ++i) distance[i] = 5.0f + kDistanceBits[i];
    fill(lengthSym);
  }
  void fill(const float* lengthSym) {
    for (int v = 0; v < 256; ++v) {
      int k = kLengthSlots.slot[v];
      newLength[v] = main[kFirstMatch + k] + kLengthBits[k];
      historyLength[v] = lengthSym[k] + kLengthBits[k];
      int sk = shortSlot(uint32_t(v));
      shortDistance[v] = main[kFirstShort + sk] + kShortBits[sk];
    }
  }
};

// ---- symbol output -----------------------------------------------------------------------

class Rar20Encoder::Writer {
 public:
  explicit Writer(const StreamState& s) {
    std::memcpy(mainLen_, s.mainLengths, sizeof(mainLen_));
    std::memcpy(distLen_, s.distanceLengths, sizeof(distLen_));
    std::memcpy(lenLen_, s.lengthLengths, sizeof(lenLen_));
    canonicalCodes(mainLen_, kMainSymbols, mainCode_);
    canonicalCodes(distLen_, kDistanceSymbols, distCode_);
    canonicalCodes(lenLen_, kLengthSymbols, lenCode_);
  }
  void put(BitWriter& bw, const Token& t) const {
    switch (t.kind) {
      case kLiteral:
        main(bw, t.length);
        break;
      case kRepeat:
        main(bw, kRepeatLast);
        break;
      case kHistory: {
        main(bw, kFirstHistory + t.history);
        uint32_t v = t.length - 2 - historyBonus(t.distance);
        int k = kLengthSlots.slot[v];
        bw.put(lenCode_[k], lenLen_[k]);
        if (kLengthBits[k]) bw.put(v - kLengthBase[k], kLengthBits[k]);
        break;
      }
      case kShort: {
        uint32_t v = t.distance - 1;
        int k = shortSlot(v);
        main(bw, kFirstShort + k);
        bw.put(v - kShortBase[k], kShortBits[k]);
        break;
      }
      default: {
        uint32_t v = t.length - 3 - matchBonus(t.distance);
        int k = kLengthSlots.slot[v];
        main(bw, kFirstMatch + k);
        if (kLengthBits[k]) bw.put(v - kLengthBase[k], kLengthBits[k]);
        uint32_t dv = t.distance - 1;
        int d = distanceSlot(dv);
        bw.put(distCode_[d], distLen_[d]);
        if (kDistanceBits[d]) bw.put(dv - kDistanceBase[d], kDistanceBits[d]);
      }
    }
  }

 private:
  void main(BitWriter& bw, int symbol) const { bw.put(mainCode_[symbol], mainLen_[symbol]); }
  uint8_t mainLen_[kMainSymbols], distLen_[kDistanceSymbols], lenLen_[kLengthSymbols];
  uint32_t mainCode_[kMainSymbols], distCode_[kDistanceSymbols], lenCode_[kLengthSymbols];
};

namespace {

struct SymbolCounts {
  uint32_t main[kMainSymbols] = {};
  uint32_t distance[kDistanceSymbols] = {};
  uint32_t length[kLengthSymbols] = {};
};

}  // namespace

// ---- the encoder ---------------------------------------------------------------------------

Rar20Encoder::Rar20Encoder(const EncoderOptions& options) : options_(options) {}
Rar20Encoder::~Rar20Encoder() = default;

void Rar20Encoder::parseSegment(uint32_t begin, uint32_t end, const StreamState& s0, const Prices& p,
                                std::vector<Token>& tokens) {
  struct Node {
    float cost;
    uint32_t from;
    Token token;
    uint32_t recent[4];
    uint32_t lastLength;
  };
  const uint32_t n = end - begin;
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<Node> nodes(n + 1);
  for (Node& nd : nodes) nd.cost = inf;
  nodes[0].cost = 0;
  std::memcpy(nodes[0].recent, s0.recent, sizeof(s0.recent));
  nodes[0].lastLength = s0.lastLength;
  const uint8_t* data = history_.data();

  auto relax = [&](uint32_t i, uint32_t j, float cost, const Token& t) {
    if (cost < nodes[j].cost) {
      nodes[j].cost = cost;
      nodes[j].from = i;
      nodes[j].token = t;
    }
  };

  uint32_t skipUntil = 0;
  for (uint32_t i = 0; i < n; ++i) {
    Node& node = nodes[i];
    if (i > 0) {
      // The state at i follows from the best way of reaching it.
      const Node& prev = nodes[node.from];
      std::memcpy(node.recent, prev.recent, sizeof(node.recent));
      node.lastLength = prev.lastLength;
      if (node.token.kind != kLiteral) {
        node.recent[3] = node.recent[2];
        node.recent[2] = node.recent[1];
        node.recent[1] = node.recent[0];
        node.recent[0] = node.token.distance;
        node.lastLength = node.token.length;
      }
    }
    if (i < skipUntil) continue;
    const uint32_t pos = begin + i;
    const float c = node.cost;
    const uint32_t avail = std::min(n - i, kMaxCopy);
    const uint8_t* here = data + pos;

    relax(i, i + 1, c + p.main[here[0]], Token{kLiteral, 0, here[0], 0});
    if (avail < 2) continue;

    uint32_t longest = 0;

    // Recent distances (and the repeat of the last copy).
    for (int r = 0; r < 4; ++r) {
      uint32_t d = node.recent[r];
      if (d == 0 || d > pos || d > MatchFinder::kMaxDistance) continue;
      bool seen = false;
      for (int q = 0; q < r; ++q) seen |= node.recent[q] == d;
      if (seen) continue;
      uint32_t bonus = historyBonus(d);
      // A history copy reaches 257 + bonus bytes; the repeat copies the last length, which a new
      // match may have made longer (up to 260), so the most recent distance is measured that far.
      uint32_t maxLen = std::min(avail, 257 + bonus);
      uint32_t scanLen = r == 0 ? std::min(avail, std::max(maxLen, node.lastLength)) : maxLen;
      const uint8_t* there = here - d;
      uint32_t len = 0;
      while (len < scanLen && there[len] == here[len]) ++len;
      if (r == 0 && node.lastLength >= 2 && len >= node.lastLength) {
        relax(i, i + node.lastLength, c + p.main[kRepeatLast], Token{kRepeat, 0, uint16_t(node.lastLength), d});
      }
      len = std::min(len, maxLen);
      uint32_t minLen = 2 + bonus;
      if (len < minLen) continue;
      float base = c + p.main[kFirstHistory + r];
      for (uint32_t L = minLen; L <= len; ++L)
        relax(i, i + L, base + p.historyLength[L - minLen], Token{kHistory, uint8_t(r), uint16_t(L), d});
      longest = std::max(longest, len);
    }

    // Two bytes at a short distance.
    if (uint32_t d = pairDistance_[i]) {
      relax(i, i + 2, c + p.shortDistance[d - 1], Token{kShort, 0, 2, d});
    }

    // New matches, each longer than the last and at a farther distance.
    uint32_t covered = 2;
    for (uint32_t m = matchStart_[i]; m < matchStart_[i + 1]; ++m) {
      const Match& mt = matches_[m];
      uint32_t bonus = matchBonus(mt.distance);
      uint32_t minLen = std::max(covered + 1, 3 + bonus);
      uint32_t maxLen = std::min({mt.length, 258 + bonus, avail});
      if (minLen > maxLen) continue;
      uint32_t dv = mt.distance - 1;
      float base = c + p.distance[distanceSlot(dv)];
      for (uint32_t L = minLen; L <= maxLen; ++L)
        relax(i, i + L, base + p.newLength[L - 3 - bonus], Token{kNewMatch, 0, uint16_t(L), mt.distance});
      covered = maxLen;
      longest = std::max(longest, maxLen);
    }

    // A very long match is taken as it is; the positions it covers are not weighed.
    if (longest >= kNiceLength) skipUntil = i + longest;
  }

  tokens.clear();
  for (uint32_t j = n; j > 0; j = nodes[j].from) tokens.push_back(nodes[j].token);
  std::reverse(tokens.begin(), tokens.end());
}

void Rar20Encoder::encodeLz(uint32_t begin, uint32_t end, bool switchFirst, StreamState& s, BitWriter& out) {
  Prices prices;
  if (s.haveTables && !s.audio) {
    prices.fromLengths(s.mainLengths, s.distanceLengths, s.lengthLengths);
  } else {
    prices.initial();
  }
  std::vector<Token> tokens;
  // A fresh entry starts with its tables. A continuing one starts with a table switch too:
  // unar takes the first symbol of a continuing entry as the switch that may follow the
  // previous entry, so the tables in force are never reused across an entry boundary.
  bool mustSendTables = true;
  bool switchNext = switchFirst;
  bool canReuse = false;

  for (uint32_t segBegin = begin; segBegin < end;) {
    uint32_t segEnd = std::min(end, segBegin + kSegment);
    const uint32_t n = segEnd - segBegin;
    finder_->insertUpTo(segEnd);

    // Search once; every pass reuses the candidates.
    matches_.clear();
    matchStart_.assign(n + 1, 0);
    pairDistance_.assign(n, 0);
    for (uint32_t i = 0; i < n; ++i) {
      matchStart_[i] = uint32_t(matches_.size());
      uint32_t pos = segBegin + i;
      finder_->find(pos, std::min(n - i, kMaxCopy), matches_);
      if (n - i >= 2) pairDistance_[i] = uint16_t(finder_->nearestPair(pos));
    }
    matchStart_[n] = uint32_t(matches_.size());

    SymbolCounts counts;
    uint8_t lengths[kLzTableSize];
    for (int pass = 0; pass < std::max(1, options_.passes); ++pass) {
      parseSegment(segBegin, segEnd, s, prices, tokens);
      counts = SymbolCounts{};
      for (const Token& t : tokens) {
        switch (t.kind) {
          case kLiteral: counts.main[t.length]++; break;
          case kRepeat: counts.main[kRepeatLast]++; break;
          case kHistory:
            counts.main[kFirstHistory + t.history]++;
            counts.length[kLengthSlots.slot[t.length - 2 - historyBonus(t.distance)]]++;
            break;
          case kShort: counts.main[kFirstShort + shortSlot(t.distance - 1)]++; break;
          default:
            counts.main[kFirstMatch + kLengthSlots.slot[t.length - 3 - matchBonus(t.distance)]]++;
            counts.distance[distanceSlot(t.distance - 1)]++;
        }
      }
      counts.main[kTableSwitch]++;  // always codable, for the next block or a following solid entry
      buildCodeLengths(counts.main, kMainSymbols, kMaxCodeLength, lengths);
      buildCodeLengths(counts.distance, kDistanceSymbols, kMaxCodeLength, lengths + kMainSymbols);
      buildCodeLengths(counts.length, kLengthSymbols, kMaxCodeLength, lengths + kMainSymbols + kDistanceSymbols);
      prices.fromLengths(lengths, lengths + kMainSymbols, lengths + kMainSymbols + kDistanceSymbols);
    }

    // Keep the tables in force when re-sending them would cost more than it saves.
    auto symbolBits = [&](const uint8_t* mainLen, const uint8_t* distLen, const uint8_t* lenLen) -> uint64_t {
      uint64_t bits = 0;
      for (int i = 0; i < kMainSymbols; ++i) {
        if (counts.main[i] && i != kTableSwitch) {
          if (!mainLen[i]) return UINT64_MAX;
          bits += uint64_t(counts.main[i]) * mainLen[i];
        }
      }
      for (int i = 0; i < kDistanceSymbols; ++i) {
        if (counts.distance[i]) {
          if (!distLen[i]) return UINT64_MAX;
          bits += uint64_t(counts.distance[i]) * distLen[i];
        }
      }
      for (int i = 0; i < kLengthSymbols; ++i) {
        if (counts.length[i]) {
          if (!lenLen[i]) return UINT64_MAX;
          bits += uint64_t(counts.length[i]) * lenLen[i];
        }
      }
      return bits;
    };
    bool send = mustSendTables;
    if (!send) {
      uint64_t reuse = canReuse ? symbolBits(s.mainLengths, s.distanceLengths, s.lengthLengths) : UINT64_MAX;
      if (reuse == UINT64_MAX) {
        send = true;
      } else {
        StreamState scratch = s;
        BitWriter probe;
        writeTableSwitch(probe, scratch);
        writeTables(probe, scratch, false, 1, lengths, kLzTableSize);
        uint64_t fresh = probe.bitCount() +
                         symbolBits(lengths, lengths + kMainSymbols, lengths + kMainSymbols + kDistanceSymbols);
        send = fresh < reuse;
      }
    }
    if (send) {
      if (switchNext) writeTableSwitch(out, s);
      writeTables(out, s, false, 1, lengths, kLzTableSize);
    }
    mustSendTables = false;
    switchNext = true;
    canReuse = true;

    Writer writer(s);
    for (const Token& t : tokens) {
      writer.put(out, t);
      if (t.kind != kLiteral) pushDistance(s, t.distance, t.length);
    }
    segBegin = segEnd;
  }
}

void Rar20Encoder::encodeAudio(uint32_t begin, uint32_t end, bool switchFirst, int channels, StreamState& s,
                               BitWriter& out) {
  if (switchFirst) writeTableSwitch(out, s);
  // The table read resets a channel index beyond the new count; predict with that in mind.
  int current = s.currentChannel >= channels ? 0 : s.currentChannel;
  std::vector<uint16_t> symbols(end - begin);
  uint32_t counts[kMaxChannels][kAudioSymbols] = {};
  AudioChannel state[kMaxChannels];
  std::memcpy(state, s.channel, sizeof(state));
  int32_t delta = s.channelDelta;
  for (uint32_t i = begin; i < end; ++i) {
    uint32_t sym = AudioPredictor::encode(state[current], delta, history_[i]);
    symbols[i - begin] = uint16_t(sym | current << 8);
    counts[current][sym]++;
    if (++current == channels) current = 0;
  }
  uint8_t lengths[kMaxTableSize] = {};
  for (int c = 0; c < channels; ++c) {
    counts[c][kAudioTableSwitch]++;  // always codable for a following entry
    buildCodeLengths(counts[c], kAudioSymbols, kMaxCodeLength, lengths + c * kAudioSymbols);
  }
  writeTables(out, s, true, channels, lengths, kAudioSymbols * channels);
  uint32_t codes[kMaxChannels][kAudioSymbols];
  for (int c = 0; c < channels; ++c) canonicalCodes(lengths + c * kAudioSymbols, kAudioSymbols, codes[c]);
  for (uint16_t v : symbols) {
    int c = v >> 8, sym = v & 0xFF;
    out.put(codes[c][sym], lengths[c * kAudioSymbols + sym]);
  }
  std::memcpy(s.channel, state, sizeof(state));
  s.channelDelta = delta;
  s.currentChannel = current;
}

std::vector<uint8_t> Rar20Encoder::encodeEntry(const uint8_t* data, size_t size, bool continues) {
  if (!continues || !finder_) {
    history_.clear();
    state_ = StreamState{};
    finder_ = std::make_unique<MatchFinder>(options_.chainDepth);
  }
  const uint32_t begin = uint32_t(history_.size());
  history_.insert(history_.end(), data, data + size);
  const uint32_t end = uint32_t(history_.size());
  finder_->setData(history_.data(), end);

  // A continuing entry keeps the tables in force; an empty one needs nothing at all.
  const bool switchFirst = continues && state_.haveTables;
  lastAudioChannels_ = 0;
  if (switchFirst && size == 0) {
    // Nothing to decode, but some readers insist on packed bytes: re-send the tables in force
    // through the trailing table switch the decoder reads after an entry's last symbol.
    BitWriter bw;
    StreamState s = state_;
    writeTableSwitch(bw, s);
    if (s.audio) {
      uint8_t lengths[kMaxTableSize];
      for (int c = 0; c < s.channels; ++c) std::memcpy(lengths + c * kAudioSymbols, s.audioLengths[c], kAudioSymbols);
      writeTables(bw, s, true, s.channels, lengths, kAudioSymbols * s.channels);
    } else {
      uint8_t lengths[kLzTableSize];
      std::memcpy(lengths, s.mainLengths, kMainSymbols);
      std::memcpy(lengths + kMainSymbols, s.distanceLengths, kDistanceSymbols);
      std::memcpy(lengths + kMainSymbols + kDistanceSymbols, s.lengthLengths, kLengthSymbols);
      writeTables(bw, s, false, 1, lengths, kLzTableSize);
    }
    std::vector<uint8_t> out = bw.finish();
    while (out.size() < 5) out.push_back(0);  // the decoder reads the switch only with 5 bytes ahead
    state_ = s;
    return out;
  }

  StreamState lzState = state_;
  BitWriter lz;
  encodeLz(begin, end, switchFirst, lzState, lz);
  if (!switchFirst && size == 0) {
    // An empty fresh entry still sends tables, so that a following solid entry can switch them.
    uint8_t lengths[kLzTableSize] = {};
    lengths[0] = lengths[kTableSwitch] = 1;
    writeTables(lz, lzState, false, 1, lengths, kLzTableSize);
  }

  std::vector<uint8_t> best = lz.finish();
  StreamState bestState = lzState;
  if (options_.tryAudio && size >= 1024) {
    for (int channels = 1; channels <= kMaxChannels; ++channels) {
      StreamState audioState = state_;
      BitWriter audio;
      encodeAudio(begin, end, switchFirst, channels, audioState, audio);
      if ((audio.bitCount() + 7) / 8 < best.size()) {
        best = audio.finish();
        bestState = audioState;
        lastAudioChannels_ = channels;
      }
    }
  }
  state_ = bestState;
  // Readers look a few bytes ahead of the last code; give them bytes to look at. Three keep the
  // reader's trailing table-switch test (five bytes ahead) from firing.
  best.insert(best.end(), kLookaheadPadding, 0);
  return best;
}
