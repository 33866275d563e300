// vertex_shader_code.h — internal: vs.1.1 shader tokens and vertex declarations checked and
// decoded, their translation to GLSL, and the CPU interpreter of the same decoded code.
//
// Decoding walks a bounded number of tokens and checks every opcode, register type and index,
// modifier and reserved bit; anything else is refused with D3DERR_INVALIDCALL and nothing read
// beyond the limit. The decoded form is what both the GLSL translation and the interpreter run,
// so they agree by construction on what the tokens mean.
//
// Semantics chosen where vs.1.1 leaves room:
// - a0.x takes floor(x + 0.5) (round to nearest, halves up) of the value moved into it; a
//   relative constant read outside c0…c95 reads (0, 0, 0, 0).
// - Scalar instructions (rcp, rsq, exp, log, expp, logp) read the source's w component after the
//   swizzle (the component a replicate swizzle names). rcp and rsq of 0 give +inf, of 1 exactly 1;
//   log and logp of 0 give −FLT_MAX.
// - frc returns the fraction of every component the write mask names.
// - Unwritten outputs: oD0 (1, 1, 1, 1), oD1 (0, 0, 0, 0), oT0…oT7 (0, 0, 0, 1), oFog 1, oPts 1.
//   oPos must be written.
// - def values and declaration constants are written into the constant registers when the shader
//   is selected; constants set later override them.
// - Inputs a declaration does not name read (0, 0, 0, 1); declared inputs with fewer than four
//   components fill the rest from (0, 0, 0, 1).
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_shader_tokens.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d3d8gl {

constexpr int kVsTemps = 12;
constexpr int kVsInputs = 16;
constexpr int kVsConstants = 96;
constexpr int kVsTexCoords = 8;
constexpr int kVsMaxSlots = 128;                  // instruction slots, matrix macros counted per row
constexpr size_t kVsMaxFunctionTokens = 16384;    // the longest walk over a function, comments included
constexpr size_t kVsMaxDeclarationTokens = 1024;

using Vec4 = std::array<float, 4>;

struct VsSource {
  DWORD type = D3DSPR_TEMP;
  int index = 0;
  bool relative = false;   // c[a0.x + index]
  bool negate = false;
  std::array<uint8_t, 4> swizzle{0, 1, 2, 3};
};

struct VsDestination {
  DWORD type = D3DSPR_TEMP;
  int index = 0;
  uint8_t mask = 0xF;   // bit 0 = x … bit 3 = w
};

struct VsInstruction {
  DWORD opcode = D3DSIO_NOP;
  VsDestination dst;
  std::array<VsSource, 3> src{};
  int sourceCount = 0;
};

struct VsConstantLoad {
  int index;
  Vec4 value;
};

struct VertexShaderCode {
  DWORD version = 0;
  std::vector<VsInstruction> instructions;   // def and nop left out
  std::vector<VsConstantLoad> defines;
  int slots = 0;
};

struct VsElement {
  int reg;       // input register v0…v15
  DWORD type;    // D3DVSDT_*
  UINT offset;   // bytes from the vertex start
};

struct VertexDeclaration {
  std::vector<VsElement> elements;   // stream 0, in declaration order
  UINT stride = 0;                   // bytes the declaration spans per vertex
  std::vector<VsConstantLoad> constants;
};

// Decode at most maxTokens tokens; D3DERR_INVALIDCALL for anything malformed or unsupported
// (the device has one vertex stream, so a declaration may only name stream 0).
HRESULT decodeVertexShader(const DWORD* tokens, size_t maxTokens, VertexShaderCode& code);
HRESULT decodeVertexDeclaration(const DWORD* tokens, size_t maxTokens, VertexDeclaration& declaration);
UINT vertexElementSize(DWORD type);

// GLSL 3.30 vertex code. Inputs a_v0…a_v15 (bind them to locations 0…15), constants in
// uniform vec4 u_c[96], u_screen as the fixed-function code has it. For drawing it writes
// gl_Position (in GL's conventions) and the varyings the pixel half reads; for capture it writes
// the raw output registers to tf_out0…tf_out11 (the layout of VsOutputs).
struct GlslOptions {
  bool capture = false;
  bool flatColors = false;
};
std::string vertexShaderGlsl(const VertexShaderCode& code, const VertexDeclaration& declaration,
                             const GlslOptions& options);

// The output registers of one vertex: oPos, oD0, oD1, oT0…oT7, then (oFog, oPts, 0, 0).
constexpr int kVsOutputVectors = 12;
using VsOutputs = std::array<Vec4, kVsOutputVectors>;

}  // namespace d3d8gl
