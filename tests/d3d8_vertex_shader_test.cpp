// d3d8_vertex_shader_test.cpp — vertex shaders on the Direct3D stand-in: token and declaration
// checks, the instruction semantics on the CPU interpreter and on the GLSL translation (read back
// through transform feedback), input formats, constants, handles, and shader-drawn pictures
// against fixed-function ones.
#include <bit>
#include <cfloat>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <random>
#include <string>

#include "d3d8_shader_tokens.h"
#include "d3d8_test_support.h"
#include "platform/d3d8/shader_interpreter.h"
#include "platform/d3dx8/d3dx8_shader.h"

using namespace d3d8test;
using namespace vstok;
using d3d8gl::Vec4;
using d3d8gl::VsOutputs;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// v0…v3 as four floats each: the layout most tests feed.
const std::vector<DWORD> kFourVectors = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT4),
                                         D3DVSD_REG(1, D3DVSDT_FLOAT4), D3DVSD_REG(2, D3DVSDT_FLOAT4),
                                         D3DVSD_REG(3, D3DVSDT_FLOAT4), D3DVSD_END()};
struct FourVectors {
  Vec4 v[4];
};

// Exact for specials (inf, −FLT_MAX, exact 1), relative otherwise; NaN matches NaN.
bool close(float a, float b) {
  if (a == b || (std::isnan(a) && std::isnan(b))) return true;
  if (!std::isfinite(a) || !std::isfinite(b)) return false;
  float scale = std::max({1.0f, std::fabs(a), std::fabs(b)});
  return std::fabs(a - b) <= 2e-4f * scale;
}

const char* const kOutputNames[] = {"oPos", "oD0", "oD1", "oT0", "oT1", "oT2", "oT3",
                                    "oT4", "oT5", "oT6", "oT7", "oFog/oPts"};

// ---- decoding ---------------------------------------------------------------------------------------
HRESULT decode(const std::vector<DWORD>& tokens) {
  d3d8gl::VertexShaderCode code;
  return d3d8gl::decodeVertexShader(tokens.data(), tokens.size(), code);
}

HRESULT decodeDeclaration(const std::vector<DWORD>& tokens, d3d8gl::VertexDeclaration* out = nullptr) {
  d3d8gl::VertexDeclaration declaration;
  HRESULT hr = d3d8gl::decodeVertexDeclaration(tokens.data(), tokens.size(), declaration);
  if (out) *out = declaration;
  return hr;
}

// A valid body to which each bad case adds or changes one thing.
Code validBody() { return Code().op(D3DSIO_MOV, {dst(oPos), src(v(0))}); }

TEST(VertexShaderTokens, MalformedFunctionsAreRefused) {
  struct Case {
    const char* what;
    std::vector<DWORD> tokens;
  };
  std::vector<DWORD> noEnd = validBody().tokens;   // exact size: a read past it is a sanitizer fault
  std::vector<DWORD> badVersion = validBody().done();
  badVersion[0] = D3DVS_VERSION(2, 0);
  std::vector<DWORD> pixelVersion = validBody().done();
  pixelVersion[0] = 0xFFFF0101;
  std::vector<DWORD> longComment = validBody().tokens;
  longComment.push_back(D3DSHADER_COMMENT(100));
  longComment.push_back(0);
  longComment.push_back(D3DVS_END());
  std::vector<DWORD> tooLong = validBody().tokens;
  for (int i = 0; i < 128; ++i) tooLong.insert(tooLong.end(), {D3DSIO_MOV, dst(r(0)), src(v(0))});
  tooLong.push_back(D3DVS_END());
  std::vector<DWORD> truncated = {D3DVS_VERSION(1, 1), D3DSIO_MAD, dst(oPos), src(v(0)), src(v(1))};
  const Case cases[] = {
      {"no end token within the tokens", noEnd},
      {"empty", {}},
      {"vs.2.0", badVersion},
      {"pixel shader version", pixelVersion},
      {"comment longer than the tokens", longComment},
      {"more than 128 slots", tooLong},
      {"instruction cut short", truncated},
      {"no oPos write", Code().op(D3DSIO_MOV, {dst(oD(0)), src(v(0))}).done()},
      {"lrp is not a vertex instruction", validBody().op(D3DSIO_LRP, {dst(r(0)), src(v(0)), src(v(1)), src(v(2))}).done()},
      {"unknown opcode", validBody().op(0x50, {dst(r(0)), src(v(0))}).done()},
      {"opcode with control bits", validBody().op(D3DSIO_MOV | 0x10000, {dst(r(0)), src(v(0))}).done()},
      {"r12", validBody().op(D3DSIO_MOV, {dst(r(12)), src(v(0))}).done()},
      {"v16", validBody().op(D3DSIO_MOV, {dst(r(0)), src(v(16))}).done()},
      {"c96", validBody().op(D3DSIO_MOV, {dst(r(0)), src(c(96))}).done()},
      {"oT8", validBody().op(D3DSIO_MOV, {dst(oT(8)), src(v(0))}).done()},
      {"oD2", validBody().op(D3DSIO_MOV, {dst(oD(2)), src(v(0))}).done()},
      {"rasterizer output 3", validBody().op(D3DSIO_MOV, {dst({D3DSPR_RASTOUT, 3}), src(v(0))}).done()},
      {"register type 7", validBody().op(D3DSIO_MOV, {dst(r(0)), src({7, 0})}).done()},
      {"writes an input", validBody().op(D3DSIO_MOV, {dst(v(0)), src(v(1))}).done()},
      {"writes a constant", validBody().op(D3DSIO_MOV, {dst(c(0)), src(v(1))}).done()},
      {"reads an output", validBody().op(D3DSIO_MOV, {dst(r(0)), src(oD(0))}).done()},
      {"reads a0", validBody().op(D3DSIO_MOV, {dst(r(0)), src(a0)}).done()},
      {"a0 written by add", validBody().op(D3DSIO_ADD, {dst(a0, "x"), src(v(0)), src(v(1))}).done()},
      {"a0.y", validBody().op(D3DSIO_MOV, {dst(a0, "y"), src(v(0))}).done()},
      {"relative temp", validBody().op(D3DSIO_MOV, {dst(r(0)), src(r(1), "xyzw", false, true)}).done()},
      {"relative destination", validBody().op(D3DSIO_MOV, {dst(r(0)) | D3DVS_ADDRMODE_RELATIVE, src(v(0))}).done()},
      {"empty write mask", validBody().op(D3DSIO_MOV, {dst(r(0), ""), src(v(0))}).done()},
      {"saturate modifier", validBody().op(D3DSIO_MOV, {dst(r(0)) | (1u << D3DSP_DSTMOD_SHIFT), src(v(0))}).done()},
      {"source modifier 2", validBody().op(D3DSIO_MOV, {dst(r(0)), src(v(0)) | (2u << D3DSP_SRCMOD_SHIFT)}).done()},
      {"parameter without bit 31", validBody().op(D3DSIO_MOV, {dst(r(0)) & 0x7FFFFFFF, src(v(0))}).done()},
      {"m4x4 rows past c95", validBody().op(D3DSIO_M4x4, {dst(r(0)), src(v(0)), src(c(93))}).done()},
      {"m3x3 rows past v15", validBody().op(D3DSIO_M3x3, {dst(r(0), "xyz"), src(r(0)), src(v(14))}).done()},
      {"def into a temp", validBody().op(D3DSIO_DEF, {dst(r(0)), 0, 0, 0, 0}).done()},
  };
  for (const Case& c : cases) EXPECT_EQ(decode(c.tokens), D3DERR_INVALIDCALL) << c.what;
}

