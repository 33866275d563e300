// win32_resources_test.cpp — FindResourceA and friends over an installed table of resources.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/resource_table.h"
#include "platform/win32/windows.h"

namespace {

const unsigned char kBitmap[] = {'B', 'M', 1, 2, 3};
const unsigned char kMedia[] = {0, 1, 2, 3, 4, 5, 6, 7};
const unsigned char kOther[] = {9};
const EmbeddedResource kTable[] = {
    {"#2", 432, kBitmap, sizeof kBitmap},
    {"MediaData", 452, kMedia, sizeof kMedia},
    {"MediaData", 453, kOther, sizeof kOther},
    {"#14", 452, kOther, sizeof kOther},   // same id, other type
};

class Resources : public ::testing::Test {
 protected:
  void SetUp() override { installResourceTable(kTable, std::size(kTable)); }
  void TearDown() override { installResourceTable(nullptr, 0); }
};

TEST_F(Resources, FindsByIntegerOrStringNamesAndTypes) {
  struct Case {
    const char* label;
    LPCSTR name;
    LPCSTR type;
    const unsigned char* data;   // null: not found
    DWORD size;
  };
  const Case cases[] = {
      {"integer name and type", MAKEINTRESOURCEA(432), RT_BITMAP, kBitmap, sizeof kBitmap},
      {"#n type string", MAKEINTRESOURCEA(432), "#2", kBitmap, sizeof kBitmap},
      {"#n name string", "#452", "MediaData", kMedia, sizeof kMedia},
      {"type in other case", MAKEINTRESOURCEA(452), "mEDIAdATA", kMedia, sizeof kMedia},
      {"same id, other type", MAKEINTRESOURCEA(452), RT_GROUP_ICON, kOther, sizeof kOther},
      {"second id", MAKEINTRESOURCEA(453), "MEDIADATA", kOther, sizeof kOther},
      {"missing id", MAKEINTRESOURCEA(454), "MediaData", nullptr, 0},
      {"missing type", MAKEINTRESOURCEA(432), RT_DIALOG, nullptr, 0},
      {"integer type vs string table type", MAKEINTRESOURCEA(452), MAKEINTRESOURCEA(10), nullptr, 0},
      {"#n is not a string type", MAKEINTRESOURCEA(432), "#2x", nullptr, 0},
      {"string name", "MEDIA", "MediaData", nullptr, 0},
      {"# out of range", "#70000", "MediaData", nullptr, 0},
      {"bare #", "#", "MediaData", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    HRSRC found = FindResourceA(nullptr, c.name, c.type);
    EXPECT_EQ(found != nullptr, c.data != nullptr);
    EXPECT_EQ(SizeofResource(nullptr, found), c.size);
    HGLOBAL loaded = LoadResource(nullptr, found);
    EXPECT_EQ(LockResource(loaded), static_cast<const void*>(c.data));
  }
}

TEST_F(Resources, RefusesForeignHandlesAndEmptyTables) {
  EXPECT_EQ(FindResourceA(nullptr, nullptr, RT_BITMAP), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(432), nullptr), nullptr);
  // A handle that FindResourceA did not give out reads as nothing.
  HRSRC bogus = reinterpret_cast<HRSRC>(reinterpret_cast<uintptr_t>(&kTable[1]) + 1);
  EXPECT_EQ(SizeofResource(nullptr, bogus), 0u);
  EXPECT_EQ(LoadResource(nullptr, bogus), nullptr);
  HRSRC past = reinterpret_cast<HRSRC>(const_cast<EmbeddedResource*>(&kTable[0] + std::size(kTable)));
  EXPECT_EQ(SizeofResource(nullptr, past), 0u);

  HRSRC valid = FindResourceA(nullptr, MAKEINTRESOURCEA(432), RT_BITMAP);
  ASSERT_NE(valid, nullptr);
  installResourceTable(nullptr, 5);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(432), RT_BITMAP), nullptr);
  EXPECT_EQ(SizeofResource(nullptr, valid), 0u);   // its table is gone
  installResourceTable(kTable, 0);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(432), RT_BITMAP), nullptr);
}

}  // namespace
