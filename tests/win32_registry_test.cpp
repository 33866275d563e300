// win32_registry_test.cpp — the registry stand-in: the .reg format, and the Reg* calls on a real file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win32/registry_file.h"
#include "platform/win32/windows.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kKey = "Software\\KELVANE Studio\\Tarnwick 3D Screensaver";
constexpr const char* kSection = "[HKEY_CURRENT_USER\\Software\\KELVANE Studio\\Tarnwick 3D Screensaver]";

std::vector<BYTE> bytes(std::initializer_list<int> list) {
  std::vector<BYTE> out;
  for (int b : list) out.push_back(static_cast<BYTE>(b));
  return out;
}

std::vector<BYTE> sz(const std::string& s) {
  std::vector<BYTE> out(s.begin(), s.end());
  out.push_back(0);
  return out;
}

std::string fileWith(const std::string& body) {
  return std::string(regfile::kHeader) + "\n\n" + body;
}

// ---- the text format -----------------------------------------------------------------------

TEST(RegistryFile, ParsesEachValueFormAndRejectsMalformedOnes) {
  struct Case {
    const char* line;
    std::optional<regfile::Value> expected;   // nullopt: the line is ignored
  };
  const Case cases[] = {
      {R"("A"=dword:0000000a)", regfile::Value{"A", REG_DWORD, bytes({10, 0, 0, 0})}},
      {R"("A"=DWORD:FFFFFFFE)", regfile::Value{"A", REG_DWORD, bytes({0xfe, 0xff, 0xff, 0xff})}},
      {R"("A" = dword:1)", regfile::Value{"A", REG_DWORD, bytes({1, 0, 0, 0})}},
      {R"("A"="C:\\dir \"x\"")", regfile::Value{"A", REG_SZ, sz("C:\\dir \"x\"")}},
      {R"("A"="")", regfile::Value{"A", REG_SZ, sz("")}},
      {R"(@="d")", regfile::Value{"", REG_SZ, sz("d")}},
      {R"("q\"n"=hex:01,2,ff)", regfile::Value{"q\"n", REG_BINARY, bytes({1, 2, 0xff})}},
      {R"("A"=hex:)", regfile::Value{"A", REG_BINARY, {}}},
      {R"("A"=hex(b):01,00,00,00,00,00,00,00)", regfile::Value{"A", 11, bytes({1, 0, 0, 0, 0, 0, 0, 0})}},
      {R"("A"=hex(4):02,00)", regfile::Value{"A", REG_DWORD, bytes({2, 0})}},
      {R"("A"=dword:123456789)", std::nullopt},
      {R"("A"=dword:)", std::nullopt},
      {R"("A"=dword:12x)", std::nullopt},
      {R"("A"=hex:1,2,)", std::nullopt},
      {R"("A"=hex:100)", std::nullopt},
      {R"("A"=hex(zz):00)", std::nullopt},
      {R"("A"=hex(1:00)", std::nullopt},
      {R"("A"="unterminated)", std::nullopt},
      {R"("A"="bad\escape")", std::nullopt},
      {R"("A"="x" trailing)", std::nullopt},
      {R"("A"=-)", std::nullopt},
      {R"("A")", std::nullopt},
      {R"(A=dword:1)", std::nullopt},
      {R"(@junk=dword:1)", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    regfile::ParseResult r = regfile::parse(fileWith("[HKEY_CURRENT_USER\\K]\n" + std::string(c.line) + "\n"));
    ASSERT_EQ(r.document.keys.size(), 1u);
    const auto& values = r.document.keys[0].values;
    if (c.expected) {
      EXPECT_TRUE(r.clean);
      ASSERT_EQ(values.size(), 1u);
      EXPECT_EQ(values[0], *c.expected);
    } else {
      EXPECT_FALSE(r.clean);
      EXPECT_EQ(r.ignoredLines, 1u);
      EXPECT_TRUE(values.empty());
    }
  }
}

