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

// Assembles vs.1.1 text into shader tokens. On an error it returns a negative code and, when
// asked, the messages as zero-terminated text in *errors. `constants` receives the tokens of the
// def instructions' constant declarations (may be null).
HRESULT D3DXAssembleShader(const void* source, UINT sourceLength, DWORD flags, ID3DXBuffer** constants,
                           ID3DXBuffer** compiledShader, ID3DXBuffer** errors);

#define D3DXERR_INVALIDDATA_SHADER MAKE_D3DHRESULT(2906)   // the shader text has an error
