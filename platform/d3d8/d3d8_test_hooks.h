// d3d8_test_hooks.h — test-only access to the Direct3D stand-in: force a lost device, read the
// render target back, name the GL implementation. Not for program code.
#pragma once

#include "platform/d3d8/d3d8.h"

#include <cstdint>
#include <string>
#include <vector>

// D3DERR_DEVICELOST: the device stays lost (TestCooperativeLevel, Present and Reset report it)
// until the next call; D3DERR_DEVICENOTRESET: restorable, until Reset; D3D_OK: healthy again.
void d3d8TestForceDeviceState(IDirect3DDevice8* device, HRESULT state);

// The current render target as 0xAARRGGBB pixels, top row first (multisampled targets resolved).
bool d3d8TestReadRenderTarget(IDirect3DDevice8* device, std::vector<uint32_t>& argb, UINT& width,
                              UINT& height);

// "vendor | renderer | version" of the OpenGL implementation the devices run on.
std::string d3d8TestGLDescription();

// Generated fixed-function programs the device holds (one per distinct state combination drawn).
size_t d3d8TestProgramCount(IDirect3DDevice8* device);

// Runs the selected vertex shader on `count` vertices of stream 0 from `startVertex` through the
// GL translation (transform feedback) and returns each vertex's raw output registers: oPos, oD0,
// oD1, oT0…oT7, (oFog, oPts, 0, 0) — 48 floats a vertex. False without a shader or stream.
bool d3d8TestCaptureVertexShader(IDirect3DDevice8* device, UINT startVertex, UINT count,
                                 std::vector<float>& outputs);

// Reads back vertex-shader constant registers (four floats each).
HRESULT d3d8TestGetVertexShaderConstant(IDirect3DDevice8* device, DWORD firstRegister, void* data,
                                        DWORD count);