TEST(RegistryFile, ReadsWhatIsValidLineByLine) {
  std::string text =
      "\xEF\xBB\xBF" + std::string(regfile::kHeader) + "\r\n\r\n"
      "\"Orphan\"=dword:00000001\r\n"            // before any section
      "[HKEY_CURRENT_USER\\A]\r\n"
      "; a comment\r\n"
      "\"X\"=dword:00000001\r\n"
      "[-HKEY_CURRENT_USER\\B]\r\n"               // delete syntax: section and its values ignored
      "\"Y\"=dword:00000002\r\n"
      "[HKEY_CURRENT_USER\\Bad\\\\Path]\r\n"      // empty component
      "[hkey_current_user\\a]\r\n"                // same key, other case: merges
      "\"x\"=dword:00000003\r\n"                  // same value, other case: replaces
      "\"Long\"=hex:00,01,\\\r\n"
      "  02,03\r\n"
      "\"Z\"=dword:00000004";                     // no final newline
  regfile::ParseResult r = regfile::parse(text);
  EXPECT_FALSE(r.clean);
  EXPECT_EQ(r.ignoredLines, 4u);
  regfile::Document expected{{regfile::Key{"HKEY_CURRENT_USER\\A",
                                           {{"X", REG_DWORD, bytes({3, 0, 0, 0})},
                                            {"Long", REG_BINARY, bytes({0, 1, 2, 3})},
                                            {"Z", REG_DWORD, bytes({4, 0, 0, 0})}}}}};
  EXPECT_EQ(r.document, expected);

  // Without a header the values are still read, but the file is not clean.
  regfile::ParseResult noHeader = regfile::parse("[HKEY_CURRENT_USER\\A]\n\"X\"=dword:1\n");
  EXPECT_FALSE(noHeader.clean);
  ASSERT_EQ(noHeader.document.keys.size(), 1u);
  EXPECT_EQ(noHeader.document.keys[0].values.size(), 1u);
}

// Reading finds sections and values through an index (a 16 MiB file of tiny sections would take
// hours with linear lookups); a late section or value in other case still merges with the first.
TEST(RegistryFile, ManySmallSectionsAndValuesAreReadWhole) {
  constexpr int kCount = 20000;
  std::string text = std::string(regfile::kHeader) + "\n\n";
  for (int i = 0; i < kCount; ++i) text += "[HKEY_CURRENT_USER\\S\\K" + std::to_string(i) + "]\n";
  text += "[hkey_current_user\\s\\k0]\n";
  for (int i = 0; i < kCount; ++i) text += "\"V" + std::to_string(i) + "\"=hex:\n";
  text += "\"v0\"=dword:00000001\n";
  regfile::ParseResult r = regfile::parse(text);
  EXPECT_TRUE(r.clean);
  ASSERT_EQ(r.document.keys.size(), size_t(kCount));
  const auto& values = r.document.keys[0].values;
  ASSERT_EQ(values.size(), size_t(kCount));
  EXPECT_EQ(values[0], (regfile::Value{"V0", REG_DWORD, bytes({1, 0, 0, 0})}));
  EXPECT_EQ(values.back().name, "V" + std::to_string(kCount - 1));
}

