// vertex_shader_gl.cpp — vertex shaders on the device: the handle table, constants, and drawing
// with a shader's GLSL translation paired with the fixed-function pixel half.
//
// A shader is decoded and its vertex code compiled when it is created; a program is linked per
// pixel-half state the first time the shader draws with it, and kept. Stream 0 is read as the
// declaration lays it out; the stride of SetStreamSource must cover the declaration. Texture stage
// n samples at oTn (D3DTSS_TEXCOORDINDEX applies to fixed function only); oD0 and oD1 reach the
// pixel half clamped to 0…1; oFog and oPts are computed but feed nothing, as the device draws no
// fog and no point sprites.
#include "platform/d3d8/d3d8_gl.h"
#include "platform/d3d8/d3d8_test_hooks.h"
#include "platform/d3d8/vertex_shader_code.h"

#include <cstdio>
#include <cstring>

namespace d3d8gl {

struct VertexShaderGL {
  VertexShaderCode code;
  VertexDeclaration declaration;
  std::array<GLuint, 2> vertexShaders{};   // compiled vertex code: smooth, flat colours
  std::unordered_map<PipelineKey, Program, PipelineKeyHash> programs;
  Program capture;                         // writes the raw outputs to transform feedback
};

namespace {

constexpr DWORD kMaxShaderNumber = 0x7FFFFFFF;

// Compiles a translation; a failure is reported with the text that failed.
GLuint compileShader(GLenum type, const std::string& source) {
  std::string log;
  GLuint shader = compileGLShader(type, source, &log);
  if (!shader) std::fprintf(stderr, "d3d8: vertex shader translation does not compile:\n%s\n", log.c_str());
  return shader;
}

// Links the shader's vertex code with an optional pixel half; the program's uniforms located.
Program linkProgram(GLuint vertex, GLuint fragment, bool capture) {
  Program program;
  GLuint name = glCreateProgram();
  glAttachShader(name, vertex);
  if (fragment) glAttachShader(name, fragment);
  for (int reg = 0; reg < kVsInputs; ++reg)
    glBindAttribLocation(name, GLuint(reg), ("a_v" + std::to_string(reg)).c_str());
  if (capture) {
    std::array<std::string, kVsOutputVectors> names;
    std::array<const char*, kVsOutputVectors> pointers;
    for (int i = 0; i < kVsOutputVectors; ++i) {
      names[size_t(i)] = "tf_out" + std::to_string(i);
      pointers[size_t(i)] = names[size_t(i)].c_str();
    }
    glTransformFeedbackVaryings(name, kVsOutputVectors, pointers.data(), GL_INTERLEAVED_ATTRIBS);
  } else {
    glBindFragDataLocation(name, 0, "o_color");
  }
  std::string log;
  if (!linkGLProgram(name, &log)) {
    std::fprintf(stderr, "d3d8: vertex shader program does not link:\n%s\n", log.c_str());
    return program;
  }
  program.name = name;
  program.constants = glGetUniformLocation(name, "u_c");
  program.screen = glGetUniformLocation(name, "u_screen");
  program.tfactor = glGetUniformLocation(name, "u_tfactor");
  program.alphaRef = glGetUniformLocation(name, "u_alphaRef");
  bindStageSamplers(name);
  return program;
}

void deleteShaderGL(VertexShaderGL& shader) {
  for (GLuint& vertex : shader.vertexShaders)
    if (vertex) glDeleteShader(vertex);
  for (auto& [key, program] : shader.programs)
    if (program.name) glDeleteProgram(program.name);
  if (shader.capture.name) glDeleteProgram(shader.capture.name);
}

// The vertex code of one colour interpolation, compiled on first use.
GLuint vertexCode(VertexShaderGL& shader, bool flat) {
  GLuint& compiled = shader.vertexShaders[flat ? 1 : 0];
  if (!compiled)
    compiled = compileShader(GL_VERTEX_SHADER,
                             vertexShaderGlsl(shader.code, shader.declaration, {false, flat}));
  return compiled;
}

bool glsl330Available() {
  const GLCapabilities& caps = glCapabilities();
  return caps.majorVersion > 3 || (caps.majorVersion == 3 && caps.minorVersion >= 3);
}

}  // namespace

// ---- handles --------------------------------------------------------------------------------------
HRESULT DeviceGL::CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle,
                                     DWORD usage) {
  if (!handle) return D3DERR_INVALIDCALL;
  *handle = 0;
  if (!glsl330Available()) return D3DERR_NOTAVAILABLE;
  // Declarations without code (fixed-function processing of declared streams) are not offered.
  if (!declaration || !function || (usage & ~DWORD(D3DUSAGE_SOFTWAREPROCESSING))) return D3DERR_INVALIDCALL;
  if (shadersMade_ >= kMaxShaderNumber) return D3DERR_OUTOFVIDEOMEMORY;
  auto shader = std::make_unique<VertexShaderGL>();
  HRESULT result = decodeVertexShader(function, kVsMaxFunctionTokens, shader->code);
  if (FAILED(result)) return result;
  result = decodeVertexDeclaration(declaration, kVsMaxDeclarationTokens, shader->declaration);
  if (FAILED(result)) return result;
  if (!makeCurrent()) return D3DERR_DEVICELOST;
  if (!vertexCode(*shader, false)) {
    deleteShaderGL(*shader);
    return D3DERR_INVALIDCALL;
  }
  DWORD made = (++shadersMade_ << 1) | 1;
  shaders_.emplace(made, shader.release());
  *handle = made;
  return D3D_OK;
}

