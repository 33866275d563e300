// archive_lookup_test.cpp — fetchEntry and openMediaArchive: name matching, the block scan and its
// refusals, stored and solid entries, the CRC check and what a failed lookup leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive_lookup.h"
#include "archive/rar20_format.h"
#include "platform/win32/resource_table.h"
#include "tests/archive_test_support.h"
#include "tools/rar_archive_writer.h"

using archive_test::ArchiveBuilder;
using archive_test::EntrySpec;

namespace {

std::vector<uint8_t> readTestData(const std::string& name) {
  std::string path = std::string(TARNWICK_TESTDATA_DIR) + "/rar/" + name;
  std::ifstream in(path, std::ios::binary);
  // The reference files live beside the clone; their absence is a broken setup, not a skip.
  if (!in) ADD_FAILURE() << "missing reference file " << path;
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Fetched {
  int result;
  std::vector<uint8_t> bytes;
  bool nullOnFailure;
};

// One lookup; checks the failure contract (null pointer, size 0) whenever it fails.
Fetched fetch(MemoryFile& archive, const std::string& name, const char* password = nullptr) {
  uint8_t* out = reinterpret_cast<uint8_t*>(0x1);  // must be overwritten
  uint32_t size = 12345;
  int r = fetchEntry(&out, &size, name.c_str(), archive, password);
  Fetched f{r, {}, true};
  if (r == 1) {
    f.bytes.assign(out, out + size);
    std::free(out);
  } else {
    f.nullOnFailure = out == nullptr && size == 0;
  }
  return f;
}

Fetched fetch(const std::vector<uint8_t>& bytes, const std::string& name) {
  MemoryFile file{bytes.data(), uint32_t(bytes.size()), 0};
  return fetch(file, name);
}

std::string text(const Fetched& f) { return std::string(f.bytes.begin(), f.bytes.end()); }

}  // namespace

TEST(MemoryFileTest, ReadsAllOrNothing) {
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  MemoryFile f{data, 5, 0};
  uint8_t buf[8] = {};
  EXPECT_EQ(f.read(buf, 3), 3u);
  EXPECT_EQ(f.cursor, 3u);
  EXPECT_EQ(f.read(buf, 3), 0u);  // only two bytes left: nothing is copied
  EXPECT_EQ(f.cursor, 3u);
  EXPECT_EQ(f.read(buf, 0), 0u);
  EXPECT_EQ(f.read(buf, 2), 2u);
  EXPECT_EQ(buf[1], 5);
  f.cursor = 9;  // past the end
  EXPECT_EQ(f.read(buf, 1), 0u);
}

TEST(ArchiveLookupTest, ReferenceArchiveEntriesAllEqualTheOriginal) {
  std::vector<uint8_t> archive = readTestData("test_v2.rar");
  std::vector<uint8_t> etalon = readTestData("etalon.bin");
  ASSERT_FALSE(archive.empty());
  ASSERT_EQ(etalon.size(), 16384u);
  // Stored, methods 0x31…0x35, and the multimedia entry.
  for (const char* name : {"p0.bin", "p1.bin", "p2.bin", "p3.bin", "p4.bin", "p5.bin", "pMM.bin"}) {
    Fetched f = fetch(archive, name);
    ASSERT_EQ(f.result, 1) << name;
    EXPECT_EQ(f.bytes, etalon) << name;
  }
}

TEST(ArchiveLookupTest, NamesMatchAcrossSeparatorsAndLetterCase) {
  std::string longName(300, 'n');
  EntrySpec longEntry;
  longEntry.name = longName;
  longEntry.data = archive_test::bytesOf("long");
  std::vector<uint8_t> bytes = ArchiveBuilder()
                                   .stored("Data\\Grass.egr", "grass")
                                   .stored("texture\\Terra\\t1.jpg", "terra")
                                   .stored("a_b.txt", "underscore")
                                   .stored("\xC4x", "umlaut")
                                   .add(longEntry)
                                   .bytes;
  struct Case {
    const char* wanted;
    const char* expected;  // null: not found
  } cases[] = {
      {"Data/grass.egr", "grass"},       {"DATA\\GRASS.EGR", "grass"},   {"data_grass.egr", "grass"},
      {"Data/Grass.eg", nullptr},        {"Data/Grass.egr ", nullptr},   {"Texture/terra/T1.JPG", "terra"},
      {"texture\\Terra/t1.jpg", "terra"}, {"a/b.txt", "underscore"},      {"A\\B.TXT", "underscore"},
      {"\xE4x", nullptr},                {"\xC4X", "umlaut"},            {"", nullptr},
  };
  for (const Case& c : cases) {
    Fetched f = fetch(bytes, c.wanted);
    if (c.expected) {
      EXPECT_EQ(f.result, 1) << c.wanted;
      EXPECT_EQ(text(f), c.expected) << c.wanted;
    } else {
      EXPECT_EQ(f.result, 0) << c.wanted;
      EXPECT_TRUE(f.nullOnFailure) << c.wanted;
    }
  }
  // A stored name is cut at 259 characters; its data still start after the whole header.
  EXPECT_EQ(text(fetch(bytes, longName.substr(0, 259))), "long");
  EXPECT_EQ(fetch(bytes, longName.substr(0, 258)).result, 0);
}

TEST(ArchiveLookupTest, FailedCrcLeavesNoBuffer) {
  ArchiveBuilder good;
  good.stored("a", "alpha").stored("b", "bravo");
  std::vector<uint8_t> bytes = good.bytes;
  bytes.back() ^= 0x01;  // last byte of "bravo"
  Fetched f = fetch(bytes, "b");
  EXPECT_EQ(f.result, 0);
  EXPECT_TRUE(f.nullOnFailure);
  // The failure does not disturb the next lookup in the same MemoryFile.
  MemoryFile file{bytes.data(), uint32_t(bytes.size()), 0};
  EXPECT_EQ(fetch(file, "b").result, 0);
  EXPECT_EQ(text(fetch(file, "a")), "alpha");
}

TEST(ArchiveLookupTest, LookupsInARowEachStartFromTheFirstByte) {
  std::vector<uint8_t> bytes = ArchiveBuilder().stored("one", "1").stored("two", "22").stored("three", "333").bytes;
  MemoryFile file{bytes.data(), uint32_t(bytes.size()), 0};
  EXPECT_EQ(text(fetch(file, "three")), "333");
  EXPECT_EQ(text(fetch(file, "one")), "1");
  EXPECT_EQ(text(fetch(file, "two")), "22");
  EXPECT_EQ(fetch(file, "four").result, 0);
  EXPECT_EQ(text(fetch(file, "one")), "1");
}

TEST(ArchiveLookupTest, MarkersAndMainHeader) {
  // The alternative marker, and a main header longer than 13 bytes whose rest is skipped.
  EXPECT_EQ(text(fetch(ArchiveBuilder(0, 13, true).stored("x", "u").bytes, "x")), "u");
  EXPECT_EQ(text(fetch(ArchiveBuilder(0, 20).stored("x", "long main").bytes, "x")), "long main");

  std::vector<uint8_t> bytes = ArchiveBuilder().stored("x", "data").bytes;
  std::vector<uint8_t> old = bytes;
  old[0] = 'R', old[1] = 'E', old[2] = '~', old[3] = '^';  // the old four-byte marker
  EXPECT_EQ(fetch(old, "x").result, 0);
  EXPECT_EQ(fetch(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 6), "x").result, 0);
  EXPECT_EQ(fetch(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 19), "x").result, 0);
  MemoryFile empty;
  EXPECT_EQ(fetch(empty, "x").result, 0);
}

