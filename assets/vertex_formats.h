// vertex_formats.h — the three vertex layouts of the buffer pool: format bits, structs, strides.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8.h"

// Pre-transformed vertex of every full-viewport pass: x, y in pixels, z depth 0…1, rhw = 1/w.
constexpr DWORD screenVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;   // 0x144
// World-space vertex with a normal (terrain, river, shadow map).
constexpr DWORD litVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;   // 0x152
// Model vertex: position, normal, colour and three coordinate sets, the third of three floats.
constexpr DWORD modelVertexFormat = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX3;   // 0x352

struct ScreenVertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
  float u, v;
};

struct LitVertex {
  float x, y, z;
  float nx, ny, nz;
  D3DCOLOR diffuse;
  float u, v;
};

constexpr uint32_t screenVertexStride = 28;
constexpr uint32_t litVertexStride = 36;
constexpr uint32_t modelVertexStride = 56;   // 52 by the bits, but the third set holds three floats

static_assert(sizeof(ScreenVertex) == screenVertexStride);
static_assert(sizeof(LitVertex) == litVertexStride);
static_assert(screenVertexFormat == 0x144 && litVertexFormat == 0x152 && modelVertexFormat == 0x352);

// Bytes per vertex of a format the pool knows; 0 for any other format.
constexpr uint32_t vertexStride(DWORD fvf) {
  switch (fvf) {
    case screenVertexFormat: return screenVertexStride;
    case litVertexFormat: return litVertexStride;
    case modelVertexFormat: return modelVertexStride;
    default: return 0;
  }
}
