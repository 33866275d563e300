// shader_decode.cpp — checks and decodes vs.1.1 function tokens and vertex declarations.
#include "platform/d3d8/vertex_shader_code.h"

#include <bit>

namespace d3d8gl {
namespace {

constexpr DWORD kParamBit = 0x80000000u;

enum class Shape { none, unary, binary, ternary, matrix, define };

struct OpcodeInfo {
  Shape shape;
  int rows;   // matrix macros: rows of the matrix (= components written)
  int columns;
};

bool opcodeInfo(DWORD opcode, OpcodeInfo& info) {
  switch (opcode) {
    case D3DSIO_NOP: info = {Shape::none, 0, 0}; return true;
    case D3DSIO_MOV:
    case D3DSIO_RCP:
    case D3DSIO_RSQ:
    case D3DSIO_EXP:
    case D3DSIO_LOG:
    case D3DSIO_EXPP:
    case D3DSIO_LOGP:
    case D3DSIO_FRC:
    case D3DSIO_LIT: info = {Shape::unary, 0, 0}; return true;
    case D3DSIO_ADD:
    case D3DSIO_SUB:
    case D3DSIO_MUL:
    case D3DSIO_DP3:
    case D3DSIO_DP4:
    case D3DSIO_MIN:
    case D3DSIO_MAX:
    case D3DSIO_SLT:
    case D3DSIO_SGE:
    case D3DSIO_DST: info = {Shape::binary, 0, 0}; return true;
    case D3DSIO_MAD: info = {Shape::ternary, 0, 0}; return true;
    case D3DSIO_M4x4: info = {Shape::matrix, 4, 4}; return true;
    case D3DSIO_M4x3: info = {Shape::matrix, 3, 4}; return true;
    case D3DSIO_M3x4: info = {Shape::matrix, 4, 3}; return true;
    case D3DSIO_M3x3: info = {Shape::matrix, 3, 3}; return true;
    case D3DSIO_M3x2: info = {Shape::matrix, 2, 3}; return true;
    case D3DSIO_DEF: info = {Shape::define, 0, 0}; return true;
    default: return false;   // lrp and anything else is not a vs.1.1 instruction
  }
}

int registerLimit(DWORD type) {
  switch (type) {
    case D3DSPR_TEMP: return kVsTemps;
    case D3DSPR_INPUT: return kVsInputs;
    case D3DSPR_CONST: return kVsConstants;
    case D3DSPR_ADDR: return 1;
    case D3DSPR_RASTOUT: return 3;
    case D3DSPR_ATTROUT: return 2;
    case D3DSPR_TEXCRDOUT: return kVsTexCoords;
    default: return 0;
  }
}

// Destination: bit 31, register type and number, write mask; no relative addressing, result
// modifier or shift.
bool decodeDestination(DWORD token, VsDestination& dst) {
  if (!(token & kParamBit) || (token & 0x0F00E000u) || (token & D3DSP_DSTMOD_MASK)) return false;
  dst.type = (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT;
  dst.index = int(token & D3DSP_REGNUM_MASK);
  dst.mask = uint8_t((token >> 16) & 0xF);
  return dst.mask != 0;
}

bool decodeSource(DWORD token, VsSource& src) {
  if (!(token & kParamBit) || (token & 0x0000C000u)) return false;
  DWORD modifier = (token & D3DSP_SRCMOD_MASK) >> D3DSP_SRCMOD_SHIFT;
  if (modifier > 1) return false;
  src.type = (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT;
  src.index = int(token & D3DSP_REGNUM_MASK);
  src.relative = token & D3DVS_ADDRMODE_RELATIVE;
  src.negate = modifier == 1;
  for (int i = 0; i < 4; ++i) src.swizzle[i] = uint8_t((token >> (D3DVS_SWIZZLE_SHIFT + 2 * i)) & 3);
  if (src.type != D3DSPR_TEMP && src.type != D3DSPR_INPUT && src.type != D3DSPR_CONST) return false;
  if (src.relative && src.type != D3DSPR_CONST) return false;
  return src.index < registerLimit(src.type);
}

bool destinationAllowed(const VsDestination& dst, DWORD opcode) {
  switch (dst.type) {
    case D3DSPR_TEMP:
    case D3DSPR_RASTOUT:
    case D3DSPR_ATTROUT:
    case D3DSPR_TEXCRDOUT: return dst.index < registerLimit(dst.type);
    case D3DSPR_ADDR: return dst.index == 0 && opcode == D3DSIO_MOV && dst.mask == 0x1;
    default: return false;
  }
}

}  // namespace

HRESULT decodeVertexShader(const DWORD* tokens, size_t maxTokens, VertexShaderCode& code) {
  code = {};
  if (!tokens || maxTokens < 2) return D3DERR_INVALIDCALL;
  if (tokens[0] != D3DVS_VERSION(1, 1) && tokens[0] != D3DVS_VERSION(1, 0)) return D3DERR_INVALIDCALL;
  code.version = tokens[0];
  size_t at = 1;
  bool positionWritten = false;
  for (;;) {
    if (at >= maxTokens) return D3DERR_INVALIDCALL;
    DWORD token = tokens[at++];
    if (token == D3DVS_END()) break;
    DWORD opcode = token & D3DSI_OPCODE_MASK;
    if (opcode == D3DSIO_COMMENT) {
      if (token & 0x80000000u) return D3DERR_INVALIDCALL;
      size_t length = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
      if (length > maxTokens - at) return D3DERR_INVALIDCALL;
      at += length;
      continue;
    }
    OpcodeInfo info{};
    if ((token & ~D3DSI_OPCODE_MASK) || !opcodeInfo(opcode, info)) return D3DERR_INVALIDCALL;
    if (info.shape == Shape::none) {
      if (++code.slots > kVsMaxSlots) return D3DERR_INVALIDCALL;
      continue;
    }
    if (at >= maxTokens) return D3DERR_INVALIDCALL;
    VsInstruction instruction;
    instruction.opcode = opcode;
    if (!decodeDestination(tokens[at++], instruction.dst)) return D3DERR_INVALIDCALL;

    if (info.shape == Shape::define) {
      const VsDestination& dst = instruction.dst;
      if (dst.type != D3DSPR_CONST || dst.index >= kVsConstants || maxTokens - at < 4)
        return D3DERR_INVALIDCALL;
      VsConstantLoad load{dst.index, {}};
      for (int i = 0; i < 4; ++i) load.value[i] = std::bit_cast<float>(tokens[at++]);
      code.defines.push_back(load);
      continue;
    }
    if (!destinationAllowed(instruction.dst, opcode)) return D3DERR_INVALIDCALL;
    int sources = info.shape == Shape::unary ? 1 : info.shape == Shape::ternary ? 3 : 2;
    if (maxTokens - at < size_t(sources)) return D3DERR_INVALIDCALL;
    for (int i = 0; i < sources; ++i)
      if (!decodeSource(tokens[at++], instruction.src[i])) return D3DERR_INVALIDCALL;
    instruction.sourceCount = sources;
    if (info.shape == Shape::matrix) {
      // The matrix rows are consecutive registers from the second source on.
      const VsSource& rows = instruction.src[1];
      if (!rows.relative && rows.index + info.rows > registerLimit(rows.type)) return D3DERR_INVALIDCALL;
      instruction.dst.mask &= uint8_t((1u << info.rows) - 1);
      if (instruction.dst.mask == 0) return D3DERR_INVALIDCALL;
    }
    code.slots += info.shape == Shape::matrix ? info.rows : 1;
    if (code.slots > kVsMaxSlots) return D3DERR_INVALIDCALL;
    if (instruction.dst.type == D3DSPR_RASTOUT && instruction.dst.index == D3DSRO_POSITION)
      positionWritten = true;
    code.instructions.push_back(instruction);
  }
  if (!positionWritten) return D3DERR_INVALIDCALL;
  return D3D_OK;
}

UINT vertexElementSize(DWORD type) {
  switch (type) {
    case D3DVSDT_FLOAT1: return 4;
    case D3DVSDT_FLOAT2: return 8;
    case D3DVSDT_FLOAT3: return 12;
    case D3DVSDT_FLOAT4: return 16;
    case D3DVSDT_D3DCOLOR: return 4;
    case D3DVSDT_UBYTE4: return 4;
    case D3DVSDT_SHORT2: return 4;
    case D3DVSDT_SHORT4: return 8;
    default: return 0;
  }
}

HRESULT decodeVertexDeclaration(const DWORD* tokens, size_t maxTokens, VertexDeclaration& declaration) {
  declaration = {};
  if (!tokens) return D3DERR_INVALIDCALL;
  bool streamSeen = false;
  uint32_t registersSeen = 0;
  size_t at = 0;
  for (;;) {
    if (at >= maxTokens) return D3DERR_INVALIDCALL;
    DWORD token = tokens[at++];
    if (token == D3DVSD_END()) break;
    switch (token >> D3DVSD_TOKENTYPESHIFT) {
      case D3DVSD_TOKEN_NOP:
        if (token != D3DVSD_NOP()) return D3DERR_INVALIDCALL;
        break;
      case D3DVSD_TOKEN_STREAM:
        // One stream, declared once; no tessellator streams.
        if ((token & ~D3DVSD_TOKENTYPEMASK) != 0 || streamSeen) return D3DERR_INVALIDCALL;
        streamSeen = true;
        break;
      case D3DVSD_TOKEN_STREAMDATA: {
        if (!streamSeen) return D3DERR_INVALIDCALL;
        if (token & D3DVSD_DATALOADTYPEMASK) {
          if (token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_DATALOADTYPEMASK | D3DVSD_SKIPCOUNTMASK))
            return D3DERR_INVALIDCALL;
          declaration.stride += 4 * ((token & D3DVSD_SKIPCOUNTMASK) >> D3DVSD_SKIPCOUNTSHIFT);
          break;
        }
        if (token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_DATATYPEMASK | D3DVSD_VERTEXREGMASK))
          return D3DERR_INVALIDCALL;
        int reg = int(token & D3DVSD_VERTEXREGMASK);
        DWORD type = (token & D3DVSD_DATATYPEMASK) >> D3DVSD_DATATYPESHIFT;
        if (reg >= kVsInputs || vertexElementSize(type) == 0 || (registersSeen & (1u << reg)))
          return D3DERR_INVALIDCALL;
        registersSeen |= 1u << reg;
        declaration.elements.push_back({reg, type, declaration.stride});
        declaration.stride += vertexElementSize(type);
        break;
      }
      case D3DVSD_TOKEN_CONSTMEM: {
        if (token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_CONSTCOUNTMASK | D3DVSD_CONSTADDRESSMASK))
          return D3DERR_INVALIDCALL;
        int count = int((token & D3DVSD_CONSTCOUNTMASK) >> D3DVSD_CONSTCOUNTSHIFT);
        int first = int(token & D3DVSD_CONSTADDRESSMASK);
        if (count == 0 || first + count > kVsConstants || maxTokens - at < size_t(4 * count))
          return D3DERR_INVALIDCALL;
        for (int r = 0; r < count; ++r) {
          VsConstantLoad load{first + r, {}};
          for (int i = 0; i < 4; ++i) load.value[i] = std::bit_cast<float>(tokens[at++]);
          declaration.constants.push_back(load);
        }
        break;
      }
      default: return D3DERR_INVALIDCALL;   // tessellator, extensions, reserved types
    }
  }
  return D3D_OK;
}

}  // namespace d3d8gl