TEST(ArchiveLookupTest, TruncatedArchiveKeepsTheEntriesBeforeTheCut) {
  std::vector<uint8_t> full = ArchiveBuilder().stored("first", "11111").stored("second", "2222222222").bytes;
  size_t secondHeader = 20 + 32 + 5 + 5;
  for (size_t cut : {secondHeader + 10, secondHeader + 32 + 3, secondHeader + 32 + 6 + 4}) {
    std::vector<uint8_t> bytes(full.begin(), full.begin() + cut);
    EXPECT_EQ(fetch(bytes, "second").result, 0) << cut;
    EXPECT_EQ(text(fetch(bytes, "first")), "11111") << cut;
  }
  EXPECT_EQ(text(fetch(full, "second")), "2222222222");
}

TEST(ArchiveLookupTest, BlockScanStopsAtBadBlocksAndSubBlocks) {
  EntrySpec comment;  // a block of another type, stepped over by its sizes
  comment.type = 0x75;
  comment.name = "comment";
  comment.data = archive_test::bytesOf("ignored");
  EXPECT_EQ(text(fetch(ArchiveBuilder().add(comment).stored("x", "after comment").bytes, "x")), "after comment");

  EntrySpec sub = comment;
  sub.type = rar20::kSubBlock;
  std::vector<uint8_t> withSub = ArchiveBuilder().stored("before", "b").add(sub).stored("x", "x").bytes;
  EXPECT_EQ(fetch(withSub, "x").result, 0);
  EXPECT_EQ(text(fetch(withSub, "before")), "b");

  EntrySpec tiny = comment;
  tiny.headerSize = 6;
  EXPECT_EQ(fetch(ArchiveBuilder().add(tiny).stored("x", "x").bytes, "x").result, 0);

  EntrySpec backwards = comment;  // data size that takes the next block beyond 2 GiB
  backwards.packedSize = 0x80000000u;
  EXPECT_EQ(fetch(ArchiveBuilder().add(backwards).stored("x", "x").bytes, "x").result, 0);

  // A short block at the very end (an end-of-archive marker) just ends the scan.
  std::vector<uint8_t> tail = ArchiveBuilder().stored("x", "x").bytes;
  for (uint8_t b : {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00}) tail.push_back(b);
  EXPECT_EQ(text(fetch(tail, "x")), "x");
  EXPECT_EQ(fetch(tail, "y").result, 0);
}

