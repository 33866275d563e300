// shader_interpreter.cpp — runs decoded vs.1.1 code on the CPU, one vertex at a time.
#include "platform/d3d8/shader_interpreter.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace d3d8gl {
namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr int kFarAddress = 1024;   // a0 for values that are no usable index: every read is out of range

float maskLowBits(float value) { return std::bit_cast<float>(std::bit_cast<uint32_t>(value) & 0xFFFFFF00u); }

Vec4 replicate(float f) { return {f, f, f, f}; }

struct Machine {
  const Vec4* constants;
  const VsInputs& inputs;
  std::array<Vec4, kVsTemps> temps{};
  Vec4 position{0, 0, 0, 1};
  std::array<Vec4, 2> colors{Vec4{1, 1, 1, 1}, Vec4{0, 0, 0, 0}};
  std::array<Vec4, kVsTexCoords> texCoords{};
  Vec4 fog{1, 1, 1, 1}, pointSize{1, 1, 1, 1};
  int a0 = 0;

  Machine(const Vec4* c, const VsInputs& in) : constants(c), inputs(in) { texCoords.fill({0, 0, 0, 1}); }

  Vec4 fetch(const VsSource& src, int rowOffset) const {
    int index = src.index + rowOffset;
    switch (src.type) {
      case D3DSPR_TEMP: return temps[size_t(index)];
      case D3DSPR_INPUT: return inputs[size_t(index)];
      default:
        if (src.relative) index += a0;
        if (index < 0 || index >= kVsConstants) return {0, 0, 0, 0};
        return constants[index];
    }
  }

  Vec4 read(const VsSource& src, int rowOffset = 0) const {
    Vec4 raw = fetch(src, rowOffset), value;
    for (int i = 0; i < 4; ++i) value[i] = src.negate ? -raw[src.swizzle[i]] : raw[src.swizzle[i]];
    return value;
  }

  Vec4* target(const VsDestination& dst) {
    switch (dst.type) {
      case D3DSPR_TEMP: return &temps[size_t(dst.index)];
      case D3DSPR_RASTOUT:
        return dst.index == D3DSRO_POSITION ? &position : dst.index == D3DSRO_FOG ? &fog : &pointSize;
      case D3DSPR_ATTROUT: return &colors[size_t(dst.index)];
      case D3DSPR_TEXCRDOUT: return &texCoords[size_t(dst.index)];
      default: return nullptr;
    }
  }

  void write(const VsDestination& dst, const Vec4& value) {
    if (dst.type == D3DSPR_ADDR) {
      float f = std::floor(value[0] + 0.5f);
      a0 = f >= -float(kFarAddress) && f <= float(kFarAddress) ? int(f) : kFarAddress;
      return;
    }
    Vec4* reg = target(dst);
    for (int i = 0; i < 4; ++i)
      if (dst.mask & (1u << i)) (*reg)[i] = value[i];
  }
};

float reciprocal(float f) {
  if (f == 0.0f) return kInfinity;
  return f == 1.0f ? 1.0f : 1.0f / f;
}

float reciprocalSqrt(float f) {
  f = std::fabs(f);
  if (f == 0.0f) return kInfinity;
  return f == 1.0f ? 1.0f : 1.0f / std::sqrt(f);
}

Vec4 partialExp(float w) {
  float whole = std::floor(w);
  return {std::exp2(whole), w - whole, maskLowBits(std::exp2(w)), 1.0f};
}

Vec4 partialLog(float w) {
  float v = std::fabs(w);
  if (v == 0.0f) return {-FLT_MAX, 1.0f, -FLT_MAX, 1.0f};
  uint32_t bits = std::bit_cast<uint32_t>(v);
  float exponent = float(int((bits >> 23) & 0xFF) - 127);
  float mantissa = std::bit_cast<float>((bits & 0x7FFFFFu) | 0x3F800000u);
  return {exponent, mantissa, maskLowBits(std::log2(v)), 1.0f};
}

Vec4 lit(const Vec4& s) {
  const float maxPower = 127.9961f;
  float power = std::fmin(std::fmax(s[3], -maxPower), maxPower);
  Vec4 r{1.0f, 0.0f, 0.0f, 1.0f};
  if (s[0] > 0.0f) {
    r[1] = s[0];
    if (s[1] > 0.0f) r[2] = std::pow(s[1], power);
  }
  return r;
}

float dot(const Vec4& a, const Vec4& b, int n) {
  float sum = a[0] * b[0];
  for (int i = 1; i < n; ++i) sum += a[i] * b[i];
  return sum;
}

void matrix(Machine& m, const VsInstruction& in, int rows, int columns) {
  Vec4 v = m.read(in.src[0]), r{0, 0, 0, 0};
  for (int row = 0; row < rows; ++row) r[row] = dot(v, m.read(in.src[1], row), columns);
  m.write(in.dst, r);
}

