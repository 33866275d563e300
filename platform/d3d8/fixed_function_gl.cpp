// fixed_function_gl.cpp — the fixed-function pipeline as generated GLSL 1.30, keyed by state.
//
// The vertex half turns a flexible-vertex-format vertex into clip space (Direct3D's row-vector
// transforms, already folded with the GL clip conventions on the CPU, or XYZRHW pixels) and
// lights it: one term per enabled directional light plus D3DRS_AMBIENT, with the material
// colours taken from the vertex where Direct3D's material-source rules say so. The pixel half runs
// the texture stages (the operations and arguments of D3DTOP_* / D3DTA_*), the specular add and
// the alpha test. The two halves meet only through v_diffuse, v_specular and v_tex0…3, so a
// translated vertex shader can be paired with the same pixel half.
// Point and spot lights are not lit (the program uses one directional light); fog is not drawn.
#include "platform/d3d8/d3d8_gl.h"

#include <cstdio>
#include <string>

namespace d3d8gl {
namespace {

// Vertex key layout.
constexpr int kVkFvfShift = 0;           // 16 bits of FVF
constexpr int kVkLighting = 16;          // 1 bit
constexpr int kVkLightCountShift = 17;   // 4 bits
constexpr int kVkDiffuseSrcShift = 21;   // 2 bits each: effective source
constexpr int kVkAmbientSrcShift = 23;
constexpr int kVkEmissiveSrcShift = 25;
constexpr int kVkNormalize = 27;
constexpr int kVkFlat = 28;
constexpr int kVkTexIndexShift = 29;     // 4 bits per stage, 15 = no coordinates

// Stage key layout.
constexpr int kSkColorOp = 0, kSkColorArg1 = 5, kSkColorArg2 = 11, kSkAlphaOp = 17,
              kSkAlphaArg1 = 22, kSkAlphaArg2 = 28, kSkTextured = 34;

// Pixel key layout.
constexpr int kPkAlphaFuncShift = 0, kPkSpecular = 4, kPkFlat = 5;

DWORD field(uint64_t key, int shift, int bits) { return DWORD((key >> shift) & ((1ull << bits) - 1)); }

bool usesArg1(DWORD op) { return op != D3DTOP_SELECTARG2 && op != D3DTOP_DISABLE; }
bool usesArg2(DWORD op) { return op != D3DTOP_SELECTARG1 && op != D3DTOP_DISABLE; }

int texCoordCount(DWORD fvf) { return int((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT); }

std::string argument(DWORD arg, int stage, bool textured) {
  std::string value;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: value = "v_diffuse"; break;
    case D3DTA_CURRENT: value = "current"; break;
    case D3DTA_TEXTURE: value = textured ? "tex" + std::to_string(stage) : "vec4(1.0)"; break;
    case D3DTA_TFACTOR: value = "u_tfactor"; break;
    case D3DTA_SPECULAR: value = "v_specular"; break;
    default: value = "vec4(1.0)"; break;
  }
  if (arg & D3DTA_COMPLEMENT) value = "(vec4(1.0) - " + value + ")";
  if (arg & D3DTA_ALPHAREPLICATE) value = value + ".aaaa";
  return value;
}

// One operation on two arguments; swizzle is ".rgb" or ".a".
std::string operation(DWORD op, const std::string& a1, const std::string& a2, const std::string& sw,
                      int stage) {
  std::string x = "(" + a1 + ")" + sw, y = "(" + a2 + ")" + sw;
  std::string tex = "tex" + std::to_string(stage);
  switch (op) {
    case D3DTOP_SELECTARG1: return x;
    case D3DTOP_SELECTARG2: return y;
    case D3DTOP_MODULATE: return x + " * " + y;
    case D3DTOP_MODULATE2X: return "2.0 * " + x + " * " + y;
    case D3DTOP_MODULATE4X: return "4.0 * " + x + " * " + y;
    case D3DTOP_ADD: return x + " + " + y;
    case D3DTOP_ADDSIGNED: return x + " + " + y + " - 0.5";
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + x + " + " + y + " - 0.5)";
    case D3DTOP_SUBTRACT: return x + " - " + y;
    case D3DTOP_ADDSMOOTH: return x + " + " + y + " - " + x + " * " + y;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + y + ", " + x + ", v_diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + y + ", " + x + ", " + tex + ".a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + y + ", " + x + ", u_tfactor.a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + y + ", " + x + ", current.a)";
    default: return x;
  }
}

const char* compare(DWORD func) {
  switch (func) {
    case D3DCMP_LESS: return "<";
    case D3DCMP_EQUAL: return "==";
    case D3DCMP_LESSEQUAL: return "<=";
    case D3DCMP_GREATER: return ">";
    case D3DCMP_NOTEQUAL: return "!=";
    case D3DCMP_GREATEREQUAL: return ">=";
    default: return nullptr;
  }
}

const char* kVaryingsOut =
    "%sout vec4 v_diffuse;\n%sout vec4 v_specular;\n"
    "out vec4 v_tex0;\nout vec4 v_tex1;\nout vec4 v_tex2;\nout vec4 v_tex3;\n";

}  // namespace

