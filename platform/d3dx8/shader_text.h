// shader_text.h — reading vs.1.1 assembly text: lines without comments, statements, operands and
// numbers. Only the written form is checked here; which register an instruction may use is the
// assembler's business (shader_assembler.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/d3d8/d3d8_shader_tokens.h"

namespace shader_text {

// One line of the text with its comments blanked out; numbers count from 1.
struct SourceLine {
  int number = 0;
  std::string text;
};

// Splits `length` bytes (need not be zero-terminated; trailing zero bytes are ignored) into lines,
// removing ';' and '//' comments and '/* */' comments (which may span lines). Fails on bytes
// that cannot appear in shader text and on an unterminated comment; `errorLine` is then set.
bool splitLines(const char* text, size_t length, std::vector<SourceLine>& lines, std::string& error,
                int& errorLine);

// A line's statement: its mnemonic (as written) and its comma-separated operands, trimmed.
struct Statement {
  int line = 0;
  std::string mnemonic;
  std::vector<std::string> operands;
};

// Returns false with an error for a malformed line; an empty line gives an empty mnemonic.
bool parseStatement(const SourceLine& source, Statement& statement, std::string& error);

// A register as written: D3DSPR_* type and number; `relative` for c[a0.x + n] (number = n).
struct Register {
  DWORD type = D3DSPR_TEMP;
  DWORD number = 0;
  bool relative = false;
  bool same(const Register& other) const {
    return type == other.type && number == other.number && relative == other.relative;
  }
};

struct Destination {
  Register reg;
  DWORD mask = 0xF;   // bit i = component i (x, y, z, w)
  bool hasMask = false;
};

struct Source {
  Register reg;
  unsigned char swizzle[4] = {0, 1, 2, 3};   // component read for each output component
  bool hasSwizzle = false;
  bool negate = false;
  bool replicated() const { return swizzle[0] == swizzle[1] && swizzle[1] == swizzle[2] && swizzle[2] == swizzle[3]; }
};

// Operands: each fails with a message quoting the operand when it is malformed, names an unknown
// register or an index outside the register file.
bool parseDestination(std::string_view text, Destination& destination, std::string& error);
bool parseSource(std::string_view text, Source& source, std::string& error);
bool parseNumber(std::string_view text, float& value, std::string& error);

// The register's name as an assembly text would write it ("r3", "oPos", "c[a0.x + 4]").
std::string registerName(const Register& reg);

}  // namespace shader_text