TEST(RegistryFile, FormatRoundTripsEveryTypeAndWrapsLongHex) {
  std::vector<BYTE> blob(100);
  for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
  regfile::Document doc{{
      regfile::Key{"HKEY_CURRENT_USER\\Software\\A",
                   {{"Width", REG_DWORD, bytes({0x20, 3, 0, 0})},
                    {"", REG_SZ, sz("default")},
                    {"Path\\\"q\"", REG_SZ, sz("C:\\x \"y\"")},
                    {"Ctrl", REG_SZ, sz("a\nb")},           // control byte: hex(1)
                    {"NoNul", REG_SZ, bytes({'a', 'b'})},     // not terminated: hex(1)
                    {"Short", REG_DWORD, bytes({2, 0})},      // odd size: hex(4)
                    {"Blob", REG_BINARY, blob},
                    {"Multi", 7, bytes({'a', 0, 0})},
                    {"Empty", REG_BINARY, {}}}},
      regfile::Key{"HKEY_LOCAL_MACHINE\\Other]Bracket", {}},
  }};
  std::string text = regfile::format(doc);
  regfile::ParseResult back = regfile::parse(text);
  EXPECT_TRUE(back.clean);
  EXPECT_EQ(back.document, doc);

  EXPECT_EQ(text.rfind(std::string(regfile::kHeader) + "\n\n[HKEY_CURRENT_USER\\Software\\A]\n", 0), 0u);
  for (const char* line : {"\"Width\"=dword:00000320\n", "@=\"default\"\n",
                           "\"Path\\\\\\\"q\\\"\"=\"C:\\\\x \\\"y\\\"\"\n", "\"Ctrl\"=hex(1):61,0a,62,00\n",
                           "\"NoNul\"=hex(1):61,62\n", "\"Short\"=hex(4):02,00\n",
                           "\"Multi\"=hex(7):61,00,00\n", "\"Empty\"=hex:\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
}

// ---- the Reg* calls on the real file --------------------------------------------------------

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "tw-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    saveEnv("XDG_CONFIG_HOME");
    saveEnv("HOME");
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    for (auto& [name, value] : savedEnv_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    fs::remove_all(root_);
  }
  void saveEnv(const char* name) {
    const char* v = std::getenv(name);
    savedEnv_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }

  std::string dir() const { return root_ + "/tarnwick3d"; }
  std::string path() const { return dir() + "/registry.reg"; }

  static std::string read(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  void writeRegistry(const std::string& text) {
    fs::create_directories(dir());
    std::ofstream(path(), std::ios::binary) << text;
  }
  std::vector<std::string> listDir() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static HKEY open(REGSAM access, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                              nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
  static LSTATUS setDword(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  }
  static std::optional<DWORD> getDword(HKEY key, const char* name) {
    DWORD value = 0, size = 4, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
      return std::nullopt;
    return value;
  }
  // The value as the file holds it now.
  std::optional<regfile::Value> onDisk(const char* name, const std::string& keyPath =
                                           std::string("HKEY_CURRENT_USER\\") + kKey) {
    regfile::ParseResult r = regfile::parse(read(path()));
    const regfile::Key* k = regfile::findKey(r.document, keyPath);
    const regfile::Value* v = k ? regfile::findValue(k->values, name) : nullptr;
    return v ? std::optional(*v) : std::nullopt;
  }

  std::string root_;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnv_;
};

TEST_F(Registry, RoundTripThroughTheFile) {
  DWORD disposition = 0;
  HKEY key = open(KEY_WRITE, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_FALSE(fs::exists(path()));   // creating alone writes nothing
  ASSERT_EQ(setDword(key, "Width", 800), ERROR_SUCCESS);
  const char text[] = "Tarnwick";
  ASSERT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text), ERROR_SUCCESS);
  const BYTE blob[] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(RegSetValueExA(key, "Blob", 0, REG_BINARY, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Q", 0, 11, blob, sizeof blob), ERROR_SUCCESS);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  EXPECT_EQ(read(path()), fileWith(std::string(kSection) +
                                   "\n\"Width\"=dword:00000320\n\"Name\"=\"Tarnwick\"\n"
                                   "\"Blob\"=hex:01,02,03,04,05,06,07,08\n"
                                   "\"Q\"=hex(b):01,02,03,04,05,06,07,08\n\n"));
  EXPECT_EQ(fs::status(dir()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);

  key = open(KEY_READ, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(getDword(key, "Width"), 800u);
  struct Expect { const char* name; DWORD type; std::vector<BYTE> data; };
  for (const Expect& e : {Expect{"Name", REG_SZ, sz("Tarnwick")},
                          Expect{"Blob", REG_BINARY, bytes({1, 2, 3, 4, 5, 6, 7, 8})},
                          Expect{"Q", 11, bytes({1, 2, 3, 4, 5, 6, 7, 8})}}) {
    BYTE buf[32] = {};
    DWORD type = 0, size = sizeof buf;
    ASSERT_EQ(RegQueryValueExA(key, e.name, nullptr, &type, buf, &size), ERROR_SUCCESS) << e.name;
    EXPECT_EQ(type, e.type);
    EXPECT_EQ(std::vector<BYTE>(buf, buf + size), e.data);
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, QueriesFollowWindowsSizeRules) {
  writeRegistry(fileWith(std::string(kSection) +
                         "\n\"Eight\"=hex:01,02,03,04,05,06,07,08\n\"Two\"=hex(4):34,12\n"
                         "\"Four\"=dword:11223344\n"));
  HKEY key = open(KEY_READ);
  struct Case {
    const char* name;
    bool withBuffer;
    bool withSize;
    LSTATUS status;
    DWORD sizeOut;
    std::vector<BYTE> bufferOut;   // the 4-byte buffer afterwards (starts as aa aa aa aa)
  };
  const Case cases[] = {
      {"Eight", true, true, ERROR_MORE_DATA, 8, bytes({0xaa, 0xaa, 0xaa, 0xaa})},
      {"Two", true, true, ERROR_SUCCESS, 2, bytes({0x34, 0x12, 0xaa, 0xaa})},
      {"four", true, true, ERROR_SUCCESS, 4, bytes({0x44, 0x33, 0x22, 0x11})},
      {"Eight", false, true, ERROR_SUCCESS, 8, bytes({0xaa, 0xaa, 0xaa, 0xaa})},   // size query
      {"Missing", true, true, ERROR_FILE_NOT_FOUND, 4, bytes({0xaa, 0xaa, 0xaa, 0xaa})},
      {"Four", true, false, ERROR_INVALID_PARAMETER, 4, bytes({0xaa, 0xaa, 0xaa, 0xaa})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<BYTE> buffer(4, 0xaa);
    DWORD size = 4, type = 99;
    EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, c.withBuffer ? buffer.data() : nullptr,
                               c.withSize ? &size : nullptr),
              c.status);
    EXPECT_EQ(size, c.sizeOut);
    EXPECT_EQ(buffer, c.bufferOut);
    if (c.status == ERROR_SUCCESS || c.status == ERROR_MORE_DATA) {
      EXPECT_EQ(type, std::string(c.name) == "Eight" ? DWORD(REG_BINARY) : DWORD(REG_DWORD));
    }
  }
  RegCloseKey(key);
}

TEST_F(Registry, KeyPathsAndValueNamesIgnoreCase) {
  writeRegistry(fileWith("[hkey_current_user\\SOFTWARE\\kelvane studio\\TARNWICK 3D SCREENSAVER]\n"
                         "\"showfps\"=dword:00000002\n"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS);
  EXPECT_EQ(getDword(key, "ShowFPS"), 2u);
  ASSERT_EQ(setDword(key, "SHOWFPS", 1), ERROR_SUCCESS);
  EXPECT_EQ(getDword(key, "ShowFps"), 1u);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  // One section, one value, the spelling already in the file kept.
  EXPECT_EQ(read(path()), fileWith("[hkey_current_user\\SOFTWARE\\kelvane studio\\TARNWICK 3D SCREENSAVER]\n"
                                   "\"showfps\"=dword:00000001\n\n"));
}

TEST_F(Registry, WriteKeepsWhatOthersWroteAndAppliesOnlyOurValues) {
  writeRegistry(fileWith("[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n\"Path\"=hex(2):25,00\n\n" +
                         std::string(kSection) + "\n\"Unknown\"=\"keep me\"\n\"ShowFPS\"=dword:00000001\n"
                         "\"Width\"=dword:00000400\n\n"
                         "[HKEY_CURRENT_USER\\Software\\KELVANE Studio\\Tarnwick 3D Screensaver\\Sub]\n"
                         "@=\"sub default\"\n"));
  HKEY key = open(KEY_READ | KEY_WRITE);
  EXPECT_EQ(getDword(key, "Width"), 1024u);
  ASSERT_EQ(setDword(key, "ShowFPS", 2), ERROR_SUCCESS);
  // Another copy of the program writes while our key is open: it changes Width, adds Late.
  std::string theirs = read(path());
  theirs.replace(theirs.find("00000400"), 8, "00000500");
  theirs += "\n" + std::string(kSection) + "\n\"Late\"=dword:00000007\n";
  std::ofstream(path(), std::ios::binary) << theirs;
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  EXPECT_EQ(onDisk("ShowFPS")->data, bytes({2, 0, 0, 0}));
  EXPECT_EQ(onDisk("Width")->data, bytes({0, 5, 0, 0}));   // theirs, not our stale snapshot
  EXPECT_EQ(onDisk("Late")->data, bytes({7, 0, 0, 0}));
  EXPECT_EQ(onDisk("Unknown")->data, sz("keep me"));
  EXPECT_EQ(onDisk("", std::string("HKEY_CURRENT_USER\\") + kKey + "\\Sub")->data, sz("sub default"));
  EXPECT_EQ(onDisk("Path", "HKEY_LOCAL_MACHINE\\Software\\Elsewhere")->type, 2u);
  EXPECT_EQ(listDir(), std::vector<std::string>{"registry.reg"});   // clean input: no backup

  // Opening again reads the file fresh.
  std::string later = read(path());
  later.replace(later.find("00000500"), 8, "00000600");
  std::ofstream(path(), std::ios::binary) << later;
  key = open(KEY_READ);
  EXPECT_EQ(getDword(key, "Width"), 0x600u);
  RegCloseKey(key);
}

TEST_F(Registry, CorruptFileReadsAsMissingAndIsBackedUpBeforeAWrite) {
  std::string valid = fileWith(std::string(kSection) + "\n\"Width\"=dword:00000400\n");
  std::string withBlob = valid + "\"Blob\"=hex:01,02,03\n";
  std::mt19937 rng(7);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  struct Case {
    const char* name;
    std::string content;
    bool widthReadable;   // the valid Width line survives the damage
  };
  const Case cases[] = {
      {"garbage", "this is not a registry file\n{}[[[\n\"=\n", false},
      {"binary noise", noise, false},
      {"truncated", withBlob.substr(0, withBlob.size() - 6), true},   // ends in "hex:01,"
      {"huge line", valid + "\"Big\"=hex:" + std::string(5u << 20, '0') + "\n", true},
      {"noise after", valid + noise, true},
      {"oversized", valid + std::string(regfile::kMaxFileBytes, ';'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeRegistry(c.content);
    fs::remove(path() + ".bad");

    HKEY key = open(KEY_READ);
    EXPECT_EQ(getDword(key, "Width"), c.widthReadable ? std::optional<DWORD>(1024) : std::nullopt);
    RegCloseKey(key);
    EXPECT_TRUE(read(path()) == c.content) << "a read changed the file";
    EXPECT_FALSE(fs::exists(path() + ".bad"));

    key = open(KEY_WRITE);
    ASSERT_EQ(setDword(key, "ShowFPS", 2), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(read(path() + ".bad") == c.content) << "backup differs from the damaged file";
    regfile::ParseResult now = regfile::parse(read(path()));
    EXPECT_TRUE(now.clean);
    EXPECT_EQ(onDisk("ShowFPS")->data, bytes({2, 0, 0, 0}));
    EXPECT_EQ(onDisk("Width").has_value(), c.widthReadable);
  }
}

TEST_F(Registry, ReplacesTheFileAtomically) {
  // Temporary files a crashed writer left behind are cleared by the next write; a backup stays.
  fs::create_directories(dir());
  for (const char* name : {"registry.reg.Ab12Cd", "registry.reg.bad.x9Y8z7", "registry.reg.bad"})
    std::ofstream(dir() + "/" + name) << "left over";
  HKEY key = open(KEY_WRITE);
  ASSERT_EQ(setDword(key, "A", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  struct stat st;
  ASSERT_EQ(stat(path().c_str(), &st), 0);
  ino_t before = st.st_ino;
  ASSERT_EQ(setDword(key, "A", 2), ERROR_SUCCESS);
  ASSERT_EQ(RegFlushKey(key), ERROR_SUCCESS);
  ASSERT_EQ(stat(path().c_str(), &st), 0);
  EXPECT_NE(st.st_ino, before);   // a new file renamed into place, not rewritten in place
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(listDir(), (std::vector<std::string>{"registry.reg", "registry.reg.bad"}));
  EXPECT_EQ(onDisk("A")->data, bytes({2, 0, 0, 0}));
}

TEST_F(Registry, FailedWriteReportsAnErrorAndKeepsTheValuesForALaterFlush) {
  std::ofstream(root_ + "/not-a-dir") << "x";
  setenv("XDG_CONFIG_HOME", (root_ + "/not-a-dir").c_str(), 1);
  HKEY key = open(KEY_WRITE);
  ASSERT_EQ(setDword(key, "Kept", 5), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

  setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  EXPECT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(onDisk("Kept")->data, bytes({5, 0, 0, 0}));

  // A registry.reg that is a directory cannot be read, so it is never replaced.
  fs::remove(path());
  fs::create_directories(path());
  key = open(KEY_READ | KEY_WRITE);
  EXPECT_EQ(getDword(key, "Kept"), std::nullopt);
  ASSERT_EQ(setDword(key, "Other", 1), ERROR_SUCCESS);
  EXPECT_EQ(RegFlushKey(key), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(path()));
  RegCloseKey(key);
  fs::remove(path());
  EXPECT_EQ(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);   // leaves nothing pending behind
}

TEST_F(Registry, AccessRightsHandlesAndPaths) {
  HKEY reader = open(KEY_READ);
  EXPECT_EQ(setDword(reader, "X", 1), ERROR_ACCESS_DENIED);
  HKEY writer = open(KEY_WRITE);
  ASSERT_EQ(setDword(writer, "X", 1), ERROR_SUCCESS);
  DWORD size = 4;
  EXPECT_EQ(RegQueryValueExA(writer, "X", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(getDword(reader, "X"), 1u);   // open handles see our own set at once
  EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);
  EXPECT_FALSE(fs::exists(path()));       // closing a handle that set nothing writes nothing
  EXPECT_EQ(RegCloseKey(writer), ERROR_SUCCESS);
  EXPECT_TRUE(fs::exists(path()));

  // Closed and made-up handles are refused, never followed.
  EXPECT_EQ(RegCloseKey(writer), ERROR_INVALID_HANDLE);
  EXPECT_EQ(getDword(writer, "X"), std::nullopt);
  EXPECT_EQ(setDword(reinterpret_cast<HKEY>(&size), "X", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegFlushKey(reinterpret_cast<HKEY>(&size)), ERROR_INVALID_HANDLE);

  HKEY key = nullptr;
  struct PathCase { HKEY parent; const char* sub; LSTATUS open; };
  const PathCase cases[] = {
      {HKEY_CURRENT_USER, "Software\\Nobody", ERROR_FILE_NOT_FOUND},
      {HKEY_CURRENT_USER, "Software\\\\Double", ERROR_INVALID_PARAMETER},
      {HKEY_CURRENT_USER, "\\Leading", ERROR_INVALID_PARAMETER},
      {HKEY_CURRENT_USER, "Line\nBreak", ERROR_INVALID_PARAMETER},
      {HKEY_LOCAL_MACHINE, "Software", ERROR_ACCESS_DENIED},
      {reinterpret_cast<HKEY>(&size), "Software", ERROR_INVALID_HANDLE},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.sub);
    EXPECT_EQ(RegOpenKeyExA(c.parent, c.sub, 0, KEY_READ, &key), c.open);
  }
  std::string before = read(path());

  // Subkeys open relative to a handle, and a value name with a line break is refused.
  HKEY parent = nullptr, child = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, KEY_READ, &parent), ERROR_SUCCESS);
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(parent, "KELVANE Studio\\Tarnwick 3D Screensaver\\Child", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &child, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  EXPECT_EQ(setDword(child, "a\r\nb", 1), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(setDword(child, "C", 3), ERROR_SUCCESS);
  RegCloseKey(child);
  RegCloseKey(parent);
  EXPECT_EQ(onDisk("C", std::string("HKEY_CURRENT_USER\\software\\") +
                        "KELVANE Studio\\Tarnwick 3D Screensaver\\Child")->data,
            bytes({3, 0, 0, 0}));
  EXPECT_EQ(onDisk("X")->data, bytes({1, 0, 0, 0}));
  EXPECT_NE(before, read(path()));
}

TEST_F(Registry, FindsTheFileThroughXdgThenHome) {
  std::string home = root_ + "/home";
  fs::create_directories(home);
  setenv("HOME", home.c_str(), 1);
  for (const char* xdg : {"", "relative/dir"}) {
    SCOPED_TRACE(xdg);
    setenv("XDG_CONFIG_HOME", xdg, 1);
    HKEY key = open(KEY_WRITE);
    ASSERT_EQ(setDword(key, "Where", 1), ERROR_SUCCESS);
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(home + "/.config/tarnwick3d/registry.reg"));
    fs::remove_all(home + "/.config");
  }
  EXPECT_FALSE(fs::exists(path()));
}

TEST_F(Registry, ConcurrentWritersFromTwoProcessesLoseNothing) {
  constexpr int kRounds = 20;
  auto writeRound = [](const char* prefix) {
    for (int i = 0; i < kRounds; ++i) {
      HKEY key = open(KEY_WRITE);
      setDword(key, (prefix + std::to_string(i)).c_str(), static_cast<DWORD>(i));
      RegCloseKey(key);
    }
  };
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    writeRound("Child");
    _exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  writeRound("Parent");
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < kRounds; ++i) {
    EXPECT_TRUE(onDisk(("Child" + std::to_string(i)).c_str())) << i;
    EXPECT_TRUE(onDisk(("Parent" + std::to_string(i)).c_str())) << i;
  }
  EXPECT_EQ(listDir(), std::vector<std::string>{"registry.reg"});
}

TEST(SystemInfo, ReportsAnNtFamilySystemWhenTheSizeIsGiven) {
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));   // size not filled in
  EXPECT_FALSE(GetVersionExA(nullptr));
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_GE(info.dwMajorVersion, 5u);
}

}  // namespace