size_t PipelineKeyHash::operator()(const PipelineKey& key) const {
  uint64_t h = key.vertex * 0x9E3779B97F4A7C15ull;
  for (uint64_t s : key.stage) h = (h ^ s) * 0x100000001B3ull + (h >> 29);
  h ^= uint64_t(key.pixel) * 0xC2B2AE3D27D4EB4Full;
  return size_t(h ^ (h >> 32));
}

uint64_t makeVertexKey(const VertexKeyInput& in) {
  uint64_t key = uint64_t(in.fvf & 0xffff) << kVkFvfShift;
  bool rhw = (in.fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  bool hasDiffuse = in.fvf & D3DFVF_DIFFUSE, hasSpecular = in.fvf & D3DFVF_SPECULAR;
  if (in.lighting && !rhw) {
    // The effective source of each material colour: the vertex's colour when it has one and
    // D3DRS_COLORVERTEX is on, otherwise the material.
    auto effective = [&](DWORD source) -> uint64_t {
      if (!in.colorVertex) return D3DMCS_MATERIAL;
      if (source == D3DMCS_COLOR1 && hasDiffuse) return D3DMCS_COLOR1;
      if (source == D3DMCS_COLOR2 && hasSpecular) return D3DMCS_COLOR2;
      return D3DMCS_MATERIAL;
    };
    key |= 1ull << kVkLighting;
    key |= uint64_t(in.lightCount & 15) << kVkLightCountShift;
    key |= effective(in.diffuseSource) << kVkDiffuseSrcShift;
    key |= effective(in.ambientSource) << kVkAmbientSrcShift;
    key |= effective(in.emissiveSource) << kVkEmissiveSrcShift;
    if (in.normalizeNormals) key |= 1ull << kVkNormalize;
  }
  if (in.flatShading) key |= 1ull << kVkFlat;
  int sets = texCoordCount(in.fvf);
  for (int s = 0; s < kMaxStages; ++s) {
    int index = in.texCoordIndex[s];
    uint64_t value = index >= 0 && index < sets ? uint64_t(index) : 15;
    key |= value << (kVkTexIndexShift + 4 * s);
  }
  return key;
}

uint64_t makeStageKey(const StageKeyInput& in) {
  uint64_t key = uint64_t(in.colorOp & 31) << kSkColorOp;
  if (usesArg1(in.colorOp)) key |= uint64_t(in.colorArg1 & 63) << kSkColorArg1;
  if (usesArg2(in.colorOp)) key |= uint64_t(in.colorArg2 & 63) << kSkColorArg2;
  key |= uint64_t(in.alphaOp & 31) << kSkAlphaOp;
  if (usesArg1(in.alphaOp)) key |= uint64_t(in.alphaArg1 & 63) << kSkAlphaArg1;
  if (usesArg2(in.alphaOp)) key |= uint64_t(in.alphaArg2 & 63) << kSkAlphaArg2;
  if (in.textured) key |= 1ull << kSkTextured;
  return key;
}

uint32_t makePixelKey(DWORD alphaFunc, bool specularAdd, bool flatShading) {
  uint32_t key = (alphaFunc & 15) << kPkAlphaFuncShift;
  if (specularAdd) key |= 1u << kPkSpecular;
  if (flatShading) key |= 1u << kPkFlat;
  return key;
}

std::string vertexSource(uint64_t key) {
  DWORD fvf = field(key, kVkFvfShift, 16);
  bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  bool hasNormal = fvf & D3DFVF_NORMAL, hasDiffuse = fvf & D3DFVF_DIFFUSE,
       hasSpecular = fvf & D3DFVF_SPECULAR;
  bool lighting = field(key, kVkLighting, 1);
  int lights = int(field(key, kVkLightCountShift, 4));
  const char* flat = field(key, kVkFlat, 1) ? "flat " : "";
  int sets = texCoordCount(fvf);

  std::string s = "#version 130\n";
  s += "in vec4 a_position;\nin vec3 a_normal;\nin vec4 a_diffuse;\nin vec4 a_specular;\n";
  for (int i = 0; i < sets; ++i) s += "in vec2 a_tex" + std::to_string(i) + ";\n";
  s += "uniform mat4 u_wvp;\nuniform vec4 u_screen;\nuniform mat3 u_normalMatrix;\n";
  s += "uniform vec4 u_ambient;\nuniform vec4 u_matDiffuse;\nuniform vec4 u_matAmbient;\n"
       "uniform vec4 u_matEmissive;\n";
  if (lights > 0)
    s += "uniform vec3 u_lightDir[" + std::to_string(lights) + "];\nuniform vec4 u_lightDiffuse[" +
         std::to_string(lights) + "];\nuniform vec4 u_lightAmbient[" + std::to_string(lights) + "];\n";
  char varyings[256];
  std::snprintf(varyings, sizeof varyings, kVaryingsOut, flat, flat);
  s += varyings;
  s += "void main() {\n";
  if (rhw) {
    // Pixels (centres at integers) to clip space; w = 1/rhw keeps texturing perspective-correct.
    s += "  float w = a_position.w != 0.0 ? 1.0 / a_position.w : 1.0;\n"
         "  gl_Position = vec4((a_position.xy * u_screen.xy + u_screen.zw) * w,"
         " (2.0 * a_position.z - 1.0) * w, w);\n";
  } else {
    s += "  gl_Position = u_wvp * vec4(a_position.xyz, 1.0);\n";
  }
  std::string vertexDiffuse = hasDiffuse ? "a_diffuse.bgra" : "vec4(1.0)";
  std::string vertexSpecular = hasSpecular ? "a_specular.bgra" : "vec4(0.0)";
  if (lighting && !rhw) {
    auto source = [&](int shift, const char* material) -> std::string {
      DWORD src = field(key, shift, 2);
      if (src == D3DMCS_COLOR1) return "a_diffuse.bgra";
      if (src == D3DMCS_COLOR2) return "a_specular.bgra";
      return material;
    };
    s += "  vec4 cd = " + source(kVkDiffuseSrcShift, "u_matDiffuse") + ";\n";
    s += "  vec4 ca = " + source(kVkAmbientSrcShift, "u_matAmbient") + ";\n";
    s += "  vec4 ce = " + source(kVkEmissiveSrcShift, "u_matEmissive") + ";\n";
    s += hasNormal ? "  vec3 n = u_normalMatrix * a_normal;\n" : "  vec3 n = vec3(0.0);\n";
    if (field(key, kVkNormalize, 1)) s += "  if (dot(n, n) > 0.0) n = normalize(n);\n";
    s += "  vec3 lit = ce.rgb + u_ambient.rgb * ca.rgb;\n";
    if (lights > 0)
      s += "  for (int i = 0; i < " + std::to_string(lights) + "; ++i) {\n"
           "    lit += u_lightAmbient[i].rgb * ca.rgb;\n"
           "    lit += u_lightDiffuse[i].rgb * cd.rgb * max(dot(n, u_lightDir[i]), 0.0);\n"
           "  }\n";
    s += "  v_diffuse = vec4(clamp(lit, 0.0, 1.0), clamp(cd.a, 0.0, 1.0));\n";
    s += "  v_specular = vec4(0.0);\n";
  } else {
    s += "  v_diffuse = " + vertexDiffuse + ";\n  v_specular = " + vertexSpecular + ";\n";
  }
  for (int stage = 0; stage < kMaxStages; ++stage) {
    DWORD index = field(key, kVkTexIndexShift + 4 * stage, 4);
    std::string out = "  v_tex" + std::to_string(stage) + " = ";
    s += index < DWORD(sets) ? out + "vec4(a_tex" + std::to_string(index) + ", 0.0, 1.0);\n"
                             : out + "vec4(0.0, 0.0, 0.0, 1.0);\n";
  }
  s += "}\n";
  return s;
}

std::string pixelSource(const PipelineKey& key) {
  const char* flat = field(key.pixel, kPkFlat, 1) ? "flat " : "";
  std::string s = "#version 130\n";
  s += std::string(flat) + "in vec4 v_diffuse;\n" + flat + "in vec4 v_specular;\n";
  s += "in vec4 v_tex0;\nin vec4 v_tex1;\nin vec4 v_tex2;\nin vec4 v_tex3;\n";
  s += "uniform vec4 u_tfactor;\nuniform float u_alphaRef;\n";
  for (int stage = 0; stage < kMaxStages; ++stage)
    if (field(key.stage[stage], kSkTextured, 1))
      s += "uniform sampler2D u_tex" + std::to_string(stage) + ";\n";
  s += "out vec4 o_color;\nvoid main() {\n  vec4 current = v_diffuse;\n";
  for (int stage = 0; stage < kMaxStages; ++stage) {
    uint64_t k = key.stage[stage];
    DWORD colorOp = field(k, kSkColorOp, 5);
    if (colorOp == 0 || colorOp == D3DTOP_DISABLE) break;
    bool textured = field(k, kSkTextured, 1);
    std::string n = std::to_string(stage);
    if (textured) s += "  vec4 tex" + n + " = texture(u_tex" + n + ", v_tex" + n + ".xy);\n";
    std::string c1 = argument(field(k, kSkColorArg1, 6), stage, textured);
    std::string c2 = argument(field(k, kSkColorArg2, 6), stage, textured);
    std::string color = operation(colorOp, c1, c2, ".rgb", stage);
    DWORD alphaOp = field(k, kSkAlphaOp, 5);
    std::string alpha = "current.a";
    if (alphaOp != D3DTOP_DISABLE && alphaOp != 0) {
      std::string a1 = argument(field(k, kSkAlphaArg1, 6), stage, textured);
      std::string a2 = argument(field(k, kSkAlphaArg2, 6), stage, textured);
      alpha = operation(alphaOp, a1, a2, ".a", stage);
    }
    s += "  current = clamp(vec4(" + color + ", " + alpha + "), 0.0, 1.0);\n";
  }
  if (field(key.pixel, kPkSpecular, 1))
    s += "  current.rgb = min(current.rgb + v_specular.rgb, vec3(1.0));\n";
  DWORD alphaFunc = field(key.pixel, kPkAlphaFuncShift, 4);
  if (alphaFunc == D3DCMP_NEVER) {
    s += "  discard;\n";
  } else if (const char* op = compare(alphaFunc)) {
    // Direct3D compares the 8-bit alpha with the 0…255 reference.
    s += std::string("  if (!(floor(current.a * 255.0 + 0.5) ") + op + " u_alphaRef)) discard;\n";
  }
  s += "  o_color = current;\n}\n";
  return s;
}

GLuint compileGLShader(GLenum type, const std::string& source, std::string* log) {
  GLuint shader = glCreateShader(type);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char buffer[2048] = {};
    glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
    if (log) *log = std::string(buffer) + "\n" + source;
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

bool linkGLProgram(GLuint program, std::string* log) {
  glLinkProgram(program);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok) return true;
  char buffer[2048] = {};
  glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
  if (log) *log = buffer;
  glDeleteProgram(program);
  return false;
}

void bindStageSamplers(GLuint program) {
  glUseProgram(program);
  for (int stage = 0; stage < kMaxStages; ++stage) {
    GLint sampler = glGetUniformLocation(program, ("u_tex" + std::to_string(stage)).c_str());
    if (sampler >= 0) glUniform1i(sampler, stage);
  }
}

Program buildProgram(const PipelineKey& key, std::string* log) {
  Program program;
  GLuint vs = compileGLShader(GL_VERTEX_SHADER, vertexSource(key.vertex), log);
  if (!vs) return program;
  GLuint fs = compileGLShader(GL_FRAGMENT_SHADER, pixelSource(key), log);
  if (!fs) {
    glDeleteShader(vs);
    return program;
  }
  GLuint name = glCreateProgram();
  glAttachShader(name, vs);
  glAttachShader(name, fs);
  glBindAttribLocation(name, kAttrPosition, "a_position");
  glBindAttribLocation(name, kAttrNormal, "a_normal");
  glBindAttribLocation(name, kAttrDiffuse, "a_diffuse");
  glBindAttribLocation(name, kAttrSpecular, "a_specular");
  for (int i = 0; i < kMaxTexSets; ++i)
    glBindAttribLocation(name, kAttrTex0 + i, ("a_tex" + std::to_string(i)).c_str());
  glBindFragDataLocation(name, 0, "o_color");
  const bool linked = linkGLProgram(name, log);
  glDeleteShader(vs);
  glDeleteShader(fs);
  if (!linked) return program;
  program.name = name;
  program.wvp = glGetUniformLocation(name, "u_wvp");
  program.normalMatrix = glGetUniformLocation(name, "u_normalMatrix");
  program.screen = glGetUniformLocation(name, "u_screen");
  program.ambient = glGetUniformLocation(name, "u_ambient");
  program.matDiffuse = glGetUniformLocation(name, "u_matDiffuse");
  program.matAmbient = glGetUniformLocation(name, "u_matAmbient");
  program.matEmissive = glGetUniformLocation(name, "u_matEmissive");
  program.lightDir = glGetUniformLocation(name, "u_lightDir");
  program.lightDiffuse = glGetUniformLocation(name, "u_lightDiffuse");
  program.lightAmbient = glGetUniformLocation(name, "u_lightAmbient");
  program.tfactor = glGetUniformLocation(name, "u_tfactor");
  program.alphaRef = glGetUniformLocation(name, "u_alphaRef");
  bindStageSamplers(name);
  return program;
}

}  // namespace d3d8gl
