// registry_file.h — the .reg text format of our registry file: parse, format and look up keys.
//
// Pure: no files, no globals. A document is the keys of one file in file order, each with its
// values in file order. Key paths are full paths with the root name
// ("HKEY_CURRENT_USER\Software\..."); key paths and value names compare case-insensitively
// (ASCII letters), as on Windows. Every value type round-trips: REG_SZ as "text" when it is a
// plain NUL-terminated string, REG_DWORD of four bytes as dword:, REG_BINARY as hex:, and
// everything else (other types, odd sizes, strings with control bytes) as hex(N):.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32/windows.h"

namespace regfile {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr size_t kMaxFileBytes = 16u << 20;   // a larger file is not parsed at all
inline constexpr size_t kMaxLineBytes = 4u << 20;    // a longer logical line is ignored
inline constexpr size_t kMaxValueBytes = 1u << 20;   // largest value data we read or store
inline constexpr size_t kMaxNameBytes = 16383;       // longest value name

struct Value {
  std::string name;   // "" is the key's default value (written as @)
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool operator==(const Value&) const = default;
};

struct Key {
  std::string path;
  std::vector<Value> values;
  bool operator==(const Key&) const = default;
};

struct Document {
  std::vector<Key> keys;
  bool operator==(const Document&) const = default;
};

struct ParseResult {
  Document document;
  bool clean = true;         // the header was there and every line was understood
  size_t ignoredLines = 0;   // malformed lines (and values under a malformed section) skipped
};

// Reads what is valid, line by line; a malformed line is skipped and makes the result unclean.
// Sections with equal paths merge; a repeated value name replaces the earlier value.
ParseResult parse(std::string_view text);

// The file text: header, blank line, then each key's section and values, a blank line after
// each. parse(format(d)) gives d back, clean.
std::string format(const Document& document);

bool equalsIgnoreCase(std::string_view a, std::string_view b);

// True when `path` is a usable key path: non-empty components separated by single backslashes,
// no line breaks, not starting with '-' (which a .reg file reads as "delete").
bool isValidKeyPath(std::string_view path);
// True when `name` can be stored as a value name (no line breaks, not too long).
bool isValidValueName(std::string_view name);

Key* findKey(Document& document, std::string_view path);
const Key* findKey(const Document& document, std::string_view path);
// The key has a section of its own or a subkey has one.
bool keyExists(const Document& document, std::string_view path);
// Finds the key or appends an empty one with this spelling of the path.
Key& addKey(Document& document, std::string_view path);

const Value* findValue(const std::vector<Value>& values, std::string_view name);
// Replaces the value of the same name (keeping its place and its spelling) or appends it.
void setValue(std::vector<Value>& values, Value value);

}  // namespace regfile