TEST(VertexShaderTokens, CommentsNopsAndDefsAreAcceptedAndDefsBecomeConstants) {
  std::vector<DWORD> tokens = {D3DVS_VERSION(1, 1), D3DSHADER_COMMENT(2), 0x12345678, 0xFFFFFFFF,
                               D3DSIO_DEF, dst(c(7)), floatBits(1.5f), floatBits(-2.0f), floatBits(0.0f), floatBits(4.0f),
                               D3DSIO_NOP, D3DSIO_M4x4, dst(oPos), src(v(0)), src(c(0)), D3DVS_END()};
  d3d8gl::VertexShaderCode code;
  ASSERT_EQ(d3d8gl::decodeVertexShader(tokens.data(), tokens.size(), code), D3D_OK);
  ASSERT_EQ(code.instructions.size(), 1u);
  EXPECT_EQ(code.slots, 5);   // nop and the four rows of m4x4
  ASSERT_EQ(code.defines.size(), 1u);
  EXPECT_EQ(code.defines[0].index, 7);
  EXPECT_EQ(code.defines[0].value, (Vec4{1.5f, -2.0f, 0.0f, 4.0f}));
}

TEST(VertexShaderTokens, DeclarationsLayOutRegistersSkipsAndConstants) {
  d3d8gl::VertexDeclaration d;
  ASSERT_EQ(decodeDeclaration({D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_SKIP(2),
                               D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_REG(7, D3DVSDT_SHORT4), D3DVSD_NOP(),
                               D3DVSD_CONST(94, 2), floatBits(1), floatBits(2), floatBits(3), floatBits(4),
                               floatBits(5), floatBits(6), floatBits(7), floatBits(8), D3DVSD_END()},
                              &d),
            D3D_OK);
  ASSERT_EQ(d.elements.size(), 3u);
  EXPECT_EQ(d.elements[0].offset, 0u);
  EXPECT_EQ(d.elements[1].reg, 5);
  EXPECT_EQ(d.elements[1].offset, 20u);   // 12 bytes of position, 8 skipped
  EXPECT_EQ(d.elements[2].offset, 24u);
  EXPECT_EQ(d.stride, 32u);
  ASSERT_EQ(d.constants.size(), 2u);
  EXPECT_EQ(d.constants[1].index, 95);
  EXPECT_EQ(d.constants[1].value, (Vec4{5, 6, 7, 8}));

  struct Case {
    const char* what;
    std::vector<DWORD> tokens;
  };
  const Case bad[] = {
      {"no end", {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3)}},
      {"register before a stream", {D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()}},
      {"second stream", {D3DVSD_STREAM(1), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()}},
      {"stream declared twice", {D3DVSD_STREAM(0), D3DVSD_STREAM(0), D3DVSD_END()}},
      {"v16", {D3DVSD_STREAM(0), D3DVSD_REG(16, D3DVSDT_FLOAT3), D3DVSD_END()}},
      {"type 8", {D3DVSD_STREAM(0), D3DVSD_REG(0, 8), D3DVSD_END()}},
      {"register twice", {D3DVSD_STREAM(0), D3DVSD_REG(3, D3DVSDT_FLOAT3), D3DVSD_REG(3, D3DVSDT_FLOAT1), D3DVSD_END()}},
      {"constants past c95", {D3DVSD_CONST(95, 2), 0, 0, 0, 0, 0, 0, 0, 0, D3DVSD_END()}},
      {"constants cut short", {D3DVSD_CONST(0, 2), 0, 0, 0, 0}},
      {"tessellator", {D3DVSD_STREAM(0), (D3DVSD_TOKEN_TESSELLATOR << D3DVSD_TOKENTYPESHIFT), D3DVSD_END()}},
      {"extension", {(D3DVSD_TOKEN_EXT << D3DVSD_TOKENTYPESHIFT) | 1, 0, D3DVSD_END()}},
      {"reserved type 6", {6u << D3DVSD_TOKENTYPESHIFT, D3DVSD_END()}},
      {"register with stray bits", {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3) | 0x100, D3DVSD_END()}},
  };
  for (const Case& c : bad) EXPECT_EQ(decodeDeclaration(c.tokens), D3DERR_INVALIDCALL) << c.what;
}

// ---- the device --------------------------------------------------------------------------------------
class VertexShader : public DeviceTest {
 protected:
  void TearDown() override {
    if (buffer) buffer->Release();
    DeviceTest::TearDown();
  }

  DWORD create(const std::vector<DWORD>& declaration, const std::vector<DWORD>& code) {
    DWORD handle = 0;
    EXPECT_EQ(device->CreateVertexShader(declaration.data(), code.data(), &handle, 0), D3D_OK);
    return handle;
  }

