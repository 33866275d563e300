// shader_text.cpp — lines, statements, register operands and numbers of vs.1.1 assembly text.
#include "platform/d3dx8/shader_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace shader_text {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool equalsLower(std::string_view s, std::string_view lowerText) {
  if (s.size() != lowerText.size()) return false;
  for (size_t i = 0; i < s.size(); ++i)
    if (lower(s[i]) != lowerText[i]) return false;
  return true;
}

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

std::string byteMessage(unsigned char byte) {
  char text[48];
  std::snprintf(text, sizeof text, "unexpected byte 0x%02X", byte);
  return text;
}

// Reads a decimal register index of at most four digits; false when there is none.
bool readIndex(std::string_view s, size_t& at, DWORD& value) {
  size_t start = at;
  value = 0;
  while (at < s.size() && isDigit(s[at]) && at - start < 4) value = value * 10 + static_cast<DWORD>(s[at++] - '0');
  return at > start && !(at < s.size() && isDigit(s[at]));
}

// The register file named by a register's letters: its type, its size, and whether an index
// follows the letters. Rasterizer outputs carry their number in the name.
struct RegisterFile {
  const char* letters;
  DWORD type;
  DWORD count;
  bool indexed;
  DWORD fixedNumber;
};
constexpr RegisterFile kFiles[] = {
    {"r", D3DSPR_TEMP, 12, true, 0},
    {"v", D3DSPR_INPUT, 16, true, 0},
    {"c", D3DSPR_CONST, 96, true, 0},
    {"a", D3DSPR_ADDR, 1, true, 0},
    {"opos", D3DSPR_RASTOUT, 1, false, D3DSRO_POSITION},
    {"ofog", D3DSPR_RASTOUT, 1, false, D3DSRO_FOG},
    {"opts", D3DSPR_RASTOUT, 1, false, D3DSRO_POINT_SIZE},
    {"od", D3DSPR_ATTROUT, 2, true, 0},
    {"ot", D3DSPR_TEXCRDOUT, 8, true, 0},
};

std::string rangeMessage(const RegisterFile& file, std::string_view operand) {
  std::string name = file.letters;
  if (name == "od") name = "oD";
  if (name == "ot") name = "oT";
  return "register index out of range in " + quoted(operand) + " (" + name + "0-" + name +
         std::to_string(file.count - 1) + ")";
}

// c[...] contents: "a0.x", "n", "a0.x + n" or "n + a0.x".
bool parseRelative(std::string_view inside, std::string_view operand, Register& reg, std::string& error) {
  std::string_view parts[2];
  size_t count = 0;
  while (true) {
    size_t plus = inside.find('+');
    if (count == 2) {
      error = "bad constant address in " + quoted(operand);
      return false;
    }
    parts[count++] = trim(inside.substr(0, plus));
    if (plus == std::string_view::npos) break;
    inside.remove_prefix(plus + 1);
  }
  bool haveAddress = false, haveOffset = false;
  DWORD offset = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t at = 0;
    if (equalsLower(parts[i], "a0.x") && !haveAddress) {
      haveAddress = true;
    } else if (!haveOffset && readIndex(parts[i], at, offset) && at == parts[i].size()) {
      haveOffset = true;
    } else {
      error = "bad constant address in " + quoted(operand) + " (write c[a0.x + n])";
      return false;
    }
  }
  if (count == 2 && !(haveAddress && haveOffset)) {
    error = "bad constant address in " + quoted(operand);
    return false;
  }
  if (offset >= 96) {
    error = "register index out of range in " + quoted(operand) + " (c0-c95)";
    return false;
  }
  reg = Register{D3DSPR_CONST, offset, haveAddress};
  return true;
}

