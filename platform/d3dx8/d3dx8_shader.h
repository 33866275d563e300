// d3dx8_shader.h — the vs.1.1 vertex-shader assembler and the buffer it returns its tokens in.
#pragma once

#include "platform/d3d8/d3d8.h"

// A reference-counted block of bytes (assembled tokens, or error text).
struct ID3DXBuffer {
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual void* GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;

 protected:
  virtual ~ID3DXBuffer() = default;
};
typedef ID3DXBuffer* LPD3DXBUFFER;

HRESULT D3DXCreateBuffer(DWORD size, ID3DXBuffer** buffer);

// Assembles `sourceLength` bytes of vs.1.1 text (need not be zero-terminated) into shader tokens
// in *compiledShader. On an error it returns D3DXERR_INVALIDDATA_SHADER and, when `errors` is
// given, one message naming the line ("line 7: unknown instruction 'mvo'") as zero-terminated
// text. When `constants` is given and the text has def instructions, *constants receives one
// D3DVSD_CONST(register, 1) block per def (no D3DVSD_END: the blocks go into a declaration before
// its end); otherwise it is set to null. The def instructions also stay in the token stream.
// `flags` is ignored. Any pointer may be null.
HRESULT D3DXAssembleShader(const void* source, UINT sourceLength, DWORD flags, ID3DXBuffer** constants,
                           ID3DXBuffer** compiledShader, ID3DXBuffer** errors);

#define D3DXERR_INVALIDDATA_SHADER MAKE_D3DHRESULT(2906)   // the shader text has an error