TEST(ArchiveLookupTest, VersionNeededMustLieIn13To20) {
  struct Case {
    uint8_t version;
    int expected;
  } cases[] = {{12, 0}, {13, 1}, {15, 1}, {20, 1}, {21, 0}, {29, 0}};
  for (const Case& c : cases) {
    EntrySpec e;
    e.name = "v";
    e.data = archive_test::bytesOf("version");
    e.version = c.version;
    EXPECT_EQ(fetch(ArchiveBuilder().add(e).bytes, "v").result, c.expected) << int(c.version);
  }
}

TEST(ArchiveLookupTest, StoredSizesAndPasswords) {
  // Packed data longer than the entry: only the unpacked size is delivered.
  EntrySpec longer;
  longer.name = "s";
  longer.data = archive_test::bytesOf("abcdefgh");
  longer.unpackedSize = 3;
  longer.crc = crc32(longer.data.data(), 3);
  longer.crcSet = true;
  EXPECT_EQ(text(fetch(ArchiveBuilder().add(longer).bytes, "s")), "abc");

  // Packed data shorter than the entry cannot fill it, whatever the CRC field says.
  EntrySpec shorter = longer;
  shorter.unpackedSize = 12;
  shorter.crc = crc32(reinterpret_cast<const uint8_t*>("abcdefgh\0\0\0\0"), 12);
  EXPECT_EQ(fetch(ArchiveBuilder().add(shorter).bytes, "s").result, 0);

  // An empty entry gives an empty buffer, and a password changes nothing for plain entries.
  std::vector<uint8_t> bytes = ArchiveBuilder().stored("empty", "").stored("p", "plain").bytes;
  MemoryFile file{bytes.data(), uint32_t(bytes.size()), 0};
  Fetched empty = fetch(file, "empty", "ninechars");
  EXPECT_EQ(empty.result, 1);
  EXPECT_TRUE(empty.bytes.empty());
  EXPECT_EQ(text(fetch(file, "p", "ab")), "plain");
}