  void fill(const void* bytes, UINT size) {
    if (buffer) buffer->Release();
    buffer = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(size, 0, 0, D3DPOOL_MANAGED, &buffer), D3D_OK);
    BYTE* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, size, &data, 0), D3D_OK);
    std::memcpy(data, bytes, size);
    buffer->Unlock();
  }

  std::vector<Vec4> constants() {
    std::vector<Vec4> c(96);
    EXPECT_EQ(d3d8TestGetVertexShaderConstant(device, 0, c.data(), 96), D3D_OK);
    return c;
  }

  // Runs the code on `count` vertices both through the device's GLSL translation and through the
  // CPU interpreter with the device's constants; gl and cpu get one VsOutputs per vertex.
  void runBoth(const std::vector<DWORD>& declaration, const std::vector<DWORD>& code, const void* vertices,
               UINT stride, UINT count, std::vector<VsOutputs>& gl, std::vector<VsOutputs>& cpu) {
    DWORD handle = create(declaration, code);
    ASSERT_NE(handle, 0u);
    fill(vertices, stride * count);
    ASSERT_EQ(device->SetVertexShader(handle), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, buffer, stride), D3D_OK);
    std::vector<float> raw;
    ASSERT_TRUE(d3d8TestCaptureVertexShader(device, 0, count, raw));
    ASSERT_EQ(raw.size(), size_t(count) * 48);
    gl.resize(count);
    std::memcpy(gl.data(), raw.data(), raw.size() * sizeof(float));

    d3d8gl::VertexShaderCode decoded;
    d3d8gl::VertexDeclaration layout;
    ASSERT_EQ(d3d8gl::decodeVertexShader(code.data(), code.size(), decoded), D3D_OK);
    ASSERT_EQ(d3d8gl::decodeVertexDeclaration(declaration.data(), declaration.size(), layout), D3D_OK);
    std::vector<Vec4> c = constants();
    cpu.resize(count);
    for (UINT i = 0; i < count; ++i) {
      d3d8gl::VsInputs inputs;
      d3d8gl::fetchVertexInputs(layout, static_cast<const uint8_t*>(vertices) + size_t(i) * stride, inputs);
      d3d8gl::interpretVertexShader(decoded, c.data(), inputs, cpu[i]);
    }
  }

  static void expectAgree(const std::vector<VsOutputs>& gl, const std::vector<VsOutputs>& cpu,
                          const std::string& what) {
    for (size_t vertex = 0; vertex < gl.size(); ++vertex)
      for (int o = 0; o < d3d8gl::kVsOutputVectors; ++o)
        for (int k = 0; k < 4; ++k) {
          float a = gl[vertex][size_t(o)][size_t(k)], b = cpu[vertex][size_t(o)][size_t(k)];
          if (!close(a, b)) {
            ADD_FAILURE() << what << ": vertex " << vertex << " " << kOutputNames[o] << "." << "xyzw"[k]
                          << " GLSL " << a << " vs interpreter " << b;
            return;
          }
        }
  }

  IDirect3DVertexBuffer8* buffer = nullptr;
};

TEST_F(VertexShader, DeviceOffersVs11WithNinetySixConstants) {
  D3DCAPS8 caps{};
  ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
  EXPECT_EQ(caps.VertexShaderVersion, DWORD(D3DVS_VERSION(1, 1)));
  EXPECT_EQ(caps.MaxVertexShaderConst, 96u);
}

// Each case: one instruction on fixed inputs and constants, the value Direct3D defines for it,
// checked on the interpreter and on the GLSL translation.
TEST_F(VertexShader, InstructionsGiveTheirDefinedValuesOnBothPaths) {
  const FourVectors vertex = {{{0.0f, 1.0f, -1.25f, 4.0f}, {2.0f, 3.0f, 0.5f, -8.0f}, {1.5f, -0.5f, 2.49f, 0.0f}, {1.0f, 2.0f, 3.0f, 200.0f}}};
  std::vector<Vec4> values(96);
  for (int i = 0; i < 96; ++i) values[size_t(i)] = {float(i), float(i) + 0.25f, -float(i), 1.0f};
  ASSERT_EQ(device->SetVertexShaderConstant(0, values.data(), 96), D3D_OK);
  const float expLow = std::bit_cast<float>(std::bit_cast<uint32_t>(std::exp2(-1.25f)) & 0xFFFFFF00u);
  struct Case {
    const char* what;
    std::vector<DWORD> instructions;   // write oT0
    Vec4 expected;
  };
  const Case cases[] = {
      {"rcp of 0 is +inf", {D3DSIO_RCP, dst(oT(0)), src(v(0), "x")}, {kInf, kInf, kInf, kInf}},
      {"rcp of 1 is exactly 1", {D3DSIO_RCP, dst(oT(0)), src(v(0), "y")}, {1, 1, 1, 1}},
      {"rcp reads w without a swizzle", {D3DSIO_RCP, dst(oT(0)), src(v(0))}, {0.25f, 0.25f, 0.25f, 0.25f}},
      {"rsq of 0 is +inf", {D3DSIO_RSQ, dst(oT(0)), src(v(0), "x")}, {kInf, kInf, kInf, kInf}},
      {"rsq takes the magnitude", {D3DSIO_RSQ, dst(oT(0)), neg(v(0), "w")}, {0.5f, 0.5f, 0.5f, 0.5f}},
      {"log of 0", {D3DSIO_LOG, dst(oT(0)), src(v(0), "x")}, {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX}},
      {"log of |-8|", {D3DSIO_LOG, dst(oT(0)), src(v(1), "w")}, {3, 3, 3, 3}},
      {"exp", {D3DSIO_EXP, dst(oT(0)), src(v(0), "w")}, {16, 16, 16, 16}},
      {"expp parts", {D3DSIO_EXPP, dst(oT(0)), src(v(0), "z")}, {0.25f, 0.75f, expLow, 1}},
      {"logp parts of 0.5", {D3DSIO_LOGP, dst(oT(0)), src(v(1), "z")}, {-1, 1, -1, 1}},
      {"logp of 0", {D3DSIO_LOGP, dst(oT(0)), src(v(0), "x")}, {-FLT_MAX, 1, -FLT_MAX, 1}},
      {"lit clamps the power", {D3DSIO_LIT, dst(oT(0)), src(v(3))}, {1, 1, std::pow(2.0f, 127.9961f), 1}},
      {"lit with no diffuse", {D3DSIO_LIT, dst(oT(0)), neg(v(3))}, {1, 0, 0, 1}},
      {"lit with no specular", {D3DSIO_LIT, dst(oT(0)), src(v(2))}, {1, 1.5f, 0, 1}},
      {"dst", {D3DSIO_DST, dst(oT(0)), src(v(1)), src(v(3))}, {1, 6, 0.5f, 200}},
      {"frc of negatives", {D3DSIO_FRC, dst(oT(0), "xy"), src(v(0), "zx")}, {0.75f, 0, 0, 1}},
      {"slt and sge at equality", {D3DSIO_SLT, dst(oT(0)), src(v(0), "xyzw"), src(v(0), "xxxx")}, {0, 0, 1, 0}},
      {"sge", {D3DSIO_SGE, dst(oT(0)), src(v(0), "xyzw"), src(v(0), "xxxx")}, {1, 1, 0, 1}},
      {"min and negation", {D3DSIO_MIN, dst(oT(0)), neg(v(0)), src(v(1))}, {-0.0f, -1, 0.5f, -8}},
      {"mask keeps the rest", {D3DSIO_MOV, dst(oT(0), "yw"), src(v(1), "wzyx")}, {0, 0.5f, 0, 2}},
      {"m3x2 writes x and y", {D3DSIO_M3x2, dst(oT(0)), src(v(3)), src(c(2))}, {2 + 4.5f - 6, 3 + 6.5f - 9, 0, 1}},
      {"a0 rounds 1.5 up", {D3DSIO_MOV, dst(a0, "x"), src(v(2), "x"), D3DSIO_MOV, dst(oT(0)), rel(10)}, {12, 12.25f, -12, 1}},
      {"a0 rounds -0.5 to 0", {D3DSIO_MOV, dst(a0, "x"), src(v(2), "y"), D3DSIO_MOV, dst(oT(0)), rel(10)}, {10, 10.25f, -10, 1}},
      {"a0 rounds 2.49 down", {D3DSIO_MOV, dst(a0, "x"), src(v(2), "z"), D3DSIO_MOV, dst(oT(0)), rel(10)}, {12, 12.25f, -12, 1}},
      {"relative read below c0", {D3DSIO_MOV, dst(a0, "x"), neg(v(1), "x"), D3DSIO_MOV, dst(oT(0)), rel(1)}, {0, 0, 0, 0}},
      {"relative read past c95", {D3DSIO_MOV, dst(a0, "x"), src(v(3), "w"), D3DSIO_MOV, dst(oT(0)), rel(1)}, {0, 0, 0, 0}},
      {"relative matrix rows", {D3DSIO_MOV, dst(a0, "x"), src(v(3), "x"), D3DSIO_M3x2, dst(oT(0)), src(v(3)), rel(1)}, {2 + 4.5f - 6, 3 + 6.5f - 9, 0, 1}},
  };
  for (const Case& cs : cases) {
    Code code;
    code.op(D3DSIO_MOV, {dst(oPos), src(v(0))});
    code.tokens.insert(code.tokens.end(), cs.instructions.begin(), cs.instructions.end());
    std::vector<VsOutputs> gl, cpu;
    runBoth(kFourVectors, code.done(), &vertex, sizeof vertex, 1, gl, cpu);
    if (gl.empty()) return;
    for (int k = 0; k < 4; ++k) {
      EXPECT_TRUE(close(cpu[0][3][size_t(k)], cs.expected[size_t(k)]))
          << cs.what << ": interpreter ." << "xyzw"[k] << " = " << cpu[0][3][size_t(k)];
      EXPECT_TRUE(close(gl[0][3][size_t(k)], cs.expected[size_t(k)]))
          << cs.what << ": GLSL ." << "xyzw"[k] << " = " << gl[0][3][size_t(k)];
    }
  }
}