// Reads the register at the start of `s` and leaves `at` after it.
bool parseRegister(std::string_view s, std::string_view operand, size_t& at, Register& reg, std::string& error) {
  size_t start = at;
  while (at < s.size() && isLetter(s[at])) ++at;
  std::string_view letters = s.substr(start, at - start);
  const RegisterFile* file = nullptr;
  for (const RegisterFile& candidate : kFiles)
    if (equalsLower(letters, candidate.letters)) file = &candidate;
  if (!file) {
    error = "unknown register " + quoted(operand);
    return false;
  }
  if (file->type == D3DSPR_CONST && at < s.size() && s[at] == '[') {
    size_t close = s.find(']', at);
    if (close == std::string_view::npos) {
      error = "missing ']' in " + quoted(operand);
      return false;
    }
    std::string_view inside = s.substr(at + 1, close - at - 1);
    at = close + 1;
    return parseRelative(inside, operand, reg, error);
  }
  DWORD number = file->fixedNumber;
  if (file->indexed) {
    if (!readIndex(s, at, number)) {
      error = (at < s.size() && isDigit(s[at])) ? rangeMessage(*file, operand)
                                                 : "register number missing in " + quoted(operand);
      return false;
    }
    if (number >= file->count) {
      error = rangeMessage(*file, operand);
      return false;
    }
  }
  reg = Register{file->type, number, false};
  return true;
}

int componentIndex(char c) {
  switch (lower(c)) {
    case 'x': return 0;
    case 'y': return 1;
    case 'z': return 2;
    case 'w': return 3;
    default: return -1;
  }
}

}  // namespace

bool splitLines(const char* text, size_t length, std::vector<SourceLine>& lines, std::string& error, int& errorLine) {
  while (length > 0 && text[length - 1] == '\0') --length;
  lines.clear();
  int number = 1;
  std::string current;
  int blockStart = 0;   // line of an open /* comment, 0 when none
  auto endLine = [&] {
    lines.push_back(SourceLine{number, current});
    current.clear();
    ++number;
  };
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    bool next = i + 1 < length;
    if (c == '\r' || c == '\n') {
      if (c == '\r' && next && text[i + 1] == '\n') ++i;
      endLine();
      continue;
    }
    if (c == 0) {
      error = byteMessage(c);
      errorLine = number;
      return false;
    }
    if (blockStart) {
      if (c == '*' && next && text[i + 1] == '/') {
        blockStart = 0;
        current += ' ';
        ++i;
      }
      continue;
    }
    if (c == ';' || (c == '/' && next && text[i + 1] == '/')) {
      // A line comment runs to the end of the line; only a zero byte is refused inside it.
      while (i + 1 < length && text[i + 1] != '\r' && text[i + 1] != '\n') {
        if (text[i + 1] == '\0') {
          error = byteMessage(0);
          errorLine = number;
          return false;
        }
        ++i;
      }
      continue;
    }
    if (c == '/' && next && text[i + 1] == '*') {
      blockStart = number;
      current += ' ';
      ++i;
      continue;
    }
    if (c < 0x20 && c != '\t' && c != '\v' && c != '\f') {
      error = byteMessage(c);
      errorLine = number;
      return false;
    }
    if (c >= 0x7F) {
      error = byteMessage(c);
      errorLine = number;
      return false;
    }
    current += static_cast<char>(c);
  }
  if (blockStart) {
    error = "unterminated comment";
    errorLine = blockStart;
    return false;
  }
  endLine();
  return true;
}

