// archive_decoder_test.cpp — the RAR 2.0 decoder on hand-coded streams: history and repeat
// symbols, far-distance lengthening, table transmission, audio blocks, solid continuation, and
// corrupt or short input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "archive/archive_lookup.h"
#include "archive/rar20_decoder.h"
#include "tests/archive_test_support.h"

using archive_test::StreamBuilder;

namespace {

struct Decoded {
  std::vector<uint8_t> bytes;  // the delivered bytes only
  uint32_t delivered = 0;
};

// Decodes one entry into a buffer of exactly `unpacked` bytes (so any overrun is caught).
Decoded decode(Rar20Decoder& decoder, const std::vector<uint8_t>& packed, uint32_t unpacked, bool continues = false) {
  MemoryFile file{packed.data(), uint32_t(packed.size()), 0};
  std::vector<uint8_t> out(unpacked ? unpacked : 1);
  Decoded d;
  decoder.decodeEntry(file, uint32_t(packed.size()), unpacked, continues, out.data(), &d.delivered);
  d.bytes.assign(out.begin(), out.begin() + std::min(d.delivered, unpacked));
  return d;
}

Decoded decode(const std::vector<uint8_t>& packed, uint32_t unpacked) {
  Rar20Decoder decoder;
  EXPECT_TRUE(decoder.allocate());
  return decode(decoder, packed, unpacked);
}

std::vector<uint8_t> bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

TEST(Rar20DecoderTest, RepeatAfterAMatchCopiesItAgainAndEntersItsDistance) {
  StreamBuilder s;
  s.lzTables();
  s.literals("abcdefgh");
  s.match(3, 8);        // "abc"
  s.shortMatch(1);      // "cc": distance 1 repeats the last byte
  s.symbol(256);        // the same (length 2, distance 1) again: "cc"
  s.symbol(259);        // third most recent distance: 8, entered by the match above
  s.lengthSymbol(0);    // length 2
  s.match(5, 1);        // distance 1, length 5: "aaaaa" after the 'a'
  std::string expected = "abcdefghabc" "cc" "cc" "ha" "aaaaa";
  Decoded d = decode(s.finish(), uint32_t(expected.size()));
  EXPECT_EQ(d.delivered, expected.size());
  EXPECT_EQ(d.bytes, bytes(expected));
}

TEST(Rar20DecoderTest, FarDistancesLengthenMatchesAndHistoryCopies) {
  // A new match of length symbol 0 and a history copy of length symbol 0 at distance D read
  // zeros before the start; the 'E' after them shows how long both were.
  struct Case {
    uint32_t distance;
    uint32_t matchLength, historyLength;
  } cases[] = {{0x100, 3, 2},  {0x101, 3, 3},     {0x1FFF, 3, 3},
               {0x2000, 4, 4}, {0x3FFFF, 4, 4},   {0x40000, 5, 5}, {0xFFFFF, 5, 5}};
  for (const Case& c : cases) {
    StreamBuilder s;
    s.lzTables();
    s.literal('S');
    s.match(3, c.distance);
    s.symbol(257);
    s.lengthSymbol(0);
    s.literal('E');
    std::string expected = "S" + std::string(c.matchLength + c.historyLength, '\0') + "E";
    Decoded d = decode(s.finish(), uint32_t(expected.size()));
    EXPECT_EQ(d.bytes, bytes(expected)) << std::hex << c.distance;
  }
}

TEST(Rar20DecoderTest, TableHeaderBit14ChoosesDeltaOrFreshLengths) {
  const std::vector<uint8_t> zeros(rar20::kLzTableSize, 0);
  for (bool keep : {true, false}) {
    StreamBuilder s;
    s.lzTables();
    s.literal('A');
    s.symbol(269);
    s.lzTables(keep, &zeros);  // zeros added to the previous lengths keep the code; alone they empty it
    s.literal('B');
    Decoded d = decode(s.finish(), 2);
    ASSERT_EQ(d.delivered, 2u);
    EXPECT_EQ(d.bytes[0], 'A');
    // An empty code decodes every input as symbol 0.
    EXPECT_EQ(d.bytes[1], keep ? 'B' : 0) << keep;
  }
}

TEST(Rar20DecoderTest, RepeatLengthCodeAtTheFirstPositionRepeatsZero) {
  StreamBuilder s;
  std::vector<std::pair<int, int>> items = {{16, 0}};  // three lengths "like the one before"
  for (int i = 3; i < rar20::kMainSymbols; ++i) items.push_back({9, 0});
  for (int i = 0; i < rar20::kDistanceSymbols; ++i) items.push_back({6, 0});
  for (int i = 0; i < rar20::kLengthSymbols; ++i) items.push_back({5, 0});
  s.rawTableItems(false, items);
  // Symbols 0…2 are absent, so the 9-bit codes start with symbol 3.
  s.bw.put('A' - 3, 9);
  s.bw.put('Z' - 3, 9);
  Decoded d = decode(s.finish(), 2);
  EXPECT_EQ(d.bytes, bytes("AZ"));
}

TEST(Rar20DecoderTest, FourChannelAudioCyclesChannelsAndSwitchesWith256) {
  StreamBuilder s;
  s.audioTables(4);
  // Before any adaptation each channel predicts its own last byte; symbol 256 - k adds k.
  for (int round = 0; round < 3; ++round)
    for (int channel = 0; channel < 4; ++channel) s.audioSymbol(256 - (channel + 1));
  s.audioSymbol(256);  // in an audio block, 256 announces new tables
  s.lzTables();
  s.literal('Z');
  s.symbol(256);  // outside, 256 repeats the last copy (none yet: length 0)
  s.literal('!');
  std::vector<uint8_t> expected = {1, 2, 3, 4, 2, 4, 6, 8, 3, 6, 9, 12, 'Z', '!'};
  Decoded d = decode(s.finish(), uint32_t(expected.size()));
  EXPECT_EQ(d.bytes, expected);
}

TEST(Rar20DecoderTest, ContinuingEntryKeepsWindowAndTakesTheTrailingTableSwitch) {
  // Entry 1 ends with a table switch to a code without symbols 0…2, read after its last byte.
  StreamBuilder first;
  first.lzTables();
  first.literals("abc");
  first.symbol(269);
  std::vector<std::pair<int, int>> items = {{17, 0}};  // three zero lengths
  for (int i = 3; i < rar20::kMainSymbols; ++i) items.push_back({9, 0});
  for (int i = 0; i < rar20::kDistanceSymbols; ++i) items.push_back({6, 0});
  for (int i = 0; i < rar20::kLengthSymbols; ++i) items.push_back({5, 0});
  first.rawTableItems(false, items);

  StreamBuilder second;  // codes of the new table: main symbol s is s - 3
  second.bw.put('x' - 3, 9);
  second.bw.put(rar20::kFirstMatch - 3, 9);  // new match, length 3
  second.bw.put(3, 6);                       // distance symbol 3: distance 4
  std::vector<uint8_t> secondBytes = second.finish();

  Rar20Decoder decoder;
  ASSERT_TRUE(decoder.allocate());
  EXPECT_EQ(decode(decoder, first.finish(), 3).bytes, bytes("abc"));
  EXPECT_EQ(decode(decoder, secondBytes, 4, true).bytes, bytes("xabc"));

  // Not continuing, the same bytes are read as tables and give something else.
  Rar20Decoder fresh;
  ASSERT_TRUE(fresh.allocate());
  EXPECT_NE(decode(fresh, secondBytes, 4).bytes, bytes("xabc"));
}

TEST(Rar20DecoderTest, FreshEntryReadsZerosNotTheWindowOfTheEntryBefore) {
  // The cleared history holds distance 0, which names the slot a whole window back: nothing has
  // been written there since the reset, so it reads as zero, not as the earlier entry's bytes.
  Rar20Decoder decoder;
  ASSERT_TRUE(decoder.allocate());
  StreamBuilder first;
  first.lzTables();
  first.literals("abcdefgh");
  ASSERT_EQ(decode(decoder, first.finish(), 8).bytes, bytes("abcdefgh"));

  StreamBuilder second;
  second.lzTables();
  second.symbol(257);       // most recent distance: 0
  second.lengthSymbol(0);   // length 2
  second.symbol(256);       // the same again
  second.literal('E');
  EXPECT_EQ(decode(decoder, second.finish(), 5).bytes, bytes(std::string(4, '\0') + "E"));
}

TEST(Rar20DecoderTest, CopyPastTheEntryEndNeverOverrunsTheOutput) {
  StreamBuilder s;
  s.lzTables();
  s.literal('a');
  s.match(10, 1);  // 11 bytes for an entry of 5
  std::vector<uint8_t> packed = s.finish();
  Decoded d = decode(packed, 5);
  EXPECT_LT(d.delivered, 5u);

  // Through the lookup the entry fails and leaves nothing.
  archive_test::EntrySpec e;
  e.name = "over";
  e.method = rar20::kMethodNormal;
  e.data = packed;
  e.unpackedSize = 5;
  e.crc = crc32(reinterpret_cast<const uint8_t*>("aaaaa"), 5);
  e.crcSet = true;
  std::vector<uint8_t> archive = archive_test::ArchiveBuilder().add(e).bytes;
  MemoryFile file{archive.data(), uint32_t(archive.size()), 0};
  uint8_t* out = nullptr;
  uint32_t size = 99;
  EXPECT_EQ(fetchEntry(&out, &size, "over", file, nullptr), 0);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(size, 0u);
}

TEST(Rar20DecoderTest, InputThatRunsOutEndsDecoding) {
  StreamBuilder s;
  s.lzTables();
  s.literals("abc");
  std::vector<uint8_t> packed = s.finish();
  Decoded d = decode(packed, 1000);
  EXPECT_LT(d.delivered, 1000u);
  ASSERT_GE(d.bytes.size(), 3u);
  EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.begin() + 3), "abc");

  // An entry that claims 2 GiB of output from a few bytes ends as soon as they are used up.
  Rar20Decoder decoder;
  ASSERT_TRUE(decoder.allocate());
  MemoryFile file{packed.data(), uint32_t(packed.size()), 0};
  uint32_t delivered = 0;
  decoder.decodeEntry(file, uint32_t(packed.size()), 0x7FFFFFFFu, false, nullptr, &delivered);
  EXPECT_LE(file.cursor, packed.size());

  // Nor does it read past its packed size into what follows.
  std::vector<uint8_t> padded = packed;
  padded.resize(packed.size() + 64, 0xFF);
  MemoryFile limited{padded.data(), uint32_t(padded.size()), 0};
  std::vector<uint8_t> out(3);
  decoder.decodeEntry(limited, uint32_t(packed.size()), 3, false, out.data(), &delivered);
  EXPECT_EQ(limited.cursor, packed.size());
  EXPECT_EQ(out, bytes("abc"));
}
