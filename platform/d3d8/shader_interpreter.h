// shader_interpreter.h — the CPU reference of vs.1.1 vertex shaders: reads one vertex's inputs as
// a declaration lays them out and runs the decoded code on it. Tests check the GLSL translation
// against it; it needs no GL context.
#pragma once

#include "platform/d3d8/vertex_shader_code.h"

namespace d3d8gl {

using VsInputs = std::array<Vec4, kVsInputs>;

// The input registers of the vertex starting at `vertex` (declaration.stride bytes readable);
// registers the declaration does not name read (0, 0, 0, 1).
void fetchVertexInputs(const VertexDeclaration& declaration, const uint8_t* vertex, VsInputs& inputs);

// Runs the code on one vertex with the 96 constant registers; outputs are the raw registers
// (colours not yet clamped, oPos in Direct3D's clip space).
void interpretVertexShader(const VertexShaderCode& code, const Vec4* constants, const VsInputs& inputs,
                           VsOutputs& outputs);

}  // namespace d3d8gl