TEST_F(VertexShader, UnwrittenOutputsTakeTheirDefaults) {
  const FourVectors vertex = {{{1, 2, 3, 1}, {}, {}, {}}};
  std::vector<VsOutputs> gl, cpu;
  runBoth(kFourVectors, Code().op(D3DSIO_MOV, {dst(oPos, "xyz"), src(v(0))}).done(), &vertex, sizeof vertex, 1,
          gl, cpu);
  ASSERT_EQ(gl.size(), 1u);
  const VsOutputs expected = {Vec4{1, 2, 3, 1}, Vec4{1, 1, 1, 1}, Vec4{0, 0, 0, 0}, Vec4{0, 0, 0, 1},
                              Vec4{0, 0, 0, 1}, Vec4{0, 0, 0, 1}, Vec4{0, 0, 0, 1}, Vec4{0, 0, 0, 1},
                              Vec4{0, 0, 0, 1}, Vec4{0, 0, 0, 1}, Vec4{0, 0, 0, 1}, Vec4{1, 1, 0, 0}};
  EXPECT_EQ(cpu[0], expected);
  EXPECT_EQ(gl[0], expected);
}

// Random operands (swizzles, negation, masks, relative reads in and out of range) and random
// inputs and constants, one shader per instruction class: translation and interpreter agree.
TEST_F(VertexShader, TranslationAgreesWithTheInterpreterOnRandomPrograms) {
  struct Op {
    DWORD opcode;
    int sources;
    const char* name;
  };
  const Op ops[] = {{D3DSIO_MOV, 1, "mov"}, {D3DSIO_ADD, 2, "add"}, {D3DSIO_SUB, 2, "sub"}, {D3DSIO_MAD, 3, "mad"},
                    {D3DSIO_MUL, 2, "mul"}, {D3DSIO_RCP, 1, "rcp"}, {D3DSIO_RSQ, 1, "rsq"}, {D3DSIO_DP3, 2, "dp3"},
                    {D3DSIO_DP4, 2, "dp4"}, {D3DSIO_MIN, 2, "min"}, {D3DSIO_MAX, 2, "max"}, {D3DSIO_SLT, 2, "slt"},
                    {D3DSIO_SGE, 2, "sge"}, {D3DSIO_EXP, 1, "exp"}, {D3DSIO_LOG, 1, "log"}, {D3DSIO_LIT, 1, "lit"},
                    {D3DSIO_DST, 2, "dst"}, {D3DSIO_FRC, 1, "frc"}, {D3DSIO_M4x4, 2, "m4x4"}, {D3DSIO_M4x3, 2, "m4x3"},
                    {D3DSIO_M3x4, 2, "m3x4"}, {D3DSIO_M3x3, 2, "m3x3"}, {D3DSIO_M3x2, 2, "m3x2"},
                    {D3DSIO_EXPP, 1, "expp"}, {D3DSIO_LOGP, 1, "logp"}};
  std::mt19937 random(20261211);
  auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
  auto pick = [&](int n) { return int(random() % unsigned(n)); };
  std::vector<Vec4> values(96);
  for (Vec4& value : values)
    for (float& f : value) f = uniform(-4, 4);
  ASSERT_EQ(device->SetVertexShaderConstant(0, values.data(), 96), D3D_OK);
  constexpr int kVertices = 16;
  std::vector<FourVectors> vertices(kVertices);
  for (FourVectors& vertex : vertices) {
    for (Vec4& value : vertex.v)
      for (float& f : value) f = uniform(-4, 4);
    vertex.v[3][0] = uniform(-6, 100);   // a0 source: some relative reads land outside c0…c95
  }
  const char* const swizzles[] = {"xyzw", "wzyx", "x", "y", "z", "w", "yzxw", "zwxy", "xxyy"};
  const char* const masks[] = {"xyzw", "x", "yw", "xz", "zw", "xyz"};
  auto source = [&]() -> DWORD {
    const char* swizzle = swizzles[pick(9)];
    bool negate = pick(3) == 0;
    switch (pick(4)) {
      case 0: return src(v(DWORD(pick(3))), swizzle, negate);
      case 1: return src(r(DWORD(pick(2))), swizzle, negate);
      case 2: return src(c(DWORD(pick(96))), swizzle, negate);
      default: return src(c(DWORD(pick(8))), swizzle, negate, true);
    }
  };
  const Reg outputs[] = {oD(0), oD(1), oT(0), oT(1), oT(2), oT(3), oT(4), oT(5), oT(6), oT(7), oFog, oPts};
  for (const Op& op : ops) {
    Code code;
    code.op(D3DSIO_MOV, {dst(a0, "x"), src(v(3), "x")})
        .op(D3DSIO_MOV, {dst(r(0)), src(v(1), "yzwx")})
        .op(D3DSIO_MUL, {dst(r(1)), src(v(2)), src(c(5))})
        .op(D3DSIO_M4x4, {dst(oPos), src(v(0)), src(c(0))});
    for (const Reg& out : outputs) {
      DWORD rows = op.opcode >= D3DSIO_M4x4 && op.opcode <= D3DSIO_M3x2 ? 4 : 0;
      if (rows) {
        DWORD base = DWORD(pick(92));
        code.op(op.opcode, {dst(out), source(), pick(4) == 0 ? rel(DWORD(pick(4))) : src(c(base))});
        continue;
      }
      std::vector<DWORD> params = {dst(out, op.opcode == D3DSIO_FRC ? "xy" : masks[pick(6)])};
      for (int s = 0; s < op.sources; ++s) params.push_back(source());
      code.tokens.push_back(op.opcode);
      code.tokens.insert(code.tokens.end(), params.begin(), params.end());
    }
    std::vector<VsOutputs> gl, cpu;
    runBoth(kFourVectors, code.done(), vertices.data(), sizeof(FourVectors), kVertices, gl, cpu);
    expectAgree(gl, cpu, op.name);
  }
}