TEST(ArchiveLookupTest, SolidEntryContinuesItsPredecessor) {
  std::string first, second;
  for (int i = 0; i < 3000; ++i) first += char('a' + (i * 7919 % 26));
  second = "head:" + first + ":tail";
  ArchiveWriterOptions options;
  options.solid = true;
  RarArchiveWriter writer(options);
  writer.addEntry("first.txt", reinterpret_cast<const uint8_t*>(first.data()), first.size());
  writer.addEntry("second.txt", reinterpret_cast<const uint8_t*>(second.data()), second.size());
  // The second entry refers back into the first one's data.
  ASSERT_LT(writer.entries()[1].packedSize, 100u);
  std::vector<uint8_t> bytes = writer.bytes();
  EXPECT_EQ(text(fetch(bytes, "second.txt")), second);
  EXPECT_EQ(text(fetch(bytes, "first.txt")), first);

  // Without the solid main flag the first entry is passed over, so the second cannot decode.
  std::vector<uint8_t> notSolid = bytes;
  notSolid[7 + 3] &= uint8_t(~rar20::kMainSolid);
  EXPECT_EQ(fetch(notSolid, "second.txt").result, 0);
  EXPECT_EQ(text(fetch(notSolid, "first.txt")), first);

  // Without flag 0x10 the second entry starts from a clean state and reads tables it never got.
  std::vector<uint8_t> fresh = bytes;
  size_t secondHeader = 20 + 32 + 9 + writer.entries()[0].packedSize;
  ASSERT_TRUE(fresh[secondHeader + 3] & rar20::kFileContinuesSolid);
  fresh[secondHeader + 3] &= uint8_t(~rar20::kFileContinuesSolid);
  EXPECT_EQ(fetch(fresh, "second.txt").result, 0);
}

TEST(ArchiveLookupTest, CompressedEntryWithImpossibleSizeIsRefused) {
  EntrySpec e;
  e.name = "c";
  e.method = rar20::kMethodNormal;
  e.data = std::vector<uint8_t>(16, 0);
  e.unpackedSize = 0xFFFFFFF0u;  // far more than 16 packed bytes can ever give
  EXPECT_EQ(fetch(ArchiveBuilder().add(e).bytes, "c").result, 0);
}

TEST(MediaArchiveTest, OpensTheResourceOrLeavesAnEmptyFile) {
  std::vector<uint8_t> bytes = ArchiveBuilder().stored("Data\\Map.emp", "map").bytes;
  static std::vector<uint8_t> keep;
  keep = bytes;
  static const EmbeddedResource table[] = {
      {"MediaData", kSceneArchiveId, keep.data(), keep.size()},
      {"SOUND", kInterfaceArchiveId, keep.data(), keep.size()},  // same id, other type
  };
  installResourceTable(table, 2);

  MemoryFile scene;
  openMediaArchive(scene, kSceneArchiveId);
  EXPECT_EQ(scene.bytes, keep.data());
  EXPECT_EQ(scene.length, keep.size());
  EXPECT_EQ(text(fetch(scene, "Data/map.emp")), "map");
  EXPECT_EQ(text(fetch(scene, "data\\MAP.emp")), "map");

  MemoryFile missing;
  missing.cursor = 77;
  openMediaArchive(missing, kInterfaceArchiveId);
  EXPECT_EQ(missing.bytes, nullptr);
  EXPECT_EQ(missing.length, 0u);
  EXPECT_EQ(missing.cursor, 0u);
  Fetched f = fetch(missing, "Data/Map.emp");
  EXPECT_EQ(f.result, 0);
  EXPECT_TRUE(f.nullOnFailure);
  installResourceTable(nullptr, 0);
}
