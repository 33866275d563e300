// shader_assembler.cpp — D3DXAssembleShader: vs.1.1 text to shader tokens, with the register
// rules of vs.1.1 checked per instruction.
//
// Output: the version token, one opcode token per instruction followed by its destination and
// source parameter tokens, D3DVS_END(). The m4x4 family is emitted as its own opcodes (the device
// expands it). def is kept in the token stream and, when asked, also returned as D3DVSD_CONST
// declaration tokens. The first error stops assembly; its message names the line.
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/d3dx8/d3dx8_shader.h"
#include "platform/d3dx8/shader_text.h"

namespace {

using shader_text::Destination;
using shader_text::Register;
using shader_text::Source;
using shader_text::Statement;

constexpr int kMaxSlots = 128;    // instruction slots of a vs.1.1 shader (macros take one per row)
constexpr DWORD kTemps = 12;

// How an instruction reads its sources, which decides the rules and the components read.
enum class Shape {
  none,     // nop
  vector,   // per component: dst.i = f(src.swizzle[i])
  dot3,
  dot4,
  scalar,   // one component of one source: the replicated one, or .w when none is written
  lit,      // reads x, y, w
  dist,     // dst: src0 y, z and src1 y, w
  frac,     // per component, writes .x, .y or .xy only
  matrix,   // m4x4 family: src1 is the first of `rows` constant registers
};

struct Instruction {
  const char* name;
  DWORD opcode;
  int sources;
  Shape shape;
  int rows = 0;      // matrix: output components (= constant registers)
  int columns = 0;   // matrix: components of src0 in each dot product
};

constexpr Instruction kInstructions[] = {
    {"nop", D3DSIO_NOP, 0, Shape::none},
    {"mov", D3DSIO_MOV, 1, Shape::vector},
    {"add", D3DSIO_ADD, 2, Shape::vector},
    {"sub", D3DSIO_SUB, 2, Shape::vector},
    {"mad", D3DSIO_MAD, 3, Shape::vector},
    {"mul", D3DSIO_MUL, 2, Shape::vector},
    {"rcp", D3DSIO_RCP, 1, Shape::scalar},
    {"rsq", D3DSIO_RSQ, 1, Shape::scalar},
    {"dp3", D3DSIO_DP3, 2, Shape::dot3},
    {"dp4", D3DSIO_DP4, 2, Shape::dot4},
    {"min", D3DSIO_MIN, 2, Shape::vector},
    {"max", D3DSIO_MAX, 2, Shape::vector},
    {"slt", D3DSIO_SLT, 2, Shape::vector},
    {"sge", D3DSIO_SGE, 2, Shape::vector},
    {"exp", D3DSIO_EXP, 1, Shape::scalar},
    {"expp", D3DSIO_EXPP, 1, Shape::scalar},
    {"log", D3DSIO_LOG, 1, Shape::scalar},
    {"logp", D3DSIO_LOGP, 1, Shape::scalar},
    {"lit", D3DSIO_LIT, 1, Shape::lit},
    {"dst", D3DSIO_DST, 2, Shape::dist},
    {"frc", D3DSIO_FRC, 1, Shape::frac},
    {"m4x4", D3DSIO_M4x4, 2, Shape::matrix, 4, 4},
    {"m4x3", D3DSIO_M4x3, 2, Shape::matrix, 3, 4},
    {"m3x4", D3DSIO_M3x4, 2, Shape::matrix, 4, 3},
    {"m3x3", D3DSIO_M3x3, 2, Shape::matrix, 3, 3},
    {"m3x2", D3DSIO_M3x2, 2, Shape::matrix, 2, 3},
};

std::string lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

const Instruction* findInstruction(const std::string& mnemonic) {
  std::string name = lowered(mnemonic);
  for (const Instruction& instruction : kInstructions)
    if (name == instruction.name) return &instruction;
  return nullptr;
}

std::string componentNames(DWORD mask) {
  std::string s;
  for (int i = 0; i < 4; ++i)
    if (mask & (1u << i)) s += "xyzw"[i];
  return s;
}

DWORD destinationToken(const Destination& d) {
  return 0x80000000u | (d.reg.type << D3DSP_REGTYPE_SHIFT) | (d.mask << 16) | d.reg.number;
}

DWORD sourceToken(const Source& s) {
  DWORD swizzle = 0;
  for (int i = 0; i < 4; ++i) swizzle |= static_cast<DWORD>(s.swizzle[i]) << (2 * i);
  return 0x80000000u | (s.reg.type << D3DSP_REGTYPE_SHIFT) | (swizzle << D3DVS_SWIZZLE_SHIFT) |
         (s.negate ? D3DSPSM_NEG : D3DSPSM_NONE) | (s.reg.relative ? D3DVS_ADDRMODE_RELATIVE : 0) | s.reg.number;
}

// The components of register `source` that the instruction reads, as a mask.
DWORD componentsRead(const Instruction& op, int index, DWORD writeMask, const Source& source) {
  auto pick = [&](int i) { return 1u << source.swizzle[i]; };
  switch (op.shape) {
    case Shape::vector:
    case Shape::frac: {
      DWORD mask = 0;
      for (int i = 0; i < 4; ++i)
        if (writeMask & (1u << i)) mask |= pick(i);
      return mask;
    }
    case Shape::dot3: return pick(0) | pick(1) | pick(2);
    case Shape::dot4: return pick(0) | pick(1) | pick(2) | pick(3);
    case Shape::scalar: return pick(3);
    case Shape::lit: return pick(0) | pick(1) | pick(3);
    case Shape::dist: return index == 0 ? pick(1) | pick(2) : pick(1) | pick(3);
    case Shape::matrix:
      if (index == 1) return 0;
      return op.columns == 4 ? pick(0) | pick(1) | pick(2) | pick(3) : pick(0) | pick(1) | pick(2);
    case Shape::none: return 0;
  }
  return 0;
}

class Assembler {
 public:
  bool run(const char* text, size_t length);

