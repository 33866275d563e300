// registry_file.cpp — parser and writer of the .reg text format (see registry_file.h).
#include "platform/win32/registry_file.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>

namespace regfile {
namespace {

constexpr size_t kHexWrapColumn = 75;   // a hex line is continued once it is longer

bool isBlank(char c) { return c == ' ' || c == '\t'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view trimRight(std::string_view s) {
  while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lowerAscii(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A whole string of 1..8 hex digits.
std::optional<DWORD> parseHexNumber(std::string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  DWORD v = 0;
  for (char c : s) {
    int d = hexDigit(c);
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<DWORD>(d);
  }
  return v;
}

// "aa,bb, cc" — one or two digits per byte, blanks around commas; empty means no bytes.
std::optional<std::vector<BYTE>> parseHexList(std::string_view s) {
  std::vector<BYTE> bytes;
  s = trimLeft(s);
  if (s.empty()) return bytes;
  while (true) {
    s = trimLeft(s);
    size_t n = 0;
    while (n < s.size() && n < 3 && hexDigit(s[n]) >= 0) ++n;
    if (n == 0 || n > 2) return std::nullopt;
    int v = hexDigit(s[0]);
    if (n == 2) v = v * 16 + hexDigit(s[1]);
    bytes.push_back(static_cast<BYTE>(v));
    if (bytes.size() > kMaxValueBytes) return std::nullopt;
    s = trimLeft(s.substr(n));
    if (s.empty()) return bytes;
    if (s.front() != ',') return std::nullopt;
    s.remove_prefix(1);
  }
}

// A quoted string with \\ and \" escapes starting at s[0] == '"'. On success `rest` is what
// follows the closing quote.
std::optional<std::string> parseQuoted(std::string_view s, std::string_view& rest) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      rest = s.substr(i + 1);
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
      c = s[++i];
    }
    out.push_back(c);
  }
  return std::nullopt;
}

std::optional<Value> parseValueLine(std::string_view line) {
  Value value;
  std::string_view rest;
  if (line.front() == '@') {
    rest = line.substr(1);
  } else {
    auto name = parseQuoted(line, rest);
    if (!name || !isValidValueName(*name)) return std::nullopt;
    value.name = std::move(*name);
  }
  rest = trimLeft(rest);
  if (rest.empty() || rest.front() != '=') return std::nullopt;
  rest = trimRight(trimLeft(rest.substr(1)));

  if (!rest.empty() && rest.front() == '"') {
    std::string_view after;
    auto text = parseQuoted(rest, after);
    if (!text || !after.empty() || text->size() >= kMaxValueBytes) return std::nullopt;
    value.type = REG_SZ;
    value.data.assign(text->begin(), text->end());
    value.data.push_back(0);
    return value;
  }
  auto lower = [&](size_t n) {
    std::string s(rest.substr(0, std::min(n, rest.size())));
    for (char& c : s) c = lowerAscii(c);
    return s;
  };
  if (lower(6) == "dword:") {
    auto number = parseHexNumber(rest.substr(6));
    if (!number) return std::nullopt;
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(*number >> (8 * i)));
    return value;
  }
  if (lower(4) == "hex:") {
    value.type = REG_BINARY;
    rest.remove_prefix(4);
  } else if (lower(4) == "hex(") {
    size_t close = rest.find(')');
    if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
      return std::nullopt;
    auto type = parseHexNumber(rest.substr(4, close - 4));
    if (!type) return std::nullopt;
    value.type = *type;
    rest.remove_prefix(close + 2);
  } else {
    return std::nullopt;   // includes "=-" (delete), which our file never holds
  }
  auto bytes = parseHexList(rest);
  if (!bytes) return std::nullopt;
  value.data = std::move(*bytes);
  return value;
}

// Splits off the next physical line (without its '\n').
std::string_view nextLine(std::string_view& text) {
  size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

// A hex list is continued on the next line when a line ends in ",\" or ":\".
bool endsWithContinuation(std::string_view line) {
  return line.size() >= 2 && line.back() == '\\' &&
         (line[line.size() - 2] == ',' || line[line.size() - 2] == ':');
}

bool isPlainString(const std::vector<BYTE>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    BYTE b = data[i];
    if (b < 0x20 || b == 0x7f) return false;
  }
  return true;
}

void appendQuoted(std::string& out, std::string_view s) {
  out.push_back('"');
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

// Bytes as "xx,xx,...", continued on a new line (",\" then two spaces) before a line passes
// 80 columns, as an export does.
void appendHexList(std::string& out, const std::vector<BYTE>& data) {
  size_t lineStart = out.rfind('\n') + 1;   // npos + 1 == 0
  char buf[4];
  for (size_t i = 0; i < data.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    out += buf;
    if (i + 1 == data.size()) break;
    out.push_back(',');
    if (out.size() - lineStart > kHexWrapColumn) {
      out += "\\\n  ";
      lineStart = out.size() - 2;
    }
  }
}

void appendValue(std::string& out, const Value& v) {
  if (v.name.empty()) {
    out.push_back('@');
  } else {
    appendQuoted(out, v.name);
  }
  out.push_back('=');
  char buf[32];
  if (v.type == REG_SZ && isPlainString(v.data)) {
    appendQuoted(out, std::string_view(reinterpret_cast<const char*>(v.data.data()),
                                       v.data.size() - 1));
  } else if (v.type == REG_DWORD && v.data.size() == 4) {
    DWORD n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (DWORD(v.data[3]) << 24);
    std::snprintf(buf, sizeof buf, "dword:%08x", n);
    out += buf;
  } else {
    if (v.type == REG_BINARY) {
      out += "hex:";
    } else {
      std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
      out += buf;
    }
    appendHexList(out, v.data);
  }
  out.push_back('\n');
}

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

// Hash lookups of keys and values by folded name while a file is read, so that a large file
// of many small sections or values parses in linear time.
class DocumentBuilder {
 public:
  explicit DocumentBuilder(Document& document) : document_(document) {}

  size_t key(std::string_view path) {
    auto [it, added] = keys_.try_emplace(folded(path), document_.keys.size());
    if (added) {
      document_.keys.push_back(Key{std::string(path), {}});
      values_.emplace_back();
    }
    return it->second;
  }

  void set(size_t keyIndex, Value value) {
    std::vector<Value>& values = document_.keys[keyIndex].values;
    auto [it, added] = values_[keyIndex].try_emplace(folded(value.name), values.size());
    if (added) {
      values.push_back(std::move(value));
    } else {
      values[it->second].type = value.type;
      values[it->second].data = std::move(value.data);
    }
  }

 private:
  Document& document_;
  std::unordered_map<std::string, size_t> keys_;
  std::vector<std::unordered_map<std::string, size_t>> values_;
};

}  // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

bool isValidKeyPath(std::string_view path) {
  if (path.empty() || path.front() == '-' || path.size() > kMaxLineBytes) return false;
  if (path.find_first_of("\r\n") != std::string_view::npos) return false;
  if (path.front() == '\\' || path.back() == '\\') return false;
  return path.find("\\\\") == std::string_view::npos;
}

bool isValidValueName(std::string_view name) {
  return name.size() <= kMaxNameBytes && name.find_first_of("\r\n") == std::string_view::npos;
}

ParseResult parse(std::string_view text) {
  ParseResult result;
  if (text.size() > kMaxFileBytes) {
    result.clean = false;
    return result;
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);   // UTF-8 byte order mark

  bool first = true;
  DocumentBuilder builder(result.document);
  std::optional<size_t> current;   // none before any section or under a malformed one
  std::string logical;
  while (!text.empty()) {
    std::string_view line = trimRight(trimLeft(nextLine(text)));
    if (first) {
      first = false;
      if (line == kHeader || line == "REGEDIT4") continue;
      result.clean = false;   // no header: still read what follows
    }
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      std::string_view path = line.substr(1);
      if (!path.empty() && path.back() == ']') path.remove_suffix(1);
      if (line.back() != ']' || line.size() < 2 || !isValidKeyPath(path)) {
        current.reset();
        result.clean = false;
        ++result.ignoredLines;
        continue;
      }
      current = builder.key(path);
      continue;
    }

    // A value line, possibly continued over several physical lines.
    bool tooLong = line.size() > kMaxLineBytes;
    logical.assign(tooLong ? std::string_view() : line);
    while (endsWithContinuation(line) && !text.empty()) {
      line = trimRight(trimLeft(nextLine(text)));
      if (!tooLong) {
        logical.pop_back();   // the backslash
        tooLong = logical.size() + line.size() > kMaxLineBytes;
        if (tooLong) {
          logical.clear();
        } else {
          logical.append(line);
        }
      }
    }
    std::optional<Value> value;
    if (!tooLong && current && (logical.front() == '"' || logical.front() == '@'))
      value = parseValueLine(logical);
    if (!value) {
      result.clean = false;
      ++result.ignoredLines;
      continue;
    }
    builder.set(*current, std::move(*value));
  }
  return result;
}

