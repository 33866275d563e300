// d3dx8_assembler_test.cpp — D3DXAssembleShader: exact tokens of every instruction and operand
// form, def constants, malformed texts rejected with their line, and the sample river and grass
// shaders run through a small evaluator of the tokens.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/d3dx8/d3dx8_shader.h"

namespace {

struct Assembled {
  HRESULT hr = E_FAIL;
  std::vector<DWORD> tokens;
  std::vector<DWORD> constants;
  bool constantsReturned = false;
  std::string error;
};

std::vector<DWORD> dwords(ID3DXBuffer* buffer) {
  std::vector<DWORD> out(buffer->GetBufferSize() / sizeof(DWORD));
  if (!out.empty()) std::memcpy(out.data(), buffer->GetBufferPointer(), out.size() * sizeof(DWORD));
  return out;
}

// Assembles from a heap block of exactly the text's size, so a read past the end is caught.
Assembled assemble(std::string_view text) {
  std::unique_ptr<char[]> exact(new char[text.size() ? text.size() : 1]);
  std::memcpy(exact.get(), text.data(), text.size());
  ID3DXBuffer* constants = nullptr;
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* errors = nullptr;
  Assembled out;
  out.hr = D3DXAssembleShader(exact.get(), static_cast<UINT>(text.size()), 0, &constants, &code, &errors);
  if (code) {
    out.tokens = dwords(code);
    code->Release();
  }
  if (constants) {
    out.constantsReturned = true;
    out.constants = dwords(constants);
    constants->Release();
  }
  if (errors) {
    const char* bytes = static_cast<const char*>(errors->GetBufferPointer());
    DWORD size = errors->GetBufferSize();
    EXPECT_GT(size, 0u);
    EXPECT_EQ(bytes[size - 1], '\0') << "error text is zero-terminated";
    out.error.assign(bytes, strnlen(bytes, size));
    errors->Release();
  }
  return out;
}

std::string readFixture(const char* name) {
  std::ifstream in(std::string(TARNWICK_SOURCE_DIR) + "/tests/fixtures/shaders/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string hex(const std::vector<DWORD>& tokens) {
  std::string s;
  char word[12];
  for (DWORD t : tokens) {
    std::snprintf(word, sizeof word, "%08X ", t);
    s += word;
  }
  return s;
}

// ---- every instruction and operand form, to the exact token --------------------------------

// The line under test runs after a prelude that gives r0, r1 and a0 values and before a line
// that writes oPos, so each case needs only its own tokens.
constexpr const char* kPrelude = "vs.1.1\nmov r0, c0\nmov r1, c1\nmov a0.x, c2.x\n";
constexpr size_t kPreludeTokens = 1 + 3 * 3;
constexpr const char* kEpilogue = "\nmov oPos, v0\n";
constexpr size_t kEpilogueTokens = 3 + 1;

struct EncodingCase {
  const char* line;
  std::vector<DWORD> tokens;
};

const EncodingCase kEncodings[] = {
    {"nop", {0x00000000}},
    {"mov r2, v0", {0x00000001, 0x800F0002, 0x90E40000}},
    {"add r2.xy, r0, c5", {0x00000002, 0x80030002, 0x80E40000, 0xA0E40005}},
    {"sub r2, -r0, r1.x", {0x00000003, 0x800F0002, 0x81E40000, 0x80000001}},
    {"mad r2, v3, c1.y, -r1", {0x00000004, 0x800F0002, 0x90E40003, 0xA0550001, 0x81E40001}},
    {"mul oD0, r0.wzyx, c3.zw", {0x00000005, 0xD00F0000, 0x801B0000, 0xA0FE0003}},
    {"rcp r2.x, r0.w", {0x00000006, 0x80010002, 0x80FF0000}},
    {"rsq r2, c7.z", {0x00000007, 0x800F0002, 0xA0AA0007}},
    {"rcp r2, r0", {0x00000006, 0x800F0002, 0x80E40000}},   // no swizzle: reads .w
    {"dp3 r2.x, v0, c4", {0x00000008, 0x80010002, 0x90E40000, 0xA0E40004}},
    {"dp4 oPos.w, v0, c7", {0x00000009, 0xC0080000, 0x90E40000, 0xA0E40007}},
    {"min r2, r0, r1", {0x0000000A, 0x800F0002, 0x80E40000, 0x80E40001}},
    {"max r2, r0, c0.x", {0x0000000B, 0x800F0002, 0x80E40000, 0xA0000000}},
    {"slt r2, r0, r1", {0x0000000C, 0x800F0002, 0x80E40000, 0x80E40001}},
    {"sge r2, r0, -c95", {0x0000000D, 0x800F0002, 0x80E40000, 0xA1E4005F}},
    {"exp r2, r0.y", {0x0000000E, 0x800F0002, 0x80550000}},
    {"expp r2.xy, c1.x", {0x0000004E, 0x80030002, 0xA0000001}},
    {"log r2.z, r1.w", {0x0000000F, 0x80040002, 0x80FF0001}},
    {"logp r2, r0.z", {0x0000004F, 0x800F0002, 0x80AA0000}},
    {"lit oD1, r0", {0x00000010, 0xD00F0001, 0x80E40000}},
    {"dst r2, r0, r1", {0x00000011, 0x800F0002, 0x80E40000, 0x80E40001}},
    {"frc r2.xy, r0", {0x00000013, 0x80030002, 0x80E40000}},
    {"frc r2.y, r0.x", {0x00000013, 0x80020002, 0x80000000}},
    {"frc r2.x, r0", {0x00000013, 0x80010002, 0x80E40000}},
    {"mov oFog, r0.z", {0x00000001, 0xC00F0001, 0x80AA0000}},
    {"m4x4 oPos, v0, c4", {0x00000014, 0xC00F0000, 0x90E40000, 0xA0E40004}},
    {"m4x3 r2, v0, c8", {0x00000015, 0x80070002, 0x90E40000, 0xA0E40008}},
    {"m3x4 r2, r0, c92", {0x00000016, 0x800F0002, 0x80E40000, 0xA0E4005C}},
    {"m3x3 r2.xyz, v3, c0", {0x00000017, 0x80070002, 0x90E40003, 0xA0E40000}},
    {"m3x2 oT7, r0, c[a0.x + 10]", {0x00000018, 0xE0030007, 0x80E40000, 0xA0E4200A}},
    {"mov oFog.x, r0.y", {0x00000001, 0xC0010001, 0x80550000}},
    {"mov oPts.x, c0", {0x00000001, 0xC0010002, 0xA0E40000}},
    {"mov oT3.yw, -r0.xyz", {0x00000001, 0xE00A0003, 0x81A40000}},
    {"mov a0.x, r1.y", {0x00000001, 0xB0010000, 0x80550001}},
    {"MOV R11, V15", {0x00000001, 0x800F000B, 0x90E4000F}},
    {"mov r2, c[A0.X]", {0x00000001, 0x800F0002, 0xA0E42000}},
    {"add r2, c[ 3 + a0.x ].x, -c[a0.x+3]", {0x00000002, 0x800F0002, 0xA0002003, 0xA1E42003}},
    {"mul r2, c6, c6.x", {0x00000005, 0x800F0002, 0xA0E40006, 0xA0000006}},
    {"add r2, v1, v1.w", {0x00000002, 0x800F0002, 0x90E40001, 0x90FF0001}},
};

TEST(D3dx8Assembler, EncodesEveryInstructionAndOperandForm) {
  for (const EncodingCase& c : kEncodings) {
    SCOPED_TRACE(c.line);
    Assembled a = assemble(std::string(kPrelude) + c.line + kEpilogue);
    ASSERT_EQ(a.hr, D3D_OK) << a.error;
    ASSERT_EQ(a.tokens.size(), kPreludeTokens + c.tokens.size() + kEpilogueTokens);
    std::vector<DWORD> own(a.tokens.begin() + kPreludeTokens, a.tokens.end() - kEpilogueTokens);
    EXPECT_EQ(hex(own), hex(c.tokens));
  }
}

TEST(D3dx8Assembler, WholeShaderHasVersionInstructionsAndEnd) {
  Assembled a = assemble(std::string(kPrelude) + kEpilogue);
  ASSERT_EQ(a.hr, D3D_OK) << a.error;
  EXPECT_EQ(hex(a.tokens), hex({0xFFFE0101, 1, 0x800F0000, 0xA0E40000, 1, 0x800F0001, 0xA0E40001, 1, 0xB0010000,
                                0xA0000002, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}));
  Assembled old = assemble("Vs.1.0\nmov oPos, v0");
  ASSERT_EQ(old.hr, D3D_OK) << old.error;
  EXPECT_EQ(hex(old.tokens), hex({0xFFFE0100, 1, 0xC00F0000, 0x90E40000, 0x0000FFFF}));
  EXPECT_FALSE(old.constantsReturned) << "no def, no constants";
}

// Written forms that must mean the same as their plain spelling: short swizzles, spacing, case,
// comments of every kind, line endings, a trailing zero byte, c[n] and both relative orders.
TEST(D3dx8Assembler, EquivalentSpellingsGiveTheSameTokens) {
  struct Pair {
    const char* text;
    const char* plain;
  };
  const Pair pairs[] = {
      {"mov r2, c0.x", "mov r2, c0.xxxx"},
      {"mov r2, c0.xy", "mov r2, c0.xyyy"},
      {"mov r2, c0.xyz", "mov r2, c0.xyzz"},
      {"mov r2, c0", "mov r2, c0.xyzw"},
      {"mov r2, c0.XzY", "mov r2, c0.xzyy"},
      {"m4x3 r2.xyz, v0, c0", "m4x3 r2, v0, c0"},
      {"mov r2, c[a0.x + 4]", "mov r2, c[4 + a0.x]"},
      {"mov r2, c[5]", "mov r2, c5"},
      {"\tMoV   R2 ,C0 ; comment, with commas", "mov r2, c0"},
      {"mov r2, -  c0 // comment", "mov r2, -c0"},
      {"mov /* inner */ r2, c0", "mov r2, c0"},
      {"mov r2, c0 ; caf\xC3\xA9 \x01 in a comment", "mov r2, c0"},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.text);
    Assembled a = assemble(std::string(kPrelude) + p.text + kEpilogue);
    Assembled b = assemble(std::string(kPrelude) + p.plain + kEpilogue);
    ASSERT_EQ(a.hr, D3D_OK) << a.error;
    ASSERT_EQ(b.hr, D3D_OK) << b.error;
    EXPECT_EQ(hex(a.tokens), hex(b.tokens));
  }
  const std::string plain = "vs.1.1\nmov oPos, v0\n";
  const std::string layouts[] = {
      "vs.1.1\r\nmov oPos, v0\r\n",
      "vs.1.1\rmov oPos, v0",
      "/* header\n   over lines */\n\n  vs.1.1  \n\n// x\nmov oPos, v0",
      std::string("vs.1.1\nmov oPos, v0\n\0\0", 22),
  };
  for (const std::string& text : layouts) {
    SCOPED_TRACE(text);
    Assembled a = assemble(text);
    ASSERT_EQ(a.hr, D3D_OK) << a.error;
    EXPECT_EQ(hex(a.tokens), hex(assemble(plain).tokens));
  }
}

TEST(D3dx8Assembler, DefStaysInTheCodeAndReturnsConstantDeclarations) {
  Assembled a = assemble("vs.1.1\ndef c20, 1.0, -0.5, .041, -1e-3\ndef c3, 2, +3.5f, 0, -0\nm4x4 oPos, v0, c4\n");
  ASSERT_EQ(a.hr, D3D_OK) << a.error;
  const DWORD p041 = std::bit_cast<DWORD>(0.041f), m1e3 = std::bit_cast<DWORD>(-1e-3f);
  EXPECT_EQ(hex(a.tokens), hex({0xFFFE0101, 0x51, 0xA00F0014, 0x3F800000, 0xBF000000, p041, m1e3, 0x51, 0xA00F0003,
                                0x40000000, 0x40600000, 0x00000000, 0x80000000, 0x14, 0xC00F0000, 0x90E40000,
                                0xA0E40004, 0x0000FFFF}));
  ASSERT_TRUE(a.constantsReturned);
  EXPECT_EQ(hex(a.constants), hex({0x82000014, 0x3F800000, 0xBF000000, p041, m1e3, 0x82000003, 0x40000000,
                                   0x40600000, 0x00000000, 0x80000000}));
}

TEST(D3dx8Assembler, OutputPointersAreOptional) {
  const char text[] = "vs.1.1\nmov oPos, v0";
  EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, 0, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(D3DXAssembleShader(text, 3, 0, nullptr, nullptr, nullptr), D3DXERR_INVALIDDATA_SHADER);
  ID3DXBuffer* code = reinterpret_cast<ID3DXBuffer*>(0x1);
  EXPECT_EQ(D3DXAssembleShader(nullptr, 4, 0, nullptr, &code, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(code, nullptr);
}

// ---- malformed texts ----------------------------------------------------------------------

struct MalformedCase {
  std::string text;
  int line;
  const char* message;   // part of the message after "line N: "
};

const std::string kHead = "vs.1.1\nmov r0, v0\nmov a0.x, c0.x\n";   // lines 1-3
const std::string kTail = "\nmov oPos, v0\n";

MalformedCase middle(const char* line, const char* message) { return {kHead + line + kTail, 4, message}; }

const MalformedCase kMalformed[] = {
    middle("mvo r0, v0", "unknown instruction 'mvo'"),
    middle("mov_sat r1, v0", "unknown instruction 'mov_sat'"),
    middle("lrp r1, r0, r0, r0", "unknown instruction 'lrp'"),
    middle("mov r1, q0", "unknown register 'q0'"),
    middle("mov r1, v", "register number missing in 'v'"),
    middle("mov r12, v0", "'r12' (r0-r11)"),
    middle("mov r1, v16", "'v16' (v0-v15)"),
    middle("mov r1, c96", "'c96' (c0-c95)"),
    middle("mov r1, c[a0.x + 96]", "out of range"),
    middle("mov oT8, v0", "'oT8' (oT0-oT7)"),
    middle("mov oD2, v0", "'oD2' (oD0-oD1)"),
    middle("mov r1, c100000", "out of range"),
    middle("mov r1, c[a0.x - 1]", "bad constant address"),
    middle("mov r1, c[a0.y + 1]", "bad constant address"),
    middle("mov r1, c[a0.x + 1", "missing ']'"),
    middle("add r1, v0", "takes 3 operands, got 2"),
    middle("mov r1, v0, v0", "takes 2 operands, got 3"),
    middle("nop r1", "takes 0 operands, got 1"),
    middle("mov r1, , v0", "empty operand"),
    middle("mov r1, v0,", "empty operand"),
    middle("mov r1.yx, v0", "bad write mask in 'r1.yx'"),
    middle("mov r1.xx, v0", "bad write mask"),
    middle("mov r1.xq, v0", "bad write mask"),
    middle("mov r1., v0", "bad write mask"),
    middle("mov r1, v0.xyzwx", "bad swizzle"),
    middle("mov r1, v0.xb", "bad swizzle"),
    middle("mov -r1, v0", "cannot be negated"),
    middle("add r1, c0, c1", "two constant registers read by one instruction (c0 and c1)"),
    middle("mad r1, v0, c0, c[a0.x + 0]", "two constant registers"),
    middle("m4x4 r1, c0, c4", "two constant registers"),
    middle("add r1, v0, v1", "two input registers read by one instruction (v0 and v1)"),
    middle("mov v0, r0", "'v0' cannot be written"),
    middle("mov c0, r0", "'c0' cannot be written"),
    middle("add a0.x, c0, r0", "a0 can only be written by mov"),
    middle("mov a0, c0.x", "a0 is written as a0.x"),
    middle("mov a0.y, c0.x", "a0 is written as a0.x"),
    middle("mov r1, a0.x", "a0 is read only as an index"),
    middle("mov r1, oPos", "'oPos' cannot be read"),
    middle("mov r1, oT0", "'oT0' cannot be read"),
    middle("mov r1, r3", "r3.xyzw is read before it is written"),
    middle("rcp r1, c0.xy", "rcp reads one component"),
    middle("frc r1, r0", "frc writes only .x, .y or .xy"),
    middle("frc r1.xz, r0", "frc writes only .x, .y or .xy"),
    middle("frc r1.xyz, r0", "frc writes only .x, .y or .xy"),
    middle("mov oFog.y, r0", "'oFog.y' is a single value: write oFog.x"),
    middle("mov oPts.xy, r0", "write oPts.x"),
    middle("m4x3 r1.xy, v0, c0", "m4x3 writes .xyz only"),
    middle("m4x4 r1, v0, c93", "runs past c95"),
    middle("m4x4 r1, v0, c4.x", "no swizzle or negation"),
    middle("m3x3 r1, v0, -c4", "no swizzle or negation"),
    middle("m4x4 r1, v0, r0", "from constant registers"),
    middle("m4x4 r0, r0, c4", "must differ from its vector"),
    middle("def c5, 1, 2, 3, 4", "def must come before the first instruction"),
    middle("vs.1.1", "only once"),
    middle("mov r1 v0", "takes 2 operands, got 1"),
    middle("mov, r1, v0", "unexpected ','"),
    middle("\xFF", "unexpected byte 0xFF"),
    {"vs.1.1\nmov r0.xy, v0\nmov oPos, v0\ndp3 oFog.x, r0, v0\n", 4, "r0.z is read before it is written"},
    {"vs.1.1\nmov oPos, c[a0.x + 1]\n", 2, "reads a0.x before it is written"},
    {"vs.1.1\ndef c1, 1, 2, 3\nmov oPos, v0", 2, "def takes a constant register and four numbers, got 4"},
    {"vs.1.1\ndef c1, 1, 2, 3, 4x\nmov oPos, v0", 2, "bad number '4x'"},
    {"vs.1.1\ndef c1, 1, 2, 1.0.0, 4\nmov oPos, v0", 2, "bad number '1.0.0'"},
    {"vs.1.1\ndef c1, 1, 2, 3, 1e40\nmov oPos, v0", 2, "bad number '1e40'"},
    {"vs.1.1\ndef c1, 1, 2, 3, inf\nmov oPos, v0", 2, "bad number 'inf'"},
    {"vs.1.1\ndef r1, 1, 2, 3, 4\nmov oPos, v0", 2, "def needs a plain constant register"},
    {"vs.1.1\ndef c1.x, 1, 2, 3, 4\nmov oPos, v0", 2, "def needs a plain constant register"},
    {"vs.1.1\ndef c1, 1, 2, 3, 4\ndef c1, 1, 2, 3, 4\nmov oPos, v0", 3, "c1 is defined twice"},
    {"mov oPos, v0", 1, "missing version 'vs.1.1' before 'mov'"},
    {"; a comment\n\nmov oPos, v0", 3, "missing version"},
    {"", 1, "missing version"},
    {"; only a comment\n", 2, "missing version"},
    {"vs.2.0\nmov oPos, v0", 1, "unsupported version 'vs.2.0'"},
    {"ps.1.1\nmov oPos, v0", 1, "unsupported version"},
    {"vs.1.1 r0\nmov oPos, v0", 1, "takes no operands"},
    {"vs.1.1\nmov oD0, v0\n", 3, "oPos is not fully written (missing .xyzw)"},
    {"vs.1.1\nmov oPos.xyz, v0", 2, "oPos is not fully written (missing .w)"},
    {"vs.1.1\nmov oPos, v0\n/* open\nmov oD0, v0", 3, "unterminated comment"},
    {"vs.1.1\nmov oPos, v0\n\x01\x02", 3, "unexpected byte 0x01"},
    {"vs.1.1\nmov oPos, v0 \x7F", 2, "unexpected byte 0x7F"},
    {"vs.1.1\nmov oPos, v0 \xC3\xA9", 2, "unexpected byte 0xC3"},
    {std::string("vs.1.1\n\0mov oPos, v0", 20), 2, "unexpected byte 0x00"},
    {std::string("vs.1.1\nmov oPos, v0 ; a\0b", 25), 2, "unexpected byte 0x00"},
    {"vs.1.1\nmov oPos, v", 2, "register number missing in 'v'"},   // text ends mid-operand
    {"vs.1.1\nmov oPos, c[a0.x", 2, "missing ']'"},
    {"vs.1.1\nmov oPos, v0 /", 2, "unexpected text after the register in 'v0 /'"},
};

TEST(D3dx8Assembler, MalformedTextIsRejectedWithItsLine) {
  for (const MalformedCase& c : kMalformed) {
    SCOPED_TRACE(c.text);
    Assembled a = assemble(c.text);
    EXPECT_EQ(a.hr, D3DXERR_INVALIDDATA_SHADER);
    EXPECT_TRUE(a.tokens.empty());
    EXPECT_FALSE(a.constantsReturned);
    std::string prefix = "line " + std::to_string(c.line) + ": ";
    EXPECT_EQ(a.error.rfind(prefix, 0), 0u) << a.error;
    EXPECT_NE(a.error.find(c.message), std::string::npos) << a.error;
  }
}

TEST(D3dx8Assembler, InstructionSlotsEndAt128WithMacrosCountingTheirRows) {
  std::string full = "vs.1.1\n";
  for (int i = 0; i < 31; ++i) full += "m4x4 r0, v0, c0\n";
  full += "m4x3 oPos.xyz, v0, c4\nmov oPos.w, v0\n";   // 31 * 4 + 3 + 1 = 128 slots
  Assembled fits = assemble(full);
  EXPECT_EQ(fits.hr, D3D_OK) << fits.error;
  Assembled over = assemble(full + "nop\n");
  EXPECT_EQ(over.hr, D3DXERR_INVALIDDATA_SHADER);
  EXPECT_EQ(over.error.rfind("line 35: too many instructions", 0), 0u) << over.error;
}

// ---- the sample shaders, evaluated -------------------------------------------------------

using Vec4 = std::array<float, 4>;

// Runs the arithmetic subset the sample shaders use (mov add mul mad dp3 dp4 frc m4x4) on one
// vertex; anything else fails the test.
struct Evaluator {
  Vec4 v[16] = {};
  Vec4 c[96] = {};
  Vec4 r[12] = {};
  Vec4 oPos = {}, oD0 = {}, oT0 = {};

  Vec4* registerOf(DWORD token) {
    DWORD type = (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT, n = token & D3DSP_REGNUM_MASK;
    switch (type) {
      case D3DSPR_TEMP: return &r[n];
      case D3DSPR_INPUT: return &v[n];
      case D3DSPR_CONST: return &c[n];
      case D3DSPR_RASTOUT: return n == D3DSRO_POSITION ? &oPos : nullptr;
      case D3DSPR_ATTROUT: return n == 0 ? &oD0 : nullptr;
      case D3DSPR_TEXCRDOUT: return n == 0 ? &oT0 : nullptr;
    }
    return nullptr;
  }
  Vec4 read(DWORD token, int offset = 0) {
    EXPECT_EQ(token & D3DVS_ADDRMODE_RELATIVE, 0u);
    Vec4* reg = registerOf(token);
    if (offset) reg = &c[(token & D3DSP_REGNUM_MASK) + offset];
    Vec4 out{};
    for (int i = 0; i < 4; ++i) {
      float value = (*reg)[(token >> (D3DVS_SWIZZLE_SHIFT + 2 * i)) & 3];
      out[i] = (token & D3DSP_SRCMOD_MASK) == D3DSPSM_NEG ? -value : value;
    }
    return out;
  }
  static float dot(const Vec4& a, const Vec4& b, int n) {
    float sum = 0;
    for (int i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
  }
  void run(const std::vector<DWORD>& tokens) {
    ASSERT_EQ(tokens.front(), 0xFFFE0101u);
    size_t at = 1;
    while (tokens.at(at) != D3DVS_END()) {
      DWORD op = tokens[at];
      DWORD d = tokens.at(at + 1);
      int sources = (op == D3DSIO_MOV || op == D3DSIO_FRC) ? 1 : op == D3DSIO_MAD ? 3 : 2;
      Vec4 s[3];
      for (int i = 0; i < sources; ++i) s[i] = read(tokens.at(at + 2 + i));
      Vec4 result{};
      for (int i = 0; i < 4; ++i) {
        switch (op) {
          case D3DSIO_MOV: result[i] = s[0][i]; break;
          case D3DSIO_ADD: result[i] = s[0][i] + s[1][i]; break;
          case D3DSIO_MUL: result[i] = s[0][i] * s[1][i]; break;
          case D3DSIO_MAD: result[i] = s[0][i] * s[1][i] + s[2][i]; break;
          case D3DSIO_DP3: result[i] = dot(s[0], s[1], 3); break;
          case D3DSIO_DP4: result[i] = dot(s[0], s[1], 4); break;
          case D3DSIO_FRC: result[i] = s[0][i] - std::floor(s[0][i]); break;
          case D3DSIO_M4x4: result[i] = dot(s[0], read(tokens.at(at + 3), i), 4); break;
          default: FAIL() << "opcode " << op << " not evaluated here";
        }
      }
      Vec4* out = registerOf(d);
      ASSERT_NE(out, nullptr);
      for (int i = 0; i < 4; ++i)
        if (d & (D3DSP_WRITEMASK_0 << i)) (*out)[i] = result[i];
      at += 2 + sources;
    }
  }
};

constexpr float kPi = 3.14159265358979f;

TEST(D3dx8Assembler, RiverSampleLiftsTheSurfaceAndSlidesTheTexture) {
  Assembled a = assemble(readFixture("river.vsh"));
  ASSERT_EQ(a.hr, D3D_OK) << a.error;
  // Texture coordinates and time; at u + v = 0 and T = 0 both waves give Q(0) * 0.25 = 0.25.
  struct Case {
    float u, v, time;
  };
  for (Case k : {Case{0, 0, 0}, Case{0.3f, 0.2f, 0}, Case{0.13f, 0.71f, 2.6f}, Case{-4.2f, 1.5f, 17.25f}}) {
    SCOPED_TRACE(testing::Message() << "u " << k.u << " v " << k.v << " T " << k.time);
    Evaluator e;
    e.c[0] = {0, 0.5f, 1, 2};
    e.c[1] = {k.time, 0, 0, 0};
    for (int i = 0; i < 4; ++i) e.c[4 + i][i] = 1;   // identity view x projection
    e.c[20] = {1.0f, -0.5f, 0.041f, -0.001388f};
    e.c[21] = {kPi, 1 / (2 * kPi), 2 * kPi, 10.05f};
    e.c[22] = {5.0f, 1.0f, 2.0f, 0.75f};
    e.c[23] = {0.25f, 0.25f, 7.0f, 0.75f};
    e.v[0] = {3, 10, -7, 1};
    e.v[3] = {0, 1, 0, 0};
    e.v[5] = {0.2f, 0.4f, 0.6f, 0.8f};
    e.v[7] = {k.u, k.v, 0, 1};
    e.run(a.tokens);
    auto wrap = [](double x) { return (x + kPi) / (2 * kPi) - std::floor((x + kPi) / (2 * kPi)); };
    auto q = [](double x) { return 1.0 - 0.5 * x * x + 0.041 * std::pow(x, 4) - 0.001388 * std::pow(x, 6); };
    double waveA = wrap((k.u - k.time + k.v) * 5.0) * 2 * kPi - kPi;
    double waveB = wrap((k.u + k.time + k.v) * 2.0) * 2 * kPi - kPi;
    double y = 10 + q(waveA) * 0.25 + q(waveB) * 0.25;
    EXPECT_NEAR(e.oPos[0], 3, 1e-5);
    EXPECT_NEAR(e.oPos[1], y, 1e-4);
    EXPECT_NEAR(e.oPos[2], -7, 1e-5);
    EXPECT_NEAR(e.oPos[3], 1, 1e-6);
    EXPECT_EQ(e.oD0, e.v[5]);
    EXPECT_NEAR(e.oT0[0], k.u - k.time, 1e-5);
    EXPECT_NEAR(e.oT0[1], k.v, 1e-6);
    if (k.u == 0 && k.v == 0 && k.time == 0) {
      EXPECT_NEAR(e.oPos[1], 10.5, 1e-5);
    }
  }
}

TEST(D3dx8Assembler, GrassSampleSwaysTheTopAndKeepsTheFoot) {
  Assembled a = assemble(readFixture("grass.vsh"));
  ASSERT_EQ(a.hr, D3D_OK) << a.error;
  const Vec4 c8 = {-0.16161616f, 0.0083333f, -0.00019841f, 0.0000027557f};
  const Vec4 c11 = {4, 4, 0, 2.5f}, c12 = {-2, -1.33f, -2.33f, -1}, c13 = {1, 2, 3, 3};
  const Vec4 c14 = {-0.006f, -0.012f, 0.024f, 0.048f}, c15 = {-0.003f, -0.006f, -0.012f, -0.048f};
  const Vec4 c16 = {0.105f, 0.21f, 0.245f, 0.35f}, c18 = {0.35f, 0.1f, 0.1f, 0.03f};
  struct Case {
    float x, y, z, u, v, time;
  };
  for (Case k : {Case{120, 40, -60, 1, 1, 3.5f}, Case{120, 40, -60, 0.01f, 0.01f, 3.5f}, Case{-900, 130, 44, 0.5f, 0.5f, 71},
                 Case{4, 0, 4, 0.01f, 0.01f, 0}}) {
    SCOPED_TRACE(testing::Message() << "x " << k.x << " y " << k.y << " v " << k.v << " T " << k.time);
    Evaluator e;
    e.c[0] = {0, 0.5f, 1, 2};
    e.c[1] = {k.time, 0, 0, 0};
    for (int i = 0; i < 4; ++i) e.c[4 + i][i] = 1;
    e.c[8] = c8;
    e.c[10] = {1.07f, 0, 0, 0};
    e.c[11] = c11, e.c[12] = c12, e.c[13] = c13, e.c[14] = c14, e.c[15] = c15, e.c[16] = c16;
    e.c[17] = {4, kPi / 2, kPi, 2 * kPi};
    e.c[18] = c18;
    e.c[19] = {0.6f, 0.7f, 0.2f, 0};
    e.v[0] = {k.x, k.y, k.z, 1};
    e.v[7] = {k.u, k.v, 0, 1};
    e.run(a.tokens);
    double s[4], offset[3] = {}, w = 0;
    for (int i = 0; i < 4; ++i) {
      double phase = c14[i] * k.x + c15[i] * k.y + k.time * c16[i];
      phase = ((phase - std::floor(phase)) * 1.07 - 0.5) * 2 * kPi;
      s[i] = phase + std::pow(phase, 3) * c8[0] + std::pow(phase, 5) * c8[1] + std::pow(phase, 7) * c8[2] +
             std::pow(phase, 9) * c8[3];
      offset[0] += s[i] * c11[i], offset[1] += s[i] * c12[i], offset[2] += s[i] * c13[i], w += s[i] * c18[i];
    }
    double weight = (1 - k.v) * (1 - k.v);
    EXPECT_NEAR(e.oPos[0], k.x + offset[0] * weight, 2e-3);
    EXPECT_NEAR(e.oPos[1], k.y + offset[1] * weight, 2e-3);
    EXPECT_NEAR(e.oPos[2], k.z + offset[2] * weight, 2e-3);
    EXPECT_NEAR(e.oPos[3], 1, 1e-6);
    if (k.v == 1) {
      EXPECT_EQ((Vec4{e.oPos[0], e.oPos[1], e.oPos[2], 1}), e.v[0]) << "the foot stays put";
    }
    EXPECT_NEAR(e.oD0[0], 0.7 - 0.6 * w, 1e-4);
    EXPECT_NEAR(e.oD0[1], 0.7 - 0.2 * w, 1e-4);
    EXPECT_NEAR(e.oD0[2], 0.7 - 0.6 * w, 1e-4);
    EXPECT_NEAR(e.oD0[3], 0.7 - 0.2 * w, 1e-4);
    EXPECT_NEAR(e.oT0[0], k.u, 1e-6);
    EXPECT_NEAR(e.oT0[1], k.v, 1e-6);
  }
}

}  // namespace