// Every input type read from one vertex, against values worked out by hand.
TEST_F(VertexShader, InputTypesAreReadAsDirect3DDefinesThem) {
  struct Vertex {
    float f1;
    float f2[2];
    float skipped;
    DWORD color;
    uint8_t ubyte4[4];
    int16_t short2[2];
    int16_t short4[4];
    float f3[3];
  };
  const Vertex vertex = {7.5f, {1, -2}, 99, 0x80FF4000, {1, 2, 254, 255}, {-3, 32767}, {5, -6, 7, -32768}, {1, 2, 3}};
  const std::vector<DWORD> declaration = {
      D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT1), D3DVSD_REG(1, D3DVSDT_FLOAT2), D3DVSD_SKIP(1),
      D3DVSD_REG(2, D3DVSDT_D3DCOLOR), D3DVSD_REG(3, D3DVSDT_UBYTE4), D3DVSD_REG(4, D3DVSDT_SHORT2),
      D3DVSD_REG(5, D3DVSDT_SHORT4), D3DVSD_REG(6, D3DVSDT_FLOAT3), D3DVSD_END()};
  Code code;
  code.op(D3DSIO_MOV, {dst(oPos), src(v(6))});
  for (DWORD i = 0; i < 8; ++i) code.op(D3DSIO_MOV, {dst(oT(i)), src(v(i))});   // v7 is not declared
  std::vector<VsOutputs> gl, cpu;
  runBoth(declaration, code.done(), &vertex, sizeof vertex, 1, gl, cpu);
  ASSERT_EQ(gl.size(), 1u);
  const Vec4 expected[8] = {{7.5f, 0, 0, 1},     {1, -2, 0, 1},           {1, 64 / 255.0f, 0, 128 / 255.0f},
                            {1, 2, 254, 255},     {-3, 32767, 0, 1},       {5, -6, 7, -32768},
                            {1, 2, 3, 1},         {0, 0, 0, 1}};
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) {
      EXPECT_TRUE(close(cpu[0][size_t(3 + i)][size_t(k)], expected[i][size_t(k)])) << "interpreter v" << i << " ." << k;
      EXPECT_TRUE(close(gl[0][size_t(3 + i)][size_t(k)], expected[i][size_t(k)])) << "GLSL v" << i << " ." << k;
    }
}

