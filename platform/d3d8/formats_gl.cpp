// formats_gl.cpp — Direct3D surface formats and their OpenGL storage.
#include "platform/d3d8/d3d8_gl.h"

namespace d3d8gl {
namespace {

// Plain formats are uploaded exactly as Direct3D lays them out in memory (little-endian words,
// blue in the low bits), so Lock data needs no conversion.
const FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, 0, true},
    {D3DFMT_X8R8G8B8, GL_RGB8, GL_BGRA, GL_UNSIGNED_BYTE, 4, 0, true},
    {D3DFMT_R5G6B5, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 0, true},
    {D3DFMT_X1R5G5B5, GL_RGB5, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0, false},
    {D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0, false},
    {D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, 0, false},
    {D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 0, 8, false},
    {D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 0, 16, false},
    {D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 0, 16, false},
};

}  // namespace

const FormatInfo* formatInfo(D3DFORMAT format) {
  for (const FormatInfo& info : kFormats)
    if (info.format == format) return &info;
  return nullptr;
}

GLenum depthInternalFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_D16: return GL_DEPTH_COMPONENT16;
    case D3DFMT_D24X8: return GL_DEPTH_COMPONENT24;
    case D3DFMT_D24S8: return GL_DEPTH24_STENCIL8;
    case D3DFMT_D32: return GL_DEPTH_COMPONENT32;
    default: return 0;
  }
}

UINT levelPitch(const FormatInfo& info, UINT width) {
  if (info.blockBytes) return ((width + 3) / 4) * info.blockBytes;
  return width * info.bytesPerPixel;
}

UINT levelSize(const FormatInfo& info, UINT width, UINT height) {
  if (info.blockBytes) return levelPitch(info, width) * ((height + 3) / 4);
  return levelPitch(info, width) * height;
}

bool isDisplayFormat(D3DFORMAT format) {
  return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5;
}

bool isBackBufferFormat(D3DFORMAT display, D3DFORMAT backBuffer) {
  if (!isDisplayFormat(display)) return false;
  if (backBuffer == display) return true;
  return display == D3DFMT_X8R8G8B8 && backBuffer == D3DFMT_A8R8G8B8;
}

bool isSupportedDepthFormat(D3DFORMAT format) {
  const GLCapabilities& caps = glCapabilities();
  switch (format) {
    case D3DFMT_D16:
    case D3DFMT_D24X8: return true;
    case D3DFMT_D24S8: return caps.depth24s8;
    case D3DFMT_D32: return caps.depth32;
    default: return false;
  }
}

}  // namespace d3d8gl