  std::vector<DWORD> tokens;
  std::vector<DWORD> constants;
  std::string error;

 private:
  bool fail(int line, const std::string& message) {
    error = "line " + std::to_string(line) + ": " + message;
    return false;
  }
  bool statement(const Statement& s);
  bool version(const Statement& s);
  bool define(const Statement& s);
  bool instruction(const Instruction& op, const Statement& s);
  bool checkDestination(const Instruction& op, const Statement& s, Destination& d);
  bool checkSources(const Instruction& op, const Statement& s, const Destination& d, std::vector<Source>& sources);

  bool versionSeen_ = false;
  bool instructionSeen_ = false;
  int slots_ = 0;
  DWORD tempsWritten_[kTemps] = {};
  bool addressWritten_ = false;
  DWORD positionWritten_ = 0;
  bool defined_[96] = {};
};

bool Assembler::run(const char* text, size_t length) {
  std::vector<shader_text::SourceLine> lines;
  int errorLine = 0;
  std::string message;
  if (!shader_text::splitLines(text, length, lines, message, errorLine)) return fail(errorLine, message);
  for (const shader_text::SourceLine& line : lines) {
    Statement s;
    if (!shader_text::parseStatement(line, s, message)) return fail(line.number, message);
    if (!s.mnemonic.empty() && !statement(s)) return false;
  }
  int last = lines.empty() ? 1 : lines.back().number;
  if (!versionSeen_) return fail(last, "missing version 'vs.1.1'");
  if (positionWritten_ != 0xF)
    return fail(last, "oPos is not fully written (missing ." + componentNames(~positionWritten_ & 0xF) +
                          ") by the end of the shader");
  tokens.push_back(D3DVS_END());
  return true;
}

bool Assembler::statement(const Statement& s) {
  std::string name = lowered(s.mnemonic);
  if (name == "vs.1.1" || name == "vs.1.0") return version(s);
  if (name.rfind("vs", 0) == 0 || name.rfind("ps", 0) == 0) return fail(s.line, "unsupported version '" + s.mnemonic + "' (vs.1.1 expected)");
  const Instruction* op = findInstruction(s.mnemonic);
  if (!op && name != "def") return fail(s.line, "unknown instruction '" + s.mnemonic + "'");
  if (!versionSeen_) return fail(s.line, "missing version 'vs.1.1' before '" + s.mnemonic + "'");
  if (!op) return define(s);
  return instruction(*op, s);
}

bool Assembler::version(const Statement& s) {
  if (versionSeen_) return fail(s.line, "the version may appear only once, at the start");
  if (!s.operands.empty()) return fail(s.line, "'" + s.mnemonic + "' takes no operands");
  versionSeen_ = true;
  tokens.push_back(D3DVS_VERSION(1, lowered(s.mnemonic) == "vs.1.1" ? 1 : 0));
  return true;
}

// def c#, x, y, z, w — only before the first instruction, once per register.
bool Assembler::define(const Statement& s) {
  if (instructionSeen_) return fail(s.line, "def must come before the first instruction");
  if (s.operands.size() != 5)
    return fail(s.line, "def takes a constant register and four numbers, got " + std::to_string(s.operands.size()) + " operands");
  Destination d;
  std::string message;
  if (!shader_text::parseDestination(s.operands[0], d, message)) return fail(s.line, message);
  if (d.reg.type != D3DSPR_CONST || d.reg.relative || d.hasMask)
    return fail(s.line, "def needs a plain constant register, not '" + s.operands[0] + "'");
  if (defined_[d.reg.number]) return fail(s.line, "c" + std::to_string(d.reg.number) + " is defined twice");
  DWORD values[4];
  for (int i = 0; i < 4; ++i) {
    float value = 0;
    if (!shader_text::parseNumber(s.operands[1 + i], value, message)) return fail(s.line, message);
    values[i] = std::bit_cast<DWORD>(value);
  }
  defined_[d.reg.number] = true;
  tokens.push_back(D3DSIO_DEF);
  tokens.push_back(destinationToken(d));
  tokens.insert(tokens.end(), values, values + 4);
  constants.push_back(D3DVSD_CONST(d.reg.number, 1));
  constants.insert(constants.end(), values, values + 4);
  return true;
}

bool Assembler::instruction(const Instruction& op, const Statement& s) {
  int expected = op.sources + (op.shape == Shape::none ? 0 : 1);
  if (static_cast<int>(s.operands.size()) != expected)
    return fail(s.line, "'" + s.mnemonic + "' takes " + std::to_string(expected) + " operands, got " +
                            std::to_string(s.operands.size()));
  instructionSeen_ = true;
  slots_ += op.shape == Shape::matrix ? op.rows : 1;
  if (slots_ > kMaxSlots) return fail(s.line, "too many instructions (more than 128 slots)");
  tokens.push_back(op.opcode);
  if (op.shape == Shape::none) return true;

  Destination d;
  std::vector<Source> sources;
  if (!checkDestination(op, s, d) || !checkSources(op, s, d, sources)) return false;
  tokens.push_back(destinationToken(d));
  for (const Source& source : sources) tokens.push_back(sourceToken(source));

  // Writes take effect after the reads of the same instruction.
  if (d.reg.type == D3DSPR_TEMP) tempsWritten_[d.reg.number] |= d.mask;
  if (d.reg.type == D3DSPR_ADDR) addressWritten_ = true;
  if (d.reg.type == D3DSPR_RASTOUT && d.reg.number == D3DSRO_POSITION) positionWritten_ |= d.mask;
  return true;
}

bool Assembler::checkDestination(const Instruction& op, const Statement& s, Destination& d) {
  std::string message;
  if (!shader_text::parseDestination(s.operands[0], d, message)) return fail(s.line, message);
  const std::string& text = s.operands[0];
  if (d.reg.type == D3DSPR_INPUT || d.reg.type == D3DSPR_CONST)
    return fail(s.line, "'" + text + "' cannot be written");
  if (d.reg.type == D3DSPR_ADDR) {
    if (op.opcode != D3DSIO_MOV) return fail(s.line, "a0 can only be written by mov");
    if (!d.hasMask || d.mask != 0x1) return fail(s.line, "a0 is written as a0.x");
  }
  if (op.shape == Shape::frac && (!d.hasMask || d.mask > 0x3))
    return fail(s.line, "frc writes only .x, .y or .xy");
  // Fog and point size are single values: the device reads their x.
  if (d.reg.type == D3DSPR_RASTOUT && d.reg.number != D3DSRO_POSITION && d.hasMask && d.mask != 0x1)
    return fail(s.line, "'" + text + "' is a single value: write " + shader_text::registerName(d.reg) + ".x");
  if (op.shape == Shape::matrix) {
    DWORD rowsMask = (1u << op.rows) - 1;
    if (d.hasMask && d.mask != rowsMask)
      return fail(s.line, std::string(op.name) + " writes ." + componentNames(rowsMask) + " only");
    d.mask = rowsMask;
  }
  return true;
}

bool Assembler::checkSources(const Instruction& op, const Statement& s, const Destination& d, std::vector<Source>& sources) {
  std::string message;
  const Register* constant = nullptr;
  const Register* input = nullptr;
  sources.reserve(3);   // the pointers above point into it
  for (int i = 0; i < op.sources; ++i) {
    const std::string& text = s.operands[1 + i];
    Source source;
    if (!shader_text::parseSource(text, source, message)) return fail(s.line, message);
    const Register& reg = source.reg;
    if (reg.type == D3DSPR_ADDR) return fail(s.line, "a0 is read only as an index: c[a0.x + n]");
    if (reg.type != D3DSPR_TEMP && reg.type != D3DSPR_INPUT && reg.type != D3DSPR_CONST)
      return fail(s.line, "'" + text + "' cannot be read");
    if (reg.relative && !addressWritten_) return fail(s.line, "'" + text + "' reads a0.x before it is written");
    if (op.shape == Shape::scalar && source.hasSwizzle && !source.replicated())
      return fail(s.line, std::string(op.name) + " reads one component: write " + shader_text::registerName(reg) + ".x, .y, .z or .w");
    if (op.shape == Shape::matrix && i == 1) {
      if (reg.type != D3DSPR_CONST) return fail(s.line, std::string(op.name) + " takes its matrix from constant registers");
      if (source.hasSwizzle || source.negate) return fail(s.line, "the matrix of " + std::string(op.name) + " takes no swizzle or negation");
      if (reg.number + op.rows > 96)
        return fail(s.line, "the matrix " + text + " of " + op.name + " runs past c95");
    }
    if (op.shape == Shape::matrix && i == 0 && reg.type == d.reg.type && reg.number == d.reg.number)
      return fail(s.line, "the destination of " + std::string(op.name) + " must differ from its vector");
    sources.push_back(source);
    if (reg.type == D3DSPR_CONST) {
      if (constant && !constant->same(reg))
        return fail(s.line, "two constant registers read by one instruction (" + shader_text::registerName(*constant) +
                                " and " + shader_text::registerName(reg) + ")");
      constant = &sources.back().reg;
    }
    if (reg.type == D3DSPR_INPUT) {
      if (input && !input->same(reg))
        return fail(s.line, "two input registers read by one instruction (" + shader_text::registerName(*input) +
                                " and " + shader_text::registerName(reg) + ")");
      input = &sources.back().reg;
    }
    if (reg.type == D3DSPR_TEMP) {
      DWORD missing = componentsRead(op, i, d.mask, source) & ~tempsWritten_[reg.number];
      if (missing)
        return fail(s.line, shader_text::registerName(reg) + "." + componentNames(missing) + " is read before it is written");
    }
  }
  return true;
}

HRESULT makeBuffer(const void* bytes, size_t size, ID3DXBuffer** buffer) {
  HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(size), buffer);
  if (hr < 0) return hr;
  if (size) std::memcpy((*buffer)->GetBufferPointer(), bytes, size);
  return D3D_OK;
}

}  // namespace

HRESULT D3DXAssembleShader(const void* source, UINT sourceLength, DWORD /*flags*/, ID3DXBuffer** constants,
                           ID3DXBuffer** compiledShader, ID3DXBuffer** errors) {
  if (constants) *constants = nullptr;
  if (compiledShader) *compiledShader = nullptr;
  if (errors) *errors = nullptr;
  if (!source && sourceLength) return D3DERR_INVALIDCALL;
  try {
    Assembler assembler;
    if (!assembler.run(static_cast<const char*>(source), sourceLength)) {
      if (errors) makeBuffer(assembler.error.c_str(), assembler.error.size() + 1, errors);
      return D3DXERR_INVALIDDATA_SHADER;
    }
    HRESULT hr = D3D_OK;
    if (compiledShader) hr = makeBuffer(assembler.tokens.data(), assembler.tokens.size() * sizeof(DWORD), compiledShader);
    if (hr >= 0 && constants && !assembler.constants.empty())
      hr = makeBuffer(assembler.constants.data(), assembler.constants.size() * sizeof(DWORD), constants);
    if (hr < 0 && compiledShader && *compiledShader) {
      (*compiledShader)->Release();
      *compiledShader = nullptr;
    }
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