bool parseStatement(const SourceLine& source, Statement& statement, std::string& error) {
  statement = Statement{};
  statement.line = source.number;
  std::string_view s = trim(source.text);
  if (s.empty()) return true;
  size_t at = 0;
  while (at < s.size() && (isLetter(s[at]) || isDigit(s[at]) || s[at] == '.' || s[at] == '_')) ++at;
  statement.mnemonic = std::string(s.substr(0, at));
  if (statement.mnemonic.empty()) {
    error = "expected an instruction, found " + quoted(s.substr(0, 1));
    return false;
  }
  if (at < s.size() && !isSpace(s[at])) {
    error = "unexpected " + quoted(s.substr(at, 1)) + " after " + quoted(statement.mnemonic);
    return false;
  }
  std::string_view rest = trim(s.substr(at));
  if (rest.empty()) return true;
  while (true) {
    size_t comma = rest.find(',');
    std::string_view operand = trim(rest.substr(0, comma));
    if (operand.empty()) {
      error = "empty operand in " + quoted(statement.mnemonic);
      return false;
    }
    statement.operands.emplace_back(operand);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return true;
}

bool parseDestination(std::string_view text, Destination& destination, std::string& error) {
  std::string_view s = trim(text);
  destination = Destination{};
  if (!s.empty() && s.front() == '-') {
    error = "a destination cannot be negated: " + quoted(s);
    return false;
  }
  size_t at = 0;
  if (!parseRegister(s, s, at, destination.reg, error)) return false;
  if (at == s.size()) return true;
  if (s[at] != '.') {
    error = "unexpected text after the register in " + quoted(s);
    return false;
  }
  if (at + 1 == s.size() || s.size() - at - 1 > 4) {
    error = "bad write mask in " + quoted(s);
    return false;
  }
  DWORD mask = 0;
  int last = -1;
  for (size_t i = at + 1; i < s.size(); ++i) {
    int component = componentIndex(s[i]);
    if (component <= last) {   // unknown letter, repeat or out of order
      error = "bad write mask in " + quoted(s) + " (components in x, y, z, w order, each once)";
      return false;
    }
    mask |= 1u << component;
    last = component;
  }
  destination.mask = mask;
  destination.hasMask = true;
  return true;
}

bool parseSource(std::string_view text, Source& source, std::string& error) {
  std::string_view operand = trim(text);
  std::string_view s = operand;
  source = Source{};
  if (!s.empty() && s.front() == '-') {
    source.negate = true;
    s = trim(s.substr(1));
  }
  size_t at = 0;
  if (!parseRegister(s, operand, at, source.reg, error)) return false;
  if (at == s.size()) return true;
  if (s[at] != '.') {
    error = "unexpected text after the register in " + quoted(operand);
    return false;
  }
  size_t count = s.size() - at - 1;
  if (count == 0 || count > 4) {
    error = "bad swizzle in " + quoted(operand);
    return false;
  }
  for (size_t i = 0; i < 4; ++i) {
    // A short swizzle repeats its last component: .x = .xxxx, .xy = .xyyy.
    int component = componentIndex(s[at + 1 + (i < count ? i : count - 1)]);
    if (component < 0) {
      error = "bad swizzle in " + quoted(operand);
      return false;
    }
    source.swizzle[i] = static_cast<unsigned char>(component);
  }
  source.hasSwizzle = true;
  return true;
}

bool parseNumber(std::string_view text, float& value, std::string& error) {
  std::string_view s = trim(text);
  std::string_view digits = s;
  if (!digits.empty() && (digits.back() == 'f' || digits.back() == 'F')) digits.remove_suffix(1);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  // Plain decimal forms only: digits, an optional point and an optional exponent.
  bool ok = !digits.empty() && (isDigit(digits.front()) || digits.front() == '.');
  float parsed = 0;
  if (ok) {
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), parsed, std::chars_format::general);
    ok = result.ec == std::errc() && result.ptr == digits.data() + digits.size() && std::isfinite(parsed);
  }
  if (!ok) {
    error = "bad number " + quoted(s);
    return false;
  }
  value = negative ? -parsed : parsed;
  return true;
}

std::string registerName(const Register& reg) {
  std::string n = std::to_string(reg.number);
  switch (reg.type) {
    case D3DSPR_TEMP: return "r" + n;
    case D3DSPR_INPUT: return "v" + n;
    case D3DSPR_CONST: return reg.relative ? "c[a0.x + " + n + "]" : "c" + n;
    case D3DSPR_ADDR: return "a" + n;
    case D3DSPR_RASTOUT: return reg.number == D3DSRO_POSITION ? "oPos" : reg.number == D3DSRO_FOG ? "oFog" : "oPts";
    case D3DSPR_ATTROUT: return "oD" + n;
    case D3DSPR_TEXCRDOUT: return "oT" + n;
    default: return "?";
  }
}

}  // namespace shader_text