TEST_F(VertexShader, ConstantsAreStoredBoundedAndLoadedWhenTheShaderIsSelected) {
  const float four[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(device->SetVertexShaderConstant(94, four, 2), D3D_OK);
  float back[8] = {};
  ASSERT_EQ(d3d8TestGetVertexShaderConstant(device, 94, back, 2), D3D_OK);
  EXPECT_EQ(std::memcmp(back, four, sizeof four), 0);
  // A range past c95 is refused and writes nothing.
  const float other[8] = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(device->SetVertexShaderConstant(95, other, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetVertexShaderConstant(0xFFFFFFFF, other, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetVertexShaderConstant(0, nullptr, 1), D3DERR_INVALIDCALL);
  ASSERT_EQ(d3d8TestGetVertexShaderConstant(device, 94, back, 2), D3D_OK);
  EXPECT_EQ(std::memcmp(back, four, sizeof four), 0);

  // Declaration constants (c10) and def values (c11) load on SetVertexShader, every time it runs.
  std::vector<DWORD> declaration = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT4),
                                    D3DVSD_CONST(10, 1), floatBits(0.5f), floatBits(1), floatBits(2), floatBits(3),
                                    D3DVSD_END()};
  std::vector<DWORD> code = {D3DVS_VERSION(1, 1), D3DSIO_DEF, dst(c(11)), floatBits(-1), floatBits(-2),
                             floatBits(-3), floatBits(-4), D3DSIO_MOV, dst(oPos), src(v(0)),
                             D3DSIO_ADD, dst(oT(0)), src(c(10)), src(c(11)), D3DVS_END()};
  DWORD handle = create(declaration, code);
  const Vec4 position{0, 0, 0, 1};
  fill(&position, sizeof position);
  device->SetStreamSource(0, buffer, sizeof position);
  ASSERT_EQ(device->SetVertexShader(handle), D3D_OK);
  Vec4 loaded[2];
  ASSERT_EQ(d3d8TestGetVertexShaderConstant(device, 10, loaded, 2), D3D_OK);
  EXPECT_EQ(loaded[0], (Vec4{0.5f, 1, 2, 3}));
  EXPECT_EQ(loaded[1], (Vec4{-1, -2, -3, -4}));
  std::vector<float> out;
  ASSERT_TRUE(d3d8TestCaptureVertexShader(device, 0, 1, out));
  EXPECT_EQ((Vec4{out[12], out[13], out[14], out[15]}), (Vec4{-0.5f, -1, -1, -1}));
  // Set later, a constant wins until the shader is selected again.
  const Vec4 replaced{10, 10, 10, 10};
  device->SetVertexShaderConstant(10, &replaced, 1);
  ASSERT_TRUE(d3d8TestCaptureVertexShader(device, 0, 1, out));
  EXPECT_EQ(out[12], 9.0f);
  device->SetVertexShader(handle);
  ASSERT_TRUE(d3d8TestCaptureVertexShader(device, 0, 1, out));
  EXPECT_EQ(out[12], -0.5f);
}

TEST_F(VertexShader, HandlesAreOddAndDistinctFromFormatsAndDieWithDelete) {
  const std::vector<DWORD> code = validBody().done();
  DWORD first = create(kFourVectors, code), second = create(kFourVectors, code);
  EXPECT_EQ(first & 1u, 1u);
  EXPECT_EQ(second & 1u, 1u);
  EXPECT_NE(first, second);
  EXPECT_EQ(device->SetVertexShader(first), D3D_OK);
  EXPECT_EQ(device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
  EXPECT_EQ(device->SetVertexShader(second | 0x100), D3DERR_INVALIDCALL);   // never handed out
  EXPECT_EQ(device->DeleteVertexShader(first), D3D_OK);
  EXPECT_EQ(device->DeleteVertexShader(first), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->SetVertexShader(first), D3DERR_INVALIDCALL);
  DWORD third = create(kFourVectors, code);
  EXPECT_NE(third, first);   // numbers are not reused
  EXPECT_EQ(device->DeleteVertexShader(D3DFVF_XYZ), D3DERR_INVALIDCALL);

  // Refusals leave no handle behind.
  DWORD handle = 0xDEAD;
  std::vector<DWORD> bad = code;
  bad[2] = dst(v(0));
  EXPECT_EQ(device->CreateVertexShader(kFourVectors.data(), bad.data(), &handle, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(handle, 0u);
  EXPECT_EQ(device->CreateVertexShader(nullptr, code.data(), &handle, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateVertexShader(kFourVectors.data(), nullptr, &handle, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateVertexShader(kFourVectors.data(), code.data(), nullptr, 0), D3DERR_INVALIDCALL);
}

// ---- the program's own shaders, assembled ------------------------------------------------------------
std::vector<DWORD> assembleFixture(const char* name) {
  std::ifstream file(std::string(TARNWICK_SOURCE_DIR) + "/tests/fixtures/shaders/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  std::string source = text.str();
  EXPECT_FALSE(source.empty()) << name;
  ID3DXBuffer* code = nullptr;
  EXPECT_EQ(D3DXAssembleShader(source.data(), UINT(source.size()), 0, nullptr, &code, nullptr), D3D_OK) << name;
  std::vector<DWORD> tokens;
  if (code) {
    tokens.resize(code->GetBufferSize() / sizeof(DWORD));
    std::memcpy(tokens.data(), code->GetBufferPointer(), tokens.size() * sizeof(DWORD));
    code->Release();
  }
  return tokens;
}

float fraction(float x) { return x - std::floor(x); }
float dot4(const Vec4& a, const Vec4& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]; }

void expectVectorNear(const Vec4& actual, const Vec4& expected, const std::string& what) {
  for (int k = 0; k < 4; ++k)
    EXPECT_NEAR(actual[size_t(k)], expected[size_t(k)], 2e-3f * std::max(1.0f, std::fabs(expected[size_t(k)])))
        << what << " ." << "xyzw"[k];
}

// A projection-like matrix for c4…c7 (rows as the shaders read them).
void setMatrixRows(IDirect3DDevice8* device) {
  const Vec4 rows[4] = {{1.2f, 0.1f, -0.3f, 0.5f}, {0.0f, 1.4f, 0.2f, -0.25f}, {0.1f, 0.0f, 1.1f, 0.3f}, {0.0f, 0.0f, 0.9f, 2.0f}};
  device->SetVertexShaderConstant(4, rows, 4);
}

// The river shader as the program assembles it: waves and texture slide as the formula says, on
// the translation and on the interpreter alike.
TEST_F(VertexShader, RiverShaderLiftsTheWaterAndSlidesTheTexture) {
  std::vector<DWORD> code = assembleFixture("river.vsh");
  ASSERT_FALSE(code.empty());
  struct LitVertex {
    float x, y, z, nx, ny, nz;
    DWORD color;
    float u, v;
  };
  const std::vector<DWORD> declaration = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                          D3DVSD_REG(3, D3DVSDT_FLOAT3), D3DVSD_REG(5, D3DVSDT_D3DCOLOR),
                                          D3DVSD_REG(7, D3DVSDT_FLOAT2), D3DVSD_END()};
  const float pi = 3.14159265f, T = 12.34f;
  const Vec4 c0{0, 0.5f, 1, 2}, c1{T, 0, 0, 0}, c20{1.0f, -0.5f, 0.041f, -0.001388f},
      c21{pi, 1 / (2 * pi), 2 * pi, 10.05f}, c22{5.0f, 1.0f, 2.0f, 0.75f}, c23{0.25f, 0.25f, 7.0f, 0.75f};
  device->SetVertexShaderConstant(0, &c0, 1);
  device->SetVertexShaderConstant(1, &c1, 1);
  device->SetVertexShaderConstant(20, &c20, 1);
  device->SetVertexShaderConstant(21, &c21, 1);
  device->SetVertexShaderConstant(22, &c22, 1);
  device->SetVertexShaderConstant(23, &c23, 1);
  setMatrixRows(device);
  std::vector<LitVertex> vertices;
  for (int i = 0; i < 8; ++i)
    vertices.push_back({float(i) - 3.5f, 0.25f * float(i), 2.0f - 0.5f * float(i), 0, 1, 0,
                        0xFF000000u | DWORD(i * 0x102030), 0.37f * float(i), 0.5f * float(i & 1)});
  std::vector<VsOutputs> gl, cpu;
  runBoth(declaration, code, vertices.data(), sizeof(LitVertex), UINT(vertices.size()), gl, cpu);
  ASSERT_EQ(gl.size(), vertices.size());
  expectAgree(gl, cpu, "river");

  std::vector<Vec4> c = constants();
  auto wave = [&](float angle) {
    angle = fraction((angle + c21[0]) * c21[1]) * c21[2] - c21[0];
    float a2 = angle * angle;
    return c20[0] + a2 * c20[1] + a2 * a2 * c20[2] + a2 * a2 * a2 * c20[3];
  };
  for (size_t i = 0; i < vertices.size(); ++i) {
    const LitVertex& p = vertices[i];
    float y = p.y + wave((p.u - T + p.v) * c22[0]) * c23[0];
    y += wave((p.u + T + p.v) * c22[2]) * c23[1];
    Vec4 lifted{p.x, y, p.z, 1};
    Vec4 position{dot4(lifted, c[4]), dot4(lifted, c[5]), dot4(lifted, c[6]), dot4(lifted, c[7])};
    std::string what = "river vertex " + std::to_string(i);
    expectVectorNear(gl[i][0], position, what + " oPos");
    expectVectorNear(gl[i][1], {((p.color >> 16) & 0xFF) / 255.0f, ((p.color >> 8) & 0xFF) / 255.0f,
                                (p.color & 0xFF) / 255.0f, 1.0f}, what + " oD0");
    expectVectorNear(gl[i][3], {p.u - T, p.v, 0, 1}, what + " oT0");
  }
}

TEST_F(VertexShader, GrassShaderSwaysTheTopsAndTintsTheTufts) {
  std::vector<DWORD> code = assembleFixture("grass.vsh");
  ASSERT_FALSE(code.empty());
  const std::vector<DWORD> declaration = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                          D3DVSD_REG(7, D3DVSDT_FLOAT2), D3DVSD_END()};
  const float pi = 3.14159265f, T = 7.5f;
  const struct {
    DWORD reg;
    Vec4 value;
  } table[] = {{0, {0, 0.5f, 1, 2}}, {1, {T, 0, 0, 0}}, {8, {-0.16161616f, 0.0083333f, -0.00019841f, 0.0000027557f}},
               {10, {1.07f, 0, 0, 0}}, {11, {4, 4, 0, 2.5f}}, {12, {-2, -1.33f, -2.33f, -1}}, {13, {1, 2, 3, 3}},
               {14, {-0.006f, -0.012f, 0.024f, 0.048f}}, {15, {-0.003f, -0.006f, -0.012f, -0.048f}},
               {16, {0.105f, 0.21f, 0.245f, 0.35f}}, {17, {4, pi / 2, pi, 2 * pi}}, {18, {0.35f, 0.1f, 0.1f, 0.03f}},
               {19, {0.6f, 0.7f, 0.2f, 0}}};
  for (const auto& entry : table) device->SetVertexShaderConstant(entry.reg, &entry.value, 1);
  setMatrixRows(device);
  struct GrassVertex {
    float x, y, z, u, v;
  };
  std::vector<GrassVertex> vertices;
  for (int i = 0; i < 8; ++i)
    vertices.push_back({13.0f * float(i) - 40.0f, 2.0f + float(i), 5.0f - 3.0f * float(i), 0.25f * float(i & 3),
                        i < 4 ? 1.0f : 0.01f});
  std::vector<VsOutputs> gl, cpu;
  runBoth(declaration, code, vertices.data(), sizeof(GrassVertex), UINT(vertices.size()), gl, cpu);
  ASSERT_EQ(gl.size(), vertices.size());
  expectAgree(gl, cpu, "grass");

  std::vector<Vec4> c = constants();
  for (size_t i = 0; i < vertices.size(); ++i) {
    const GrassVertex& p = vertices[i];
    Vec4 S;
    for (int k = 0; k < 4; ++k) {
      float phase = fraction(c[14][size_t(k)] * p.x + c[15][size_t(k)] * p.y + T * c[16][size_t(k)]);
      float a = (phase * c[10][0] - c[0][1]) * c[17][3];
      float a2 = a * a;
      S[size_t(k)] = a + a * a2 * (c[8][0] + a2 * (c[8][1] + a2 * (c[8][2] + a2 * c[8][3])));
    }
    float weight = (c[0][2] - p.v) * (c[0][2] - p.v);
    Vec4 moved{p.x + dot4(S, c[11]) * weight, p.y + dot4(S, c[12]) * weight, p.z + dot4(S, c[13]) * weight, 1};
    Vec4 position{dot4(moved, c[4]), dot4(moved, c[5]), dot4(moved, c[6]), dot4(moved, c[7])};
    float w = dot4(S, c[18]);
    std::string what = "grass vertex " + std::to_string(i);
    expectVectorNear(gl[i][0], position, what + " oPos");
    expectVectorNear(gl[i][1], {0.7f - 0.6f * w, 0.7f - 0.2f * w, 0.7f - 0.6f * w, 0.7f - 0.2f * w}, what + " oD0");
    expectVectorNear(gl[i][3], {p.u, p.v, 0, 1}, what + " oT0");
    if (p.v == 1.0f) {   // the roots stay where they stand
      Vec4 root{p.x, p.y, p.z, 1};
      expectVectorNear(gl[i][0], {dot4(root, c[4]), dot4(root, c[5]), dot4(root, c[6]), dot4(root, c[7])},
                       what + " root");
    }
  }
}

// ---- pictures -----------------------------------------------------------------------------------------
struct TexturedVertex {   // format 0x142 | TEX1, and the shader declaration below
  float x, y, z;
  DWORD diffuse;
  float u, v;
};
const std::vector<DWORD> kTexturedDeclaration = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                                 D3DVSD_REG(5, D3DVSDT_D3DCOLOR), D3DVSD_REG(7, D3DVSDT_FLOAT2),
                                                 D3DVSD_END()};
// oPos = v0 by the matrix in c0…c3, colour and texture coordinates passed through.
std::vector<DWORD> passThroughShader() {
  return Code()
      .op(D3DSIO_M4x4, {dst(oPos), src(v(0)), src(c(0))})
      .op(D3DSIO_MOV, {dst(oD(0)), src(v(5))})
      .op(D3DSIO_MOV, {dst(oT(0)), src(v(7))})
      .done();
}

D3DMATRIX perspective() {
  // Row vectors: x and y scaled, z mapped from 1…10 to 0…1, w = view z; placed 3 units ahead.
  D3DMATRIX m{};
  m._11 = 1.5f;
  m._22 = 1.5f;
  m._33 = 10.0f / 9.0f;
  m._34 = 1.0f;
  m._43 = -10.0f / 9.0f;
  m._41 = 0.2f;
  m._42 = -0.1f;
  return m;
}

void transposedInto(const D3DMATRIX& m, Vec4 rows[4]) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) rows[i][size_t(j)] = m.m[j][i];
}

// The same textured, coloured triangle under a perspective transform, drawn fixed-function and
// through the shader, covers the same pixels with the same colours.
TEST_F(VertexShader, ShaderTriangleMatchesTheFixedFunctionTriangle) {
  const TexturedVertex triangle[3] = {{-1.2f, -1.0f, 3.0f, 0xFFFF0000, 0, 1},
                                      {0.0f, 1.4f, 5.0f, 0xFF00FF00, 0.5f, 0},
                                      {1.5f, -0.8f, 2.0f, 0xFF0000FF, 1, 1}};
  fill(triangle, sizeof triangle);
  IDirect3DTexture8* texture =
      makeTexture(2, 2, {0xFFFFFFFF, 0xFF808080, 0xFF404040, 0xFFFFFFFF});
  device->SetTexture(0, texture);
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  device->SetRenderState(D3DRS_LIGHTING, FALSE);
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  D3DMATRIX projection = perspective();
  device->SetTransform(D3DTS_PROJECTION, &projection);

  clear(0xFF000000);
  device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  device->SetStreamSource(0, buffer, sizeof(TexturedVertex));
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  std::vector<uint32_t> fixed = readPixels();

  Vec4 rows[4];
  transposedInto(projection, rows);
  device->SetVertexShaderConstant(0, rows, 4);
  DWORD handle = create(kTexturedDeclaration, passThroughShader());
  clear(0xFF000000);
  device->SetVertexShader(handle);
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  std::vector<uint32_t> shaded = readPixels();

  int covered = 0, differing = 0;
  for (size_t i = 0; i < fixed.size(); ++i) {
    if (fixed[i] & 0xFFFFFF) ++covered;
    Rgb a = rgbOf(fixed[i]), b = rgbOf(shaded[i]);
    if (std::abs(a.r - b.r) > 2 || std::abs(a.g - b.g) > 2 || std::abs(a.b - b.b) > 2) ++differing;
  }
  EXPECT_GT(covered, 300);
  EXPECT_EQ(differing, 0);

  // Indexed, the same triangle gives the same picture.
  IDirect3DIndexBuffer8* indices = nullptr;
  ASSERT_EQ(device->CreateIndexBuffer(6 * sizeof(WORD), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &indices), D3D_OK);
  BYTE* data = nullptr;
  indices->Lock(0, 0, &data, 0);
  const WORD order[6] = {0, 0, 0, 0, 1, 2};
  std::memcpy(data, order, sizeof order);
  indices->Unlock();
  device->SetIndices(indices, 0);
  clear(0xFF000000);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 3, 3, 1), D3D_OK);
  EXPECT_EQ(readPixels(), shaded);
  indices->Release();

  // Back to the format: the fixed-function program returns, not the shader's.
  clear(0xFF000000);
  device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  EXPECT_EQ(readPixels(), fixed);
  texture->Release();
}

