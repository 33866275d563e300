// shader_glsl.cpp — translates decoded vs.1.1 code into a GLSL 3.30 vertex shader.
//
// Every instruction becomes one statement into a temporary and one masked write, in the same
// order and with the same special cases as the CPU interpreter (shader_interpreter.cpp).
#include "platform/d3d8/vertex_shader_code.h"

#include <string>

namespace d3d8gl {
namespace {

const char kPrelude[] =
    "const float VS_INF = uintBitsToFloat(0x7F800000u);\n"
    "const float VS_NEG_MAX = -uintBitsToFloat(0x7F7FFFFFu);\n"
    "float vs_masked(float f) { return uintBitsToFloat(floatBitsToUint(f) & 0xFFFFFF00u); }\n"
    "vec4 vs_rc(int i) { return (i >= 0 && i < 96) ? u_c[clamp(i, 0, 95)] : vec4(0.0); }\n"
    "vec4 vs_rcp(float f) { return vec4(f == 0.0 ? VS_INF : (f == 1.0 ? 1.0 : 1.0 / f)); }\n"
    "vec4 vs_rsq(float f) {\n"
    "  f = abs(f);\n"
    "  return vec4(f == 0.0 ? VS_INF : (f == 1.0 ? 1.0 : 1.0 / sqrt(f)));\n"
    "}\n"
    "vec4 vs_log(float f) { f = abs(f); return vec4(f != 0.0 ? log2(f) : VS_NEG_MAX); }\n"
    "vec4 vs_expp(float w) {\n"
    "  float whole = floor(w);\n"
    "  return vec4(exp2(whole), w - whole, vs_masked(exp2(w)), 1.0);\n"
    "}\n"
    "vec4 vs_logp(float w) {\n"
    "  float v = abs(w);\n"
    "  if (v == 0.0) return vec4(VS_NEG_MAX, 1.0, VS_NEG_MAX, 1.0);\n"
    "  uint bits = floatBitsToUint(v);\n"
    "  return vec4(float(int((bits >> 23) & 0xFFu) - 127),\n"
    "              uintBitsToFloat((bits & 0x7FFFFFu) | 0x3F800000u), vs_masked(log2(v)), 1.0);\n"
    "}\n"
    "vec4 vs_lit(vec4 s) {\n"
    "  float power = min(max(s.w, -127.9961), 127.9961);\n"
    "  vec4 r = vec4(1.0, 0.0, 0.0, 1.0);\n"
    "  if (s.x > 0.0) {\n"
    "    r.y = s.x;\n"
    "    if (s.y > 0.0) r.z = pow(s.y, power);\n"
    "  }\n"
    "  return r;\n"
    "}\n"
    "int vs_address(float x) {\n"
    "  float f = floor(x + 0.5);\n"
    "  return (f >= -1024.0 && f <= 1024.0) ? int(f) : 1024;\n"
    "}\n";

const char* const kComponents = "xyzw";

std::string maskText(uint8_t mask) {
  std::string s;
  for (int i = 0; i < 4; ++i)
    if (mask & (1u << i)) s += kComponents[i];
  return s;
}

std::string registerText(const VsSource& src, int rowOffset) {
  int index = src.index + rowOffset;
  switch (src.type) {
    case D3DSPR_TEMP: return "r" + std::to_string(index);
    case D3DSPR_INPUT: return "v" + std::to_string(index);
    default:
      if (src.relative) return "vs_rc(a0 + " + std::to_string(index) + ")";
      return "u_c[" + std::to_string(index) + "]";
  }
}

std::string sourceText(const VsSource& src, int rowOffset = 0) {
  std::string s = registerText(src, rowOffset);
  if (src.swizzle != std::array<uint8_t, 4>{0, 1, 2, 3}) {
    s += '.';
    for (uint8_t c : src.swizzle) s += kComponents[c];
  }
  return src.negate ? "(-" + s + ")" : s;
}

std::string destinationText(const VsDestination& dst) {
  switch (dst.type) {
    case D3DSPR_TEMP: return "r" + std::to_string(dst.index);
    case D3DSPR_RASTOUT:
      return dst.index == D3DSRO_POSITION ? "oPos" : dst.index == D3DSRO_FOG ? "oFog" : "oPts";
    case D3DSPR_ATTROUT: return "oD" + std::to_string(dst.index);
    default: return "oT" + std::to_string(dst.index);
  }
}

std::string matrixText(const VsInstruction& in, int rows, int columns) {
  std::string v = sourceText(in.src[0]);
  if (columns == 3) v += ".xyz";
  std::string s = "vec4(";
  for (int row = 0; row < 4; ++row) {
    if (row) s += ", ";
    if (row >= rows) {
      s += "0.0";
      continue;
    }
    std::string m = "(" + sourceText(in.src[1], row) + ")";
    if (columns == 3) m += ".xyz";
    s += "dot(" + v + ", " + m + ")";
  }
  return s + ")";
}

// The value of an instruction as a vec4 expression.
std::string valueText(const VsInstruction& in) {
  std::string a = sourceText(in.src[0]);
  std::string b = in.sourceCount > 1 ? sourceText(in.src[1]) : "";
  std::string c = in.sourceCount > 2 ? sourceText(in.src[2]) : "";
  switch (in.opcode) {
    case D3DSIO_MOV: return a;
    case D3DSIO_ADD: return a + " + " + b;
    case D3DSIO_SUB: return a + " - " + b;
    case D3DSIO_MUL: return a + " * " + b;
    case D3DSIO_MAD: return a + " * " + b + " + " + c;
    case D3DSIO_DP3: return "vec4(dot((" + a + ").xyz, (" + b + ").xyz))";
    case D3DSIO_DP4: return "vec4(dot(" + a + ", " + b + "))";
    case D3DSIO_MIN: return "mix(" + b + ", " + a + ", lessThan(" + a + ", " + b + "))";
    case D3DSIO_MAX: return "mix(" + b + ", " + a + ", greaterThan(" + a + ", " + b + "))";
    case D3DSIO_SLT: return "vec4(lessThan(" + a + ", " + b + "))";
    case D3DSIO_SGE: return "vec4(greaterThanEqual(" + a + ", " + b + "))";
    case D3DSIO_RCP: return "vs_rcp((" + a + ").w)";
    case D3DSIO_RSQ: return "vs_rsq((" + a + ").w)";
    case D3DSIO_EXP: return "vec4(exp2((" + a + ").w))";
    case D3DSIO_LOG: return "vs_log((" + a + ").w)";
    case D3DSIO_EXPP: return "vs_expp((" + a + ").w)";
    case D3DSIO_LOGP: return "vs_logp((" + a + ").w)";
    case D3DSIO_LIT: return "vs_lit(" + a + ")";
    case D3DSIO_DST: return "vec4(1.0, (" + a + ").y * (" + b + ").y, (" + a + ").z, (" + b + ").w)";
    case D3DSIO_FRC: return a + " - floor(" + a + ")";
    case D3DSIO_M4x4: return matrixText(in, 4, 4);
    case D3DSIO_M4x3: return matrixText(in, 3, 4);
    case D3DSIO_M3x4: return matrixText(in, 4, 3);
    case D3DSIO_M3x3: return matrixText(in, 3, 3);
    case D3DSIO_M3x2: return matrixText(in, 2, 3);
    default: return "vec4(0.0)";
  }
}

std::string inputText(const VertexDeclaration& declaration, int reg) {
  std::string name = "v" + std::to_string(reg);
  for (const VsElement& e : declaration.elements)
    if (e.reg == reg) {
      // D3DCOLOR arrives as its bytes B, G, R, A.
      std::string swizzle = e.type == D3DVSDT_D3DCOLOR ? ".bgra" : "";
      return "  vec4 " + name + " = a_" + name + swizzle + ";\n";
    }
  return "  const vec4 " + name + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
}

}  // namespace

std::string vertexShaderGlsl(const VertexShaderCode& code, const VertexDeclaration& declaration,
                             const GlslOptions& options) {
  std::string s = "#version 330\n";
  for (const VsElement& e : declaration.elements) s += "in vec4 a_v" + std::to_string(e.reg) + ";\n";
  s += "uniform vec4 u_c[96];\nuniform vec4 u_screen;\n";
  if (options.capture) {
    for (int i = 0; i < kVsOutputVectors; ++i) s += "out vec4 tf_out" + std::to_string(i) + ";\n";
  } else {
    const char* flat = options.flatColors ? "flat " : "";
    s += std::string(flat) + "out vec4 v_diffuse;\n" + flat + "out vec4 v_specular;\n";
    s += "out vec4 v_tex0;\nout vec4 v_tex1;\nout vec4 v_tex2;\nout vec4 v_tex3;\n";
  }
  s += kPrelude;
  s += "void main() {\n";
  for (int reg = 0; reg < kVsInputs; ++reg) s += inputText(declaration, reg);
  for (int reg = 0; reg < kVsTemps; ++reg) s += "  vec4 r" + std::to_string(reg) + " = vec4(0.0);\n";
  s += "  vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0);\n  vec4 oD0 = vec4(1.0);\n  vec4 oD1 = vec4(0.0);\n";
  for (int i = 0; i < kVsTexCoords; ++i) s += "  vec4 oT" + std::to_string(i) + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
  s += "  vec4 oFog = vec4(1.0);\n  vec4 oPts = vec4(1.0);\n  int a0 = 0;\n  vec4 t;\n";
  for (const VsInstruction& in : code.instructions) {
    s += "  t = " + valueText(in) + ";\n";
    if (in.dst.type == D3DSPR_ADDR) {
      s += "  a0 = vs_address(t.x);\n";
    } else {
      std::string mask = maskText(in.dst.mask);
      s += "  " + destinationText(in.dst) + (mask == "xyzw" ? "" : "." + mask) + " = t" +
           (mask == "xyzw" ? "" : "." + mask) + ";\n";
    }
  }
  if (options.capture) {
    s += "  tf_out0 = oPos;\n  tf_out1 = oD0;\n  tf_out2 = oD1;\n";
    for (int i = 0; i < kVsTexCoords; ++i)
      s += "  tf_out" + std::to_string(3 + i) + " = oT" + std::to_string(i) + ";\n";
    s += "  tf_out11 = vec4(oFog.x, oPts.x, 0.0, 0.0);\n";
    s += "  gl_Position = vec4(0.0, 0.0, 0.0, 1.0);\n";
  } else {
    // Direct3D clip space to GL's as the fixed-function transform does it: y mirrored (rows are
    // stored top first), depth 0…w to −w…w, half a pixel towards the top left.
    s += "  gl_Position = vec4(oPos.x + oPos.w * 0.5 * u_screen.x, -oPos.y + oPos.w * 0.5 * u_screen.y,\n"
         "                     2.0 * oPos.z - oPos.w, oPos.w);\n";
    s += "  v_diffuse = clamp(oD0, 0.0, 1.0);\n  v_specular = clamp(oD1, 0.0, 1.0);\n";
    for (int i = 0; i < 4; ++i) s += "  v_tex" + std::to_string(i) + " = oT" + std::to_string(i) + ";\n";
  }
  s += "}\n";
  return s;
}

}  // namespace d3d8gl
