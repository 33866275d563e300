// d3dx8_assembler_fuzz.cpp — libFuzzer target: any bytes as vs.1.1 shader text. A success must be
// a well-formed token list (version, known opcodes with parameter tokens, end); a failure must
// return no code and one zero-terminated message naming a line of the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/d3dx8/d3dx8_shader.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool knownOpcode(DWORD op) {
  return op <= D3DSIO_M3x2 ? op != D3DSIO_LRP : (op == D3DSIO_EXPP || op == D3DSIO_LOGP || op == D3DSIO_DEF);
}

void checkCode(ID3DXBuffer* code) {
  require(code->GetBufferSize() % sizeof(DWORD) == 0);
  size_t count = code->GetBufferSize() / sizeof(DWORD);
  require(count >= 2);
  const DWORD* t = static_cast<const DWORD*>(code->GetBufferPointer());
  require(t[0] == D3DVS_VERSION(1, 1) || t[0] == D3DVS_VERSION(1, 0));
  require(t[count - 1] == D3DVS_END());
  size_t at = 1;
  while (at < count - 1) {
    DWORD op = t[at++];
    require(knownOpcode(op));
    if (op == D3DSIO_DEF) {
      require(at + 5 <= count - 1 && (t[at] & 0x80000000u));
      at += 5;
      continue;
    }
    int params = 0;
    while (at < count - 1 && (t[at] & 0x80000000u)) {
      ++at;
      ++params;
    }
    require(params <= 4 && (op == D3DSIO_NOP) == (params == 0));
  }
}

int countLines(const uint8_t* data, size_t size) {
  int lines = 1;
  for (size_t i = 0; i < size; ++i)
    if (data[i] == '\n' || (data[i] == '\r' && !(i + 1 < size && data[i + 1] == '\n'))) ++lines;
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ID3DXBuffer* constants = nullptr;
  ID3DXBuffer* code = nullptr;
  ID3DXBuffer* errors = nullptr;
  HRESULT hr = D3DXAssembleShader(data, static_cast<UINT>(size), 0, &constants, &code, &errors);
  if (hr == D3D_OK) {
    require(code && !errors);
    checkCode(code);
    if (constants) require(constants->GetBufferSize() > 0 && constants->GetBufferSize() % 20 == 0);
  } else {
    require(hr == D3DXERR_INVALIDDATA_SHADER && !code && !constants && errors);
    const char* text = static_cast<const char*>(errors->GetBufferPointer());
    DWORD length = errors->GetBufferSize();
    require(length > 0 && text[length - 1] == '\0' && std::strncmp(text, "line ", 5) == 0);
    long line = std::strtol(text + 5, nullptr, 10);
    require(line >= 1 && line <= countLines(data, size));
  }
  if (constants) constants->Release();
  if (code) code->Release();
  if (errors) errors->Release();
  return 0;
}