HRESULT DeviceGL::DeleteVertexShader(DWORD handle) {
  auto found = shaders_.find(handle);
  if (found == shaders_.end()) return D3DERR_INVALIDCALL;
  VertexShaderGL* shader = found->second;
  shaders_.erase(found);
  if (shader_ == shader) {
    // Nothing is selected until the next SetVertexShader.
    shader_ = nullptr;
    fvf_ = 0;
    currentProgram_ = nullptr;
    dirty_ |= kDirtyPipeline | kDirtyVertexInput;
  }
  if (makeCurrent()) deleteShaderGL(*shader);
  delete shader;
  return D3D_OK;
}

void DeviceGL::releaseVertexShaders(bool contextCurrent) {
  for (auto& [handle, shader] : shaders_) {
    if (contextCurrent) deleteShaderGL(*shader);
    delete shader;
  }
  shaders_.clear();
  shader_ = nullptr;
}

// A flexible vertex format (bit 0 clear) selects fixed function; an odd value must be a live
// handle. Selecting a shader loads its declaration constants and def values, every time.
HRESULT DeviceGL::SetVertexShader(DWORD handle) {
  if (handle & D3DFVF_RESERVED0) {
    auto found = shaders_.find(handle);
    if (found == shaders_.end()) return D3DERR_INVALIDCALL;
    VertexShaderGL* shader = found->second;
    if (shader_ != shader) {
      shader_ = shader;
      dirty_ |= kDirtyPipeline | kDirtyVertexInput;
    }
    for (const auto* loads : {&shader->declaration.constants, &shader->code.defines})
      for (const VsConstantLoad& load : *loads)
        std::memcpy(&shaderConstants_[size_t(load.index) * 4], load.value.data(), sizeof(float) * 4);
    if (!shader->declaration.constants.empty() || !shader->code.defines.empty()) ++constantsVersion_;
    return D3D_OK;
  }
  if (shader_) {
    shader_ = nullptr;
    currentProgram_ = nullptr;
    dirty_ |= kDirtyPipeline | kDirtyVertexInput;
  }
  if (fvf_ != handle) {
    fvf_ = handle;
    dirty_ |= kDirtyPipeline | kDirtyVertexInput;
  }
  return D3D_OK;
}

// ---- constants --------------------------------------------------------------------------------------
HRESULT DeviceGL::SetVertexShaderConstant(DWORD firstRegister, const void* data, DWORD count) {
  if (firstRegister > DWORD(kVsConstants) || count > DWORD(kVsConstants) - firstRegister)
    return D3DERR_INVALIDCALL;
  if (count == 0) return D3D_OK;
  if (!data) return D3DERR_INVALIDCALL;
  std::memcpy(&shaderConstants_[size_t(firstRegister) * 4], data, size_t(count) * 4 * sizeof(float));
  ++constantsVersion_;
  return D3D_OK;
}

HRESULT DeviceGL::GetVertexShaderConstant(DWORD firstRegister, void* data, DWORD count) {
  if (firstRegister > DWORD(kVsConstants) || count > DWORD(kVsConstants) - firstRegister)
    return D3DERR_INVALIDCALL;
  if (count == 0) return D3D_OK;
  if (!data) return D3DERR_INVALIDCALL;
  std::memcpy(data, &shaderConstants_[size_t(firstRegister) * 4], size_t(count) * 4 * sizeof(float));
  return D3D_OK;
}