// oPos depth 0…1 lands where fixed-function depth of the same value does: a shader quad at depth
// 0.3 hides a fixed-function quad at 0.5 and is hidden by one at 0.2.
TEST_F(VertexShader, ShaderDepthUsesDirect3DsRange) {
  useVertexColour();
  const TexturedVertex quad[4] = {{-0.5f, -0.5f, 0.3f, 0xFFFF0000, 0, 0}, {-0.5f, 0.5f, 0.3f, 0xFFFF0000, 0, 0},
                                  {0.5f, -0.5f, 0.3f, 0xFFFF0000, 0, 0}, {0.5f, 0.5f, 0.3f, 0xFFFF0000, 0, 0}};
  fill(quad, sizeof quad);
  Vec4 identity[4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  device->SetVertexShaderConstant(0, identity, 4);
  DWORD handle = create(kTexturedDeclaration, passThroughShader());
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  for (float z : {0.5f, 0.2f}) {
    clear(0xFF000000);
    device->SetVertexShader(handle);
    device->SetStreamSource(0, buffer, sizeof(TexturedVertex));
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    drawQuad(16, 16, 48, 48, 0xFF0000FF, z);
    Rgb centre = pixel(32, 32);
    if (z > 0.3f)
      EXPECT_RGB_NEAR(centre, 255, 0, 0);
    else
      EXPECT_RGB_NEAR(centre, 0, 0, 255);
  }
}

// The pixel half runs with a shader as without: the alpha test drops pixels whose shader alpha is
// below the reference, and colours leave the shader clamped to 0…1.
TEST_F(VertexShader, PixelStatesApplyToShaderOutputs) {
  useVertexColour();
  // Red runs 2 → 0 and alpha 0 → 1 from the left edge to the right.
  const FourVectors corners[4] = {{{{-1, -1, 0.5f, 1}, {2, -1, 0.2f, 0}, {}, {}}},
                                  {{{-1, 1, 0.5f, 1}, {2, -1, 0.2f, 0}, {}, {}}},
                                  {{{1, -1, 0.5f, 1}, {0, -1, 0.2f, 1}, {}, {}}},
                                  {{{1, 1, 0.5f, 1}, {0, -1, 0.2f, 1}, {}, {}}}};
  fill(corners, sizeof corners);
  DWORD handle = create(kFourVectors, Code()
                                          .op(D3DSIO_MOV, {dst(oPos), src(v(0))})
                                          .op(D3DSIO_MOV, {dst(oD(0), "xyz"), src(v(1))})
                                          .op(D3DSIO_MOV, {dst(oD(0), "w"), src(v(1), "w")})
                                          .done());
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  device->SetRenderState(D3DRS_ALPHAREF, 128);
  clear(0xFF000000);
  device->SetVertexShader(handle);
  device->SetStreamSource(0, buffer, sizeof(FourVectors));
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  // Only the right half passes. At x = 56 (7/8 across) the clamped red is 1/8 (32); interpolating
  // the unclamped 2 would give 1/4.
  EXPECT_RGB_NEAR(pixel(8, 32), 0, 0, 0);
  EXPECT_RGB_NEAR(pixel(56, 32), 32, 0, 51);
}

// Flat shading takes the first vertex's colour across the triangle, as fixed function does.
TEST_F(VertexShader, FlatShadingUsesTheFirstVertexColour) {
  useVertexColour();
  const FourVectors corners[3] = {{{{-1, -1, 0.5f, 1}, {1, 0, 0, 1}, {}, {}}},
                                  {{{-1, 3, 0.5f, 1}, {0, 1, 0, 1}, {}, {}}},
                                  {{{3, -1, 0.5f, 1}, {0, 0, 1, 1}, {}, {}}}};
  fill(corners, sizeof corners);
  DWORD handle = create(kFourVectors,
                        Code().op(D3DSIO_MOV, {dst(oPos), src(v(0))}).op(D3DSIO_MOV, {dst(oD(0)), src(v(1))}).done());
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  clear(0xFF000000);
  device->SetVertexShader(handle);
  device->SetStreamSource(0, buffer, sizeof(FourVectors));
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  EXPECT_RGB_NEAR(pixel(10, 10), 255, 0, 0);
  EXPECT_RGB_NEAR(pixel(50, 50), 255, 0, 0);
  device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  Rgb smooth = pixel(10, 10);
  EXPECT_LT(smooth.r, 250);
  EXPECT_GT(smooth.g, 5);
}

TEST_F(VertexShader, DrawsNeedAStrideThatCoversTheDeclaration) {
  const FourVectors vertices[3] = {};
  fill(vertices, sizeof vertices);
  DWORD handle = create(kFourVectors, validBody().done());
  device->SetVertexShader(handle);
  device->SetStreamSource(0, buffer, 32);   // the declaration spans 64 bytes
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL);
  device->SetStreamSource(0, buffer, 64);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 1, 1), D3DERR_INVALIDCALL);   // past the end
}

TEST_F(VertexShader, ResetReturnsToFixedFunctionAndKeepsHandles) {
  DWORD handle = create(kFourVectors, validBody().done());
  const Vec4 value{1, 2, 3, 4};
  device->SetVertexShaderConstant(3, &value, 1);
  device->SetVertexShader(handle);
  ASSERT_EQ(device->Reset(&parameters), D3D_OK);
  Vec4 back{};
  d3d8TestGetVertexShaderConstant(device, 3, &back, 1);
  EXPECT_EQ(back, (Vec4{0, 0, 0, 0}));
  std::vector<float> out;
  EXPECT_FALSE(d3d8TestCaptureVertexShader(device, 0, 1, out));   // no shader selected
  EXPECT_EQ(device->SetVertexShader(handle), D3D_OK);
}

}  // namespace
