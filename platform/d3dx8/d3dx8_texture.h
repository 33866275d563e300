// d3dx8_texture.h — textures from pictures held in memory (JPEG, PNG, TGA, BMP, DDS) and empty
// or render-target textures.
#pragma once

#include "platform/d3d8/d3d8.h"

#define D3DX_DEFAULT ((UINT)-1)

// Filter flags for the image and mip filters; D3DX_DEFAULT picks a good one.
#define D3DX_FILTER_NONE 0x00000001
#define D3DX_FILTER_POINT 0x00000002
#define D3DX_FILTER_LINEAR 0x00000003
#define D3DX_FILTER_TRIANGLE 0x00000004
#define D3DX_FILTER_BOX 0x00000005

enum D3DXIMAGE_FILEFORMAT {
  D3DXIFF_BMP = 0,
  D3DXIFF_JPG = 1,
  D3DXIFF_TGA = 2,
  D3DXIFF_PNG = 3,
  D3DXIFF_DDS = 4,
  D3DXIFF_FORCE_DWORD = 0x7fffffff
};

struct D3DXIMAGE_INFO {
  UINT Width;
  UINT Height;
  UINT Depth;
  UINT MipLevels;
  D3DFORMAT Format;
  D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
  BYTE peRed, peGreen, peBlue, peFlags;
};

// Decodes the picture and makes a texture of the asked size (0 or D3DX_DEFAULT: the file's;
// within the device's maximum), mip count (0 or D3DX_DEFAULT: the full chain), format
// (D3DFMT_UNKNOWN: the file's own) and pool. Resizing uses a triangle filter, mip levels a 2 × 2
// box (D3DX_FILTER_POINT / NONE pick pixels instead); a DDS level already in the asked block
// format is copied unchanged. A non-zero colour key turns exactly matching pixels (ARGB)
// transparent black. Undecodable bytes return D3DXERR_INVALIDDATA and make nothing; a device
// refusal returns the device's code (D3DERR_OUTOFVIDEOMEMORY, say). The palette is never used.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT dataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* sourceInfo, PALETTEENTRY* palette,
                                            IDirect3DTexture8** texture);

// An empty texture; sizes and format are adjusted to what the device accepts.
HRESULT D3DXCreateTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels,
                          DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture);

#define D3DXERR_INVALIDDATA MAKE_D3DHRESULT(2905)   // the bytes are not a picture we can decode
