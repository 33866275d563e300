// media_resources_test.cpp — the generated media as a program sees it: the archives linked in as
// resources "MediaData" 452 and 453 (entries, storage, pictures decoded from them), the bitmaps
// and the icon, and the packed archive files read by unar as an independent reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_listing.h"
#include "archive/archive_lookup.h"
#include "media_test_support.h"
#include "platform/win32/win32_internal.h"
#include "platform/win32/windows.h"

namespace fs = std::filesystem;
using media_test::Picture;

namespace {

const char* const kGlyphNames[] = {
    "Digits\\digit_0.JPG", "Digits\\digit_1.JPG", "Digits\\digit_2.JPG", "Digits\\digit_3.JPG",
    "Digits\\digit_4.JPG", "Digits\\digit_5.JPG", "Digits\\digit_6.JPG", "Digits\\digit_7.JPG",
    "Digits\\digit_8.JPG", "Digits\\digit_9.JPG", "Digits\\digit_ddot.JPG", "Digits\\digit_dot.JPG",
    "Digits\\digit_A.JPG", "Digits\\digit_M.JPG", "Digits\\digit_P.JPG"};

std::vector<ArchiveEntryInfo> entriesOf(unsigned archiveId) {
  MemoryFile archive;
  openMediaArchive(archive, archiveId);
  std::vector<ArchiveEntryInfo> entries;
  bool solid = true;
  EXPECT_EQ(listArchiveEntries(archive, entries, solid), ListingEnd::complete) << archiveId;
  EXPECT_FALSE(solid) << archiveId;
  return entries;
}

// The entry's bytes through the program's own lookup; empty when it is not found.
std::vector<uint8_t> fetch(unsigned archiveId, const char* name) {
  MemoryFile archive;
  openMediaArchive(archive, archiveId);
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (!fetchEntry(&data, &size, name, archive, nullptr)) return {};
  std::vector<uint8_t> bytes(data, data + size);
  std::free(data);
  return bytes;
}

Picture decodeEntry(const char* name) {
  std::vector<uint8_t> bytes = fetch(kInterfaceArchiveId, name);
  Picture picture;
  EXPECT_FALSE(bytes.empty()) << name;
  EXPECT_TRUE(media_test::decodeJpeg(bytes.data(), bytes.size(), &picture)) << name;
  return picture;
}

TEST(MediaArchives, HoldExactlyTheEntriesTheProgramAsksForWithTheirStorage) {
  struct Case {
    unsigned id;
    std::vector<std::string> names;
    uint8_t method;
  };
  std::vector<std::string> interfaceNames(std::begin(kGlyphNames), std::end(kGlyphNames));
  interfaceNames.push_back("Notification\\Loader.jpg");
  const Case cases[] = {
      {kInterfaceArchiveId, interfaceNames, 0x30},   // stored
      {kSceneArchiveId, {"readme.txt"}, 0x33},       // compressed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    std::vector<ArchiveEntryInfo> entries = entriesOf(c.id);
    std::vector<std::string> names;
    for (const ArchiveEntryInfo& e : entries) {
      names.push_back(e.name);
      EXPECT_EQ(e.method, c.method) << e.name;
      EXPECT_GT(e.unpackedSize, 0u) << e.name;
    }
    EXPECT_EQ(names, c.names);
  }
  // The lookup meets the program's spellings whatever their case and slashes.
  EXPECT_FALSE(fetch(kInterfaceArchiveId, "digits/DIGIT_ddot.jpg").empty());
  EXPECT_FALSE(fetch(kInterfaceArchiveId, "Notification/loader.JPG").empty());
  EXPECT_FALSE(fetch(kSceneArchiveId, "README.TXT").empty());
}

TEST(MediaArchives, GlyphsAreLightGreenCharactersOnPureBlack) {
  std::vector<std::vector<uint8_t>> seen;
  for (const char* name : kGlyphNames) {
    SCOPED_TRACE(name);
    Picture p = decodeEntry(name);
    ASSERT_EQ(p.width, 64);
    ASSERT_EQ(p.height, 64);
    ASSERT_EQ(p.components, 3);
    // Drawn additively and as a darkening shadow: the border must be black, not dark grey.
    int borderMax = 0, brightest = 0, bx = 0, by = 0, glow = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const uint8_t* px = p.at(x, y);
        int m = std::max({px[0], px[1], px[2]});
        bool border = x < 3 || y < 3 || x > 60 || y > 60;
        if (border) borderMax = std::max(borderMax, m);
        if (px[0] + px[1] + px[2] > brightest) brightest = px[0] + px[1] + px[2], bx = x, by = y;
        if (px[1] > 40 && px[1] > px[0] + 25 && px[1] > px[2] + 25) ++glow;
      }
    EXPECT_LE(borderMax, 2);
    // A light core near the middle of the cell, slightly green, and a green glow around it.
    EXPECT_GE(brightest, 3 * 215);
    EXPECT_TRUE(bx >= 12 && bx < 52 && by >= 8 && by < 58) << bx << "," << by;
    const uint8_t* core = p.at(bx, by);
    EXPECT_GE(core[1], core[0]);
    EXPECT_GE(core[1], core[2]);
    EXPECT_GE(glow, 20);
    seen.push_back(p.pixels);
  }
  // Fifteen different pictures (a wrong text or file name would repeat one).
  for (size_t i = 0; i < seen.size(); ++i)
    for (size_t j = i + 1; j < seen.size(); ++j) EXPECT_NE(seen[i], seen[j]) << kGlyphNames[i] << " " << kGlyphNames[j];
}