void step(Machine& m, const VsInstruction& in) {
  Vec4 a = m.read(in.src[0]), b{}, c{}, r{};
  if (in.sourceCount > 1) b = m.read(in.src[1]);
  if (in.sourceCount > 2) c = m.read(in.src[2]);
  switch (in.opcode) {
    case D3DSIO_MOV: r = a; break;
    case D3DSIO_ADD: for (int i = 0; i < 4; ++i) r[i] = a[i] + b[i]; break;
    case D3DSIO_SUB: for (int i = 0; i < 4; ++i) r[i] = a[i] - b[i]; break;
    case D3DSIO_MUL: for (int i = 0; i < 4; ++i) r[i] = a[i] * b[i]; break;
    case D3DSIO_MAD: for (int i = 0; i < 4; ++i) r[i] = a[i] * b[i] + c[i]; break;
    case D3DSIO_DP3: r = replicate(dot(a, b, 3)); break;
    case D3DSIO_DP4: r = replicate(dot(a, b, 4)); break;
    case D3DSIO_MIN: for (int i = 0; i < 4; ++i) r[i] = a[i] < b[i] ? a[i] : b[i]; break;
    case D3DSIO_MAX: for (int i = 0; i < 4; ++i) r[i] = a[i] > b[i] ? a[i] : b[i]; break;
    case D3DSIO_SLT: for (int i = 0; i < 4; ++i) r[i] = a[i] < b[i] ? 1.0f : 0.0f; break;
    case D3DSIO_SGE: for (int i = 0; i < 4; ++i) r[i] = a[i] >= b[i] ? 1.0f : 0.0f; break;
    case D3DSIO_RCP: r = replicate(reciprocal(a[3])); break;
    case D3DSIO_RSQ: r = replicate(reciprocalSqrt(a[3])); break;
    case D3DSIO_EXP: r = replicate(std::exp2(a[3])); break;
    case D3DSIO_LOG: {
      float v = std::fabs(a[3]);
      r = replicate(v != 0.0f ? std::log2(v) : -FLT_MAX);
      break;
    }
    case D3DSIO_EXPP: r = partialExp(a[3]); break;
    case D3DSIO_LOGP: r = partialLog(a[3]); break;
    case D3DSIO_LIT: r = lit(a); break;
    case D3DSIO_DST: r = {1.0f, a[1] * b[1], a[2], b[3]}; break;
    case D3DSIO_FRC: for (int i = 0; i < 4; ++i) r[i] = a[i] - std::floor(a[i]); break;
    case D3DSIO_M4x4: return matrix(m, in, 4, 4);
    case D3DSIO_M4x3: return matrix(m, in, 3, 4);
    case D3DSIO_M3x4: return matrix(m, in, 4, 3);
    case D3DSIO_M3x3: return matrix(m, in, 3, 3);
    case D3DSIO_M3x2: return matrix(m, in, 2, 3);
    default: return;
  }
  m.write(in.dst, r);
}

float readFloat(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  return f;
}

int16_t readShort(const uint8_t* p) {
  int16_t s;
  std::memcpy(&s, p, 2);
  return s;
}

}  // namespace

void fetchVertexInputs(const VertexDeclaration& declaration, const uint8_t* vertex, VsInputs& inputs) {
  inputs.fill({0, 0, 0, 1});
  for (const VsElement& e : declaration.elements) {
    Vec4& v = inputs[size_t(e.reg)];
    const uint8_t* p = vertex + e.offset;
    switch (e.type) {
      case D3DVSDT_FLOAT1:
      case D3DVSDT_FLOAT2:
      case D3DVSDT_FLOAT3:
      case D3DVSDT_FLOAT4:
        for (DWORD i = 0; i <= e.type; ++i) v[i] = readFloat(p + 4 * i);
        break;
      case D3DVSDT_D3DCOLOR:   // bytes B, G, R, A
        v = {p[2] / 255.0f, p[1] / 255.0f, p[0] / 255.0f, p[3] / 255.0f};
        break;
      case D3DVSDT_UBYTE4: v = {float(p[0]), float(p[1]), float(p[2]), float(p[3])}; break;
      case D3DVSDT_SHORT2: v = {float(readShort(p)), float(readShort(p + 2)), 0.0f, 1.0f}; break;
      case D3DVSDT_SHORT4:
        v = {float(readShort(p)), float(readShort(p + 2)), float(readShort(p + 4)), float(readShort(p + 6))};
        break;
      default: break;
    }
  }
}

void interpretVertexShader(const VertexShaderCode& code, const Vec4* constants, const VsInputs& inputs,
                           VsOutputs& outputs) {
  Machine m{constants, inputs};
  for (const VsInstruction& instruction : code.instructions) step(m, instruction);
  outputs[0] = m.position;
  outputs[1] = m.colors[0];
  outputs[2] = m.colors[1];
  for (int i = 0; i < kVsTexCoords; ++i) outputs[size_t(3 + i)] = m.texCoords[size_t(i)];
  outputs[11] = {m.fog[0], m.pointSize[0], 0.0f, 0.0f};
}

}  // namespace d3d8gl
