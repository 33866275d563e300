// d3d8_vertex_shader_bench.cpp — vertex shaders on the Direct3D stand-in: the cost of creating the
// river and grass shaders (decode, GLSL translation, compile) and of their first draw (link with
// the pixel half), the time per draw of a river strip through the shader next to the same strip
// drawn fixed-function, and the CPU interpreter's rate. Prints its figures.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_device.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/d3d8_test_hooks.h"
#include "platform/d3d8/shader_interpreter.h"
#include "platform/d3dx8/d3dx8_shader.h"
#include "platform/win32/windows.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPairs = 500;          // a river strip: 1000 vertices, 998 triangles
constexpr int kDrawsPerRound = 400;
constexpr int kRounds = 5;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct LitVertex {   // format 0x152 and the river declaration
  float x, y, z, nx, ny, nz;
  DWORD color;
  float u, v;
};

const DWORD kRiverDeclaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(3, D3DVSDT_FLOAT3),
                                   D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_REG(7, D3DVSDT_FLOAT2), D3DVSD_END()};
const DWORD kGrassDeclaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(7, D3DVSDT_FLOAT2),
                                   D3DVSD_END()};

std::vector<DWORD> assemble(const char* name) {
  std::ifstream file(std::string(TARNWICK_SOURCE_DIR) + "/tests/fixtures/shaders/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  std::string source = text.str();
  ID3DXBuffer* code = nullptr;
  std::vector<DWORD> tokens;
  if (D3DXAssembleShader(source.data(), UINT(source.size()), 0, nullptr, &code, nullptr) == D3D_OK) {
    tokens.resize(code->GetBufferSize() / sizeof(DWORD));
    std::memcpy(tokens.data(), code->GetBufferPointer(), tokens.size() * sizeof(DWORD));
    code->Release();
  }
  return tokens;
}


// The shader's c4…c7 (one row per output component); fixed function gets its transpose as the
// projection so both draw the strip over the same pixels.
const float kRows[4][4] = {{1.2f, 0, 0, 0}, {0, 0, 1.4f, -0.6f}, {0, 0, 0.1f, 0}, {0, 0, 0.5f, 1.5f}};

void setRiverConstants(IDirect3DDevice8* device, float time) {
  const float pi = 3.14159265f;
  const float c[][4] = {{0, 0.5f, 1, 2}, {time, 0, 0, 0}};
  const auto& rows = kRows;
  const float river[4][4] = {{1.0f, -0.5f, 0.041f, -0.001388f}, {pi, 1 / (2 * pi), 2 * pi, 10.05f},
                             {5.0f, 1.0f, 2.0f, 0.75f}, {0.25f, 0.25f, 7.0f, 0.75f}};
  device->SetVertexShaderConstant(0, c, 2);
  device->SetVertexShaderConstant(4, rows, 4);
  device->SetVertexShaderConstant(20, river, 4);
}

int litPixels(IDirect3DDevice8* device) {
  std::vector<uint32_t> pixels;
  UINT w = 0, h = 0;
  d3d8TestReadRenderTarget(device, pixels, w, h);
  int lit = 0;
  for (uint32_t pixel : pixels) lit += (pixel & 0xFFFFFF) != 0;
  return lit;
}

// Best time of kRounds rounds of kDrawsPerRound strip draws, in microseconds per draw.
double drawTime(IDirect3DDevice8* device, DWORD shaderOrFormat, bool shader) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<uint32_t> pixels;
    UINT w = 0, h = 0;
    d3d8TestReadRenderTarget(device, pixels, w, h);   // drains earlier work
    auto start = Clock::now();
    for (int i = 0; i < kDrawsPerRound; ++i) {
      if (shader) setRiverConstants(device, 0.01f * float(i));
      device->SetVertexShader(shaderOrFormat);
      device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2 * kPairs - 2);
    }
    d3d8TestReadRenderTarget(device, pixels, w, h);   // waits for the draws
    best = std::min(best, millisecondsSince(start) * 1000.0 / kDrawsPerRound);
  }
  return best;
}

}  // namespace