// Every picture is the valley seen the right way up: blue sky at the top left, dark ground at
// the bottom (a flipped row order or swapped colour channels fails here).
void expectUpright(uint32_t topLeft, uint32_t bottom) {
  int r = topLeft >> 16 & 0xFF, b = topLeft & 0xFF;
  EXPECT_GT(b, r + 40) << std::hex << "top left 0x" << topLeft;
  int sum = (bottom >> 16 & 0xFF) + (bottom >> 8 & 0xFF) + (bottom & 0xFF);
  EXPECT_LT(sum, 150) << std::hex << "bottom 0x" << bottom;
}

TEST(MediaArchives, LoadingPictureIsAnUprightFourByThreeJpegOfAtLeast1024By768) {
  Picture p = decodeEntry("Notification\\Loader.jpg");
  EXPECT_GE(p.width, 1024);
  EXPECT_EQ(p.width * 3, p.height * 4);
  ASSERT_EQ(p.components, 3);
  auto rgb = [&](int x, int y) { return uint32_t(p.at(x, y)[0]) << 16 | p.at(x, y)[1] << 8 | p.at(x, y)[2]; };
  expectUpright(rgb(4, 4), rgb(p.width / 2, p.height - 4));
}

TEST(MediaResources, BitmapsAndTheIconLoadUprightInTheirSizes) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  struct Case {
    int id, width, height;
  };
  for (const Case& c : {Case{432, 155, 115}, Case{434, 240, 150}, Case{437, 100, 100}}) {
    SCOPED_TRACE(c.id);
    HBITMAP bitmap = LoadBitmapA(instance, MAKEINTRESOURCEA(c.id));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof info, &info), int(sizeof info));
    EXPECT_EQ(info.bmWidth, c.width);
    EXPECT_EQ(info.bmHeight, c.height);
    ASSERT_EQ(info.bmBitsPixel, 32);
    const uint32_t* pixels = static_cast<const uint32_t*>(info.bmBits);   // 0x00RRGGBB, top row first
    expectUpright(pixels[size_t(info.bmWidth) * 2 + 2], pixels[size_t(info.bmWidth) * (info.bmHeight - 2) + info.bmWidth / 2]);
    DeleteObject(bitmap);
  }

  HICON icon = LoadIconA(instance, MAKEINTRESOURCEA(224));
  ASSERT_NE(icon, nullptr);
  int width = 0, height = 0;
  std::vector<uint32_t> argb;
  ASSERT_TRUE(tw32::iconPixels(icon, &width, &height, &argb));
  EXPECT_EQ(width, 48);
  EXPECT_EQ(height, 48);
  // A round emblem: transparent corners, an opaque middle; sky above, green hill below.
  EXPECT_EQ(argb[0] >> 24, 0u);
  EXPECT_EQ(argb[47] >> 24, 0u);
  EXPECT_EQ(argb[48 * 47] >> 24, 0u);
  EXPECT_EQ(argb[24 * 48 + 24] >> 24, 255u);
  uint32_t sky = argb[8 * 48 + 24], hill = argb[40 * 48 + 34];
  EXPECT_GT(sky & 0xFF, (sky >> 16 & 0xFF) + 40) << std::hex << sky;
  EXPECT_GT(hill >> 8 & 0xFF, hill >> 16 & 0xFF) << std::hex << hill;
  EXPECT_GT(hill >> 8 & 0xFF, hill & 0xFF) << std::hex << hill;
}

TEST(MediaArchives, UnarExtractsTheArchiveFilesAsOurLookupDoes) {
  struct Case {
    const char* file;
    unsigned id;
  };
  std::string pattern = (fs::temp_directory_path() / "tarnwick-media-unar-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const fs::path root = pattern;
  for (const Case& c : {Case{"interface.rar", kInterfaceArchiveId}, Case{"scene.rar", kSceneArchiveId}}) {
    SCOPED_TRACE(c.file);
    fs::path archive = fs::path(TARNWICK_ARCHIVE_DIR) / c.file;
    // The file the build packed is the resource the program carries.
    MemoryFile embedded;
    openMediaArchive(embedded, c.id);
    std::vector<uint8_t> packed = media_test::readFile(archive.string());
    ASSERT_EQ(packed, std::vector<uint8_t>(embedded.bytes, embedded.bytes + embedded.length));

    fs::path out = root / c.file;
    std::string command = "unar -q -f -D -o '" + out.string() + "' '" + archive.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "unar failed (installed by scripts/install-deps)";
    for (const ArchiveEntryInfo& e : entriesOf(c.id)) {
      std::string path = e.name;
      std::replace(path.begin(), path.end(), '\\', '/');
      EXPECT_EQ(media_test::readFile((out / path).string()), fetch(c.id, e.name.c_str())) << e.name;
    }
  }
  fs::remove_all(root);
}

}  // namespace
