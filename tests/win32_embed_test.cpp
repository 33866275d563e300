// win32_embed_test.cpp — files added with tarnwick_add_resource are linked in and found by id.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/windows.h"

namespace {

std::string fixture(const char* name) {
  std::ifstream in(std::string(TARNWICK_SOURCE_DIR) + "/tests/fixtures/" + name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(EmbeddedResources, TheBuildLinksTheFilesInWithTheirExactBytes) {
  struct Case {
    LPCSTR name;
    LPCSTR type;
    const char* file;
  };
  const Case cases[] = {
      {MAKEINTRESOURCEA(452), "MediaData", "embed_text.txt"},
      {MAKEINTRESOURCEA(432), RT_BITMAP, "embed_odd.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string expected = fixture(c.file);
    ASSERT_FALSE(expected.empty());
    HRSRC found = FindResourceA(nullptr, c.name, c.type);
    ASSERT_NE(found, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, found), expected.size());
    const void* data = LockResource(LoadResource(nullptr, found));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u);
    EXPECT_EQ(std::string(static_cast<const char*>(data), expected.size()), expected);
  }
  // Only what was added is there.
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(453), "MediaData"), nullptr);
  EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCEA(432), "MediaData"), nullptr);
}

}  // namespace