// ---- drawing ----------------------------------------------------------------------------------------
void DeviceGL::applyShaderProgram() {
  dirty_ &= ~kDirtyPipeline;
  PipelineKey key = pixelKey();
  bool flat = renderStates_[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  auto found = shader_->programs.find(key);
  if (found == shader_->programs.end()) {
    Program program;
    GLuint vertex = vertexCode(*shader_, flat);
    std::string log;
    GLuint fragment = 0;
    if (vertex) {
      fragment = glCreateShader(GL_FRAGMENT_SHADER);
      std::string source = pixelSource(key);
      const char* text = source.c_str();
      glShaderSource(fragment, 1, &text, nullptr);
      glCompileShader(fragment);
      program = linkProgram(vertex, fragment, false);
      glDeleteShader(fragment);
    }
    found = shader_->programs.emplace(key, program).first;
  }
  currentProgram_ = found->second.name ? &found->second : nullptr;
  // The fixed-function cache must not take the shader's program for its own on the way back.
  currentKey_ = PipelineKey{~0ull, {}, 0};
  if (currentProgram_) glUseProgram(currentProgram_->name);
}

void DeviceGL::applyShaderVertexInput() {
  dirty_ &= ~kDirtyVertexInput;
  const VertexDeclaration& declaration = shader_->declaration;
  UINT stride = streamStride_ ? streamStride_ : declaration.stride;
  glBindBuffer(GL_ARRAY_BUFFER, stream_->name());
  uint32_t enabled = 0;
  for (const VsElement& e : declaration.elements) {
    GLint size = 4;
    GLenum type = GL_FLOAT;
    GLboolean normalized = GL_FALSE;
    switch (e.type) {
      case D3DVSDT_FLOAT1:
      case D3DVSDT_FLOAT2:
      case D3DVSDT_FLOAT3:
      case D3DVSDT_FLOAT4: size = GLint(e.type) + 1; break;
      case D3DVSDT_D3DCOLOR: type = GL_UNSIGNED_BYTE; normalized = GL_TRUE; break;
      case D3DVSDT_UBYTE4: type = GL_UNSIGNED_BYTE; break;
      case D3DVSDT_SHORT2: size = 2; type = GL_SHORT; break;
      case D3DVSDT_SHORT4: type = GL_SHORT; break;
      default: break;
    }
    glVertexAttribPointer(GLuint(e.reg), size, type, normalized, GLsizei(stride),
                          reinterpret_cast<void*>(uintptr_t(e.offset)));
    enabled |= 1u << e.reg;
  }
  uint32_t change = enabled ^ enabledAttributes_;
  for (GLuint location = 0; change; ++location, change >>= 1)
    if (change & 1) {
      if (enabled & (1u << location)) {
        glEnableVertexAttribArray(location);
      } else {
        glDisableVertexAttribArray(location);
        glVertexAttrib4f(location, 0.0f, 0.0f, 0.0f, 1.0f);
      }
    }
  enabledAttributes_ = enabled;
  boundFvf_ = ~0u;
  boundStride_ = stride;
}

bool DeviceGL::prepareShaderDraw() {
  if (!stream_ || !makeCurrent()) return false;
  UINT stride = streamStride_ ? streamStride_ : shader_->declaration.stride;
  if (stride < shader_->declaration.stride) return false;   // vertices would overlap past the end
  if (dirty_ & kDirtyTarget) bindTarget();
  if (!targetComplete_) return false;
  if (dirty_ & kDirtyPipeline) applyShaderProgram();
  if (!currentProgram_) return false;
  applyUniforms();
  Program& p = *currentProgram_;
  if (p.constantsVersion != constantsVersion_) {
    if (p.constants >= 0) glUniform4fv(p.constants, kVsConstants, shaderConstants_.data());
    p.constantsVersion = constantsVersion_;
  }
  if (dirty_ & kDirtyRaster) applyRaster();
  if (textureDirtyMask_) applyTextures();
  if (dirty_ & kDirtyVertexInput) applyShaderVertexInput();
  return true;
}

bool DeviceGL::captureShaderOutputs(UINT startVertex, UINT count, std::vector<float>& outputs) {
  outputs.clear();
  if (!shader_ || count == 0 || !prepareShaderDraw()) return false;
  if ((uint64_t(startVertex) + count) * boundStride_ > stream_->length()) return false;
  Program& capture = shader_->capture;
  if (!capture.name) {
    GLuint vertex = compileShader(GL_VERTEX_SHADER,
                                  vertexShaderGlsl(shader_->code, shader_->declaration, {true, false}));
    if (!vertex) return false;
    capture = linkProgram(vertex, 0, true);
    glDeleteShader(vertex);
    if (!capture.name) return false;
  }
  glUseProgram(capture.name);
  glUniform4fv(capture.constants, kVsConstants, shaderConstants_.data());
  size_t floats = size_t(count) * kVsOutputVectors * 4;
  GLuint buffer = 0;
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, buffer);
  glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, GLsizeiptr(floats * sizeof(float)), nullptr, GL_STREAM_READ);
  glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, buffer);
  glEnable(GL_RASTERIZER_DISCARD);
  glBeginTransformFeedback(GL_POINTS);
  glDrawArrays(GL_POINTS, GLint(startVertex), GLsizei(count));
  glEndTransformFeedback();
  glDisable(GL_RASTERIZER_DISCARD);
  outputs.resize(floats);
  glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, GLsizeiptr(floats * sizeof(float)), outputs.data());
  glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, 0);
  glDeleteBuffers(1, &buffer);
  glUseProgram(currentProgram_->name);
  return true;
}

}  // namespace d3d8gl

// ---- test hooks ---------------------------------------------------------------------------------------
bool d3d8TestCaptureVertexShader(IDirect3DDevice8* device, UINT startVertex, UINT count,
                                 std::vector<float>& outputs) {
  return static_cast<d3d8gl::DeviceGL*>(device)->captureShaderOutputs(startVertex, count, outputs);
}

HRESULT d3d8TestGetVertexShaderConstant(IDirect3DDevice8* device, DWORD firstRegister, void* data,
                                        DWORD count) {
  return static_cast<d3d8gl::DeviceGL*>(device)->GetVertexShaderConstant(firstRegister, data, count);
}
