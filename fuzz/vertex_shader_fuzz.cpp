// vertex_shader_fuzz.cpp — vs.1.1 function and declaration decoding over arbitrary tokens: the
// bytes are read as tokens both ways; what decodes is translated to GLSL and run once on the CPU
// interpreter over a vertex of the declared layout.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d8/shader_interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the tokens the input holds, so a read past them is a sanitizer fault.
  std::vector<DWORD> tokens(size / 4);
  if (!tokens.empty()) std::memcpy(tokens.data(), data, tokens.size() * 4);
  d3d8gl::VertexDeclaration declaration;
  if (d3d8gl::decodeVertexDeclaration(tokens.data(), tokens.size(), declaration) != D3D_OK) declaration = {};
  // A function after the first end-of-declaration token, or from the start.
  size_t start = 0;
  for (size_t i = 0; i < tokens.size(); ++i)
    if (tokens[i] == D3DVSD_END()) {
      start = i + 1;
      break;
    }
  d3d8gl::VertexShaderCode code;
  const DWORD* function = tokens.data() + start;
  if (d3d8gl::decodeVertexShader(function, tokens.size() - start, code) != D3D_OK &&
      d3d8gl::decodeVertexShader(tokens.data(), tokens.size(), code) != D3D_OK)
    return 0;
  std::string glsl = d3d8gl::vertexShaderGlsl(code, declaration, {false, true});
  glsl += d3d8gl::vertexShaderGlsl(code, declaration, {true, false});
  if (glsl.find("void main()") == std::string::npos) __builtin_trap();

  std::vector<d3d8gl::Vec4> constants(d3d8gl::kVsConstants);
  for (size_t i = 0; i < constants.size(); ++i) constants[i] = {float(i) - 40.0f, 0.5f, -2.0f, 1.0f};
  std::vector<uint8_t> vertex(declaration.stride);
  for (size_t i = 0; i < vertex.size(); ++i) vertex[i] = uint8_t(i * 37 + 11);
  d3d8gl::VsInputs inputs;
  d3d8gl::fetchVertexInputs(declaration, vertex.data(), inputs);
  d3d8gl::VsOutputs outputs;
  d3d8gl::interpretVertexShader(code, constants.data(), inputs, outputs);
  return 0;
}
