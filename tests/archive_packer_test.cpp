// archive_packer_test.cpp — our RAR 2.0 packer against our reader and against unar (an independent
// reader), and its compression against gzip -9.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/archive_lookup.h"
#include "tools/rar_archive_writer.h"
#include "tools/sample_corpus.h"

namespace fs = std::filesystem;

namespace {

class ArchivePackerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { corpus_ = new std::vector<SampleFile>(makeSampleCorpus()); }
  static void TearDownTestSuite() {
    delete corpus_;
    corpus_ = nullptr;
  }
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarnwick-packer-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  static const std::vector<SampleFile>& corpus() { return *corpus_; }

  static std::vector<uint8_t> pack(const ArchiveWriterOptions& options, const std::vector<SampleFile>& files) {
    RarArchiveWriter writer(options);
    for (const SampleFile& f : files) EXPECT_TRUE(writer.addEntry(f.name, f.data.data(), f.data.size())) << f.name;
    return writer.bytes();
  }

  // Every entry reads back through fetchEntry, by the name as the caller writes it.
  static void expectOurReaderReads(const std::vector<uint8_t>& archive, const std::vector<SampleFile>& files) {
    MemoryFile file{archive.data(), uint32_t(archive.size()), 0};
    for (const SampleFile& f : files) {
      uint8_t* out = nullptr;
      uint32_t size = 0;
      ASSERT_EQ(fetchEntry(&out, &size, f.name.c_str(), file, nullptr), 1) << f.name;
      EXPECT_EQ(std::vector<uint8_t>(out, out + size), f.data) << f.name;
      std::free(out);
    }
  }

  // unar extracts every entry, checking each CRC itself; the files must equal the originals.
  void expectUnarExtracts(const std::vector<uint8_t>& archive, const std::vector<SampleFile>& files,
                          const std::string& label) {
    fs::path path = dir_ / (label + ".rar");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(archive.data()), std::streamsize(archive.size()));
    fs::path out = dir_ / (label + "-out");
    std::string command = "unar -q -f -D -o '" + out.string() + "' '" + path.string() + "' >/dev/null 2>&1";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << label << ": unar failed (it is installed by scripts/install-deps): " << command;
    for (const SampleFile& f : files) {
      std::ifstream in(out / f.name, std::ios::binary);
      ASSERT_TRUE(in) << label << ": unar did not write " << f.name;
      std::vector<uint8_t> got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(got, f.data) << label << ": " << f.name;
    }
  }

  // Size of `gzip -9` of the bytes (no name in the header).
  size_t gzipSize(const std::vector<uint8_t>& data) {
    fs::path path = dir_ / "gzip-input";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    std::string command = "gzip -9 -n -c '" + path.string() + "' | wc -c";
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    size_t size = 0;
    if (pipe && std::fscanf(pipe, "%zu", &size) != 1) size = 0;
    if (pipe) pclose(pipe);
    EXPECT_GT(size, 0u) << "gzip failed";
    return size;
  }

  fs::path dir_;
  static std::vector<SampleFile>* corpus_;
};

std::vector<SampleFile>* ArchivePackerTest::corpus_ = nullptr;

std::vector<uint8_t> readEtalon() {
  std::string path = std::string(TARNWICK_TESTDATA_DIR) + "/rar/etalon.bin";
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "missing reference file " << path;
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST_F(ArchivePackerTest, CompressedArchiveReadsBackInBothReadersAndBeatsGzip) {
  RarArchiveWriter writer(ArchiveWriterOptions{});
  for (const SampleFile& f : corpus()) ASSERT_TRUE(writer.addEntry(f.name, f.data.data(), f.data.size()));
  const std::vector<uint8_t>& archive = writer.bytes();
  expectOurReaderReads(archive, corpus());
  expectUnarExtracts(archive, corpus(), "compressed");

  size_t packed = 0, gzipped = 0;
  bool audioUsed = false;
  for (size_t i = 0; i < corpus().size(); ++i) {
    // Entry by entry too: long runs of one copy (repeat.bin) must not cost more than gzip's.
    const size_t gz = gzipSize(corpus()[i].data);
    EXPECT_LE(writer.entries()[i].packedSize, gz) << corpus()[i].name;
    packed += writer.entries()[i].packedSize;
    gzipped += gz;
    audioUsed |= writer.entries()[i].audioChannels != 0;
  }
  EXPECT_LE(packed, gzipped);
  EXPECT_TRUE(audioUsed) << "the raw samples should pay off in the multimedia mode";
}

TEST_F(ArchivePackerTest, StoredAndSolidArchivesReadBackInBothReaders) {
  ArchiveWriterOptions stored;
  stored.stored = true;
  std::vector<uint8_t> archive = pack(stored, corpus());
  expectOurReaderReads(archive, corpus());
  expectUnarExtracts(archive, corpus(), "stored");

  // Solid, with the empty entry in the middle of the stream, an audio entry before LZ ones and a
  // short entry right after the one it repeats.
  std::vector<SampleFile> files;
  for (const SampleFile& f : corpus())
    if (f.data.size() < 300000) files.push_back(f);
  std::swap(files[0], files[2]);
  // A small entry that the tables in force could code on their own.
  files.insert(files.begin() + 1, {"Data/again.txt", std::vector<uint8_t>(files[0].data.begin(), files[0].data.begin() + 40)});
  ArchiveWriterOptions solid;
  solid.solid = true;
  archive = pack(solid, files);
  expectOurReaderReads(archive, files);
  expectUnarExtracts(archive, files, "solid");
}

TEST_F(ArchivePackerTest, EntriesEndingAtAnyBitReadBackInUnar) {
  // unar reads ahead of an entry's last code; the last code may end anywhere in its byte.
  const std::vector<uint8_t>& story = corpus()[2].data;
  std::vector<SampleFile> files;
  for (size_t n = 1000; n < 1240; n += 8)
    files.push_back({"prefix" + std::to_string(n), std::vector<uint8_t>(story.begin(), story.begin() + long(n))});
  std::vector<uint8_t> archive = pack(ArchiveWriterOptions{}, files);
  expectOurReaderReads(archive, files);
  expectUnarExtracts(archive, files, "prefixes");
}

TEST_F(ArchivePackerTest, EtalonPacksNoLargerThanGzip) {
  std::vector<uint8_t> etalon = readEtalon();
  ASSERT_FALSE(etalon.empty());
  RarArchiveWriter writer(ArchiveWriterOptions{});
  ASSERT_TRUE(writer.addEntry("etalon.bin", etalon.data(), etalon.size()));
  EXPECT_LE(writer.entries()[0].packedSize, gzipSize(etalon));
  expectOurReaderReads(writer.bytes(), {{"etalon.bin", etalon}});
  expectUnarExtracts(writer.bytes(), {{"etalon.bin", etalon}}, "etalon");
}

TEST_F(ArchivePackerTest, NamesAreStoredWithBackslashesInTheirOwnCase) {
  RarArchiveWriter writer(ArchiveWriterOptions{});
  const uint8_t data[] = {1, 2, 3};
  ASSERT_TRUE(writer.addEntry("Texture/Terra/Grass.TGA", data, 3));
  EXPECT_FALSE(writer.addEntry("", data, 3));
  EXPECT_FALSE(writer.addEntry(std::string(260, 'x'), data, 3));
  EXPECT_EQ(writer.entries()[0].name, "Texture\\Terra\\Grass.TGA");
  std::string bytes(writer.bytes().begin(), writer.bytes().end());
  EXPECT_NE(bytes.find("Texture\\Terra\\Grass.TGA"), std::string::npos);
}
