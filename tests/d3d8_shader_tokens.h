// d3d8_shader_tokens.h — small builders of vs.1.1 function and declaration tokens for tests.
#pragma once

#include <initializer_list>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_shader_tokens.h"

namespace vstok {

struct Reg {
  DWORD type;
  DWORD index;
};
inline Reg r(DWORD n) { return {D3DSPR_TEMP, n}; }
inline Reg v(DWORD n) { return {D3DSPR_INPUT, n}; }
inline Reg c(DWORD n) { return {D3DSPR_CONST, n}; }
inline const Reg a0{D3DSPR_ADDR, 0};
inline const Reg oPos{D3DSPR_RASTOUT, D3DSRO_POSITION};
inline const Reg oFog{D3DSPR_RASTOUT, D3DSRO_FOG};
inline const Reg oPts{D3DSPR_RASTOUT, D3DSRO_POINT_SIZE};
inline Reg oD(DWORD n) { return {D3DSPR_ATTROUT, n}; }
inline Reg oT(DWORD n) { return {D3DSPR_TEXCRDOUT, n}; }

inline DWORD componentIndex(char ch) { return ch == 'y' ? 1 : ch == 'z' ? 2 : ch == 'w' ? 3 : 0; }

// Destination parameter with a write mask such as "xz".
inline DWORD dst(Reg reg, const char* mask = "xyzw") {
  DWORD bits = 0;
  for (const char* p = mask; *p; ++p) bits |= 1u << componentIndex(*p);
  return 0x80000000u | (reg.type << D3DSP_REGTYPE_SHIFT) | reg.index | (bits << 16);
}

// Source parameter with a swizzle of one to four letters (the last repeats, as the assembler
// writes ".x" as ".xxxx").
inline DWORD src(Reg reg, const char* swizzle = "xyzw", bool negate = false, bool relative = false) {
  DWORD bits = 0, last = 0;
  const char* p = swizzle;
  for (int i = 0; i < 4; ++i) {
    if (*p) last = componentIndex(*p++);
    bits |= last << (2 * i);
  }
  return 0x80000000u | (reg.type << D3DSP_REGTYPE_SHIFT) | reg.index | (bits << D3DVS_SWIZZLE_SHIFT) |
         (negate ? D3DSPSM_NEG : 0) | (relative ? D3DVS_ADDRMODE_RELATIVE : 0);
}
inline DWORD neg(Reg reg, const char* swizzle = "xyzw") { return src(reg, swizzle, true); }
inline DWORD rel(DWORD base, const char* swizzle = "xyzw") { return src(c(base), swizzle, false, true); }

// A function: version token, instructions, end token.
struct Code {
  std::vector<DWORD> tokens{D3DVS_VERSION(1, 1)};
  Code& op(DWORD opcode, std::initializer_list<DWORD> params) {
    tokens.push_back(opcode);
    tokens.insert(tokens.end(), params);
    return *this;
  }
  std::vector<DWORD> done() const {
    std::vector<DWORD> t = tokens;
    t.push_back(D3DVS_END());
    return t;
  }
};

inline DWORD floatBits(float f) {
  DWORD d;
  static_assert(sizeof d == sizeof f);
  __builtin_memcpy(&d, &f, sizeof d);
  return d;
}

}  // namespace vstok