int main() {
  BenchDevice bench;
  if (!openBenchDevice("d3d8_vertex_shader_bench", 800, 600, bench)) return 1;
  IDirect3DDevice8* device = bench.device;
  std::vector<DWORD> river = assemble("river.vsh"), grass = assemble("grass.vsh");
  if (river.empty() || grass.empty()) {
    std::fprintf(stderr, "d3d8_vertex_shader_bench: the sample shaders do not assemble\n");
    return 1;
  }

  DWORD riverShader = 0, grassShader = 0;
  auto start = Clock::now();
  device->CreateVertexShader(kRiverDeclaration, river.data(), &riverShader, 0);
  double createRiver = millisecondsSince(start);
  start = Clock::now();
  device->CreateVertexShader(kGrassDeclaration, grass.data(), &grassShader, 0);
  double createGrass = millisecondsSince(start);

  std::vector<LitVertex> strip;
  for (int i = 0; i < kPairs; ++i)
    for (int side = 0; side < 2; ++side)
      strip.push_back({float(i) / kPairs * 1.8f - 0.9f, -0.2f, 1.0f + 0.6f * float(side), 0, 1, 0, 0xFF4080C0,
                       float(i) * 0.02f, float(side)});
  IDirect3DVertexBuffer8* buffer = nullptr;
  device->CreateVertexBuffer(UINT(strip.size() * sizeof(LitVertex)), D3DUSAGE_WRITEONLY, 0x152, D3DPOOL_MANAGED,
                             &buffer);
  BYTE* data = nullptr;
  buffer->Lock(0, 0, &data, 0);
  std::memcpy(data, strip.data(), strip.size() * sizeof(LitVertex));
  buffer->Unlock();
  device->SetStreamSource(0, buffer, sizeof(LitVertex));
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  D3DMATRIX projection{};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) projection.m[j][i] = kRows[i][j];
  device->SetTransform(D3DTS_PROJECTION, &projection);

  setRiverConstants(device, 0.0f);
  device->SetVertexShader(riverShader);
  start = Clock::now();
  device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2 * kPairs - 2);
  std::vector<uint32_t> pixels;
  UINT w = 0, h = 0;
  d3d8TestReadRenderTarget(device, pixels, w, h);
  double firstDraw = millisecondsSince(start);

  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  double fixed = drawTime(device, 0x152, false);
  int fixedPixels = litPixels(device);
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  double shaded = drawTime(device, riverShader, true);
  int shadedPixels = litPixels(device);

  // The interpreter on the same strip.
  d3d8gl::VertexShaderCode code;
  d3d8gl::VertexDeclaration declaration;
  d3d8gl::decodeVertexShader(river.data(), river.size(), code);
  d3d8gl::decodeVertexDeclaration(kRiverDeclaration, std::size(kRiverDeclaration), declaration);
  std::vector<d3d8gl::Vec4> constants(96);
  d3d8TestGetVertexShaderConstant(device, 0, constants.data(), 96);
  d3d8gl::VsInputs inputs;
  d3d8gl::VsOutputs outputs;
  float sink = 0;
  start = Clock::now();
  constexpr int kInterpreterPasses = 200;
  for (int pass = 0; pass < kInterpreterPasses; ++pass)
    for (const LitVertex& vertex : strip) {
      d3d8gl::fetchVertexInputs(declaration, reinterpret_cast<const uint8_t*>(&vertex), inputs);
      d3d8gl::interpretVertexShader(code, constants.data(), inputs, outputs);
      sink += outputs[0][1];
    }
  double interpreted = millisecondsSince(start);

  std::printf("vertex shaders on the Direct3D stand-in (%s)\n", d3d8TestGLDescription().c_str());
  std::printf("  CreateVertexShader river (%zu tokens, first: GL compiler start-up) %8.2f ms\n", river.size(), createRiver);
  std::printf("  CreateVertexShader grass (%zu tokens)   %8.2f ms\n", grass.size(), createGrass);
  std::printf("  first river draw (link with pixel half) %6.2f ms\n", firstDraw);
  std::printf("  river strip of %d vertices, best of %d rounds of %d draws:\n", 2 * kPairs, kRounds, kDrawsPerRound);
  std::printf("    fixed function (format 0x152)         %8.1f us per draw (%d pixels covered)\n", fixed,
              fixedPixels);
  std::printf("    river shader, constants set per draw  %8.1f us per draw (%.2fx, %d pixels covered)\n", shaded,
              fixed > 0 ? shaded / fixed : 0.0, shadedPixels);
  std::printf("  CPU interpreter, river shader           %8.2f million vertices/s (checksum %g)\n",
              double(kInterpreterPasses) * double(strip.size()) / (interpreted * 1000.0), double(sink));
  buffer->Release();
  device->DeleteVertexShader(riverShader);
  device->DeleteVertexShader(grassShader);
  return 0;
}