std::string format(const Document& document) {
  std::string out(kHeader);
  out += "\n\n";
  for (const Key& key : document.keys) {
    out.push_back('[');
    out += key.path;
    out += "]\n";
    for (const Value& v : key.values) appendValue(out, v);
    out.push_back('\n');
  }
  return out;
}

Key* findKey(Document& document, std::string_view path) {
  for (Key& k : document.keys)
    if (equalsIgnoreCase(k.path, path)) return &k;
  return nullptr;
}

const Key* findKey(const Document& document, std::string_view path) {
  return findKey(const_cast<Document&>(document), path);
}

bool keyExists(const Document& document, std::string_view path) {
  for (const Key& k : document.keys) {
    if (k.path.size() < path.size()) continue;
    if (!equalsIgnoreCase(std::string_view(k.path).substr(0, path.size()), path)) continue;
    if (k.path.size() == path.size() || k.path[path.size()] == '\\') return true;
  }
  return false;
}

Key& addKey(Document& document, std::string_view path) {
  if (Key* k = findKey(document, path)) return *k;
  document.keys.push_back(Key{std::string(path), {}});
  return document.keys.back();
}

const Value* findValue(const std::vector<Value>& values, std::string_view name) {
  for (const Value& v : values)
    if (equalsIgnoreCase(v.name, name)) return &v;
  return nullptr;
}

void setValue(std::vector<Value>& values, Value value) {
  for (Value& v : values) {
    if (equalsIgnoreCase(v.name, value.name)) {
      v.type = value.type;
      v.data = std::move(value.data);
      return;
    }
  }
  values.push_back(std::move(value));
}

}  // namespace regfile
