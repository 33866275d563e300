// d3dx8_texture.cpp — D3DXCreateTextureFromFileInMemoryEx and D3DXCreateTexture: pictures decoded,
// resized, given their mip levels and written into device textures in the asked format.
//
// Each level is made from the one above it, converted straight into the texture's locked memory
// and uploaded once (at unlock). Large JPEGs decode on a helper thread while the device makes the
// texture. A DDS level already in the asked block format is copied as is.
// Device refusals are returned unchanged (callers tell out-of-video-memory apart).
#include "platform/d3dx8/d3dx8_texture.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>

#include "platform/d3dx8/dxt_blocks.h"
#include "platform/d3dx8/picture.h"
#include "platform/d3dx8/picture_filters.h"

using namespace d3dx8;

namespace {

bool isDefault(UINT value) { return value == 0 || value == D3DX_DEFAULT; }

UINT nextPowerOfTwo(UINT v) {
  UINT p = 1;
  while (p < v && p < 0x80000000u) p <<= 1;
  return p;
}

// The size the device can hold: a power of two when it insists, within its maximum.
void fitToDevice(const D3DCAPS8& caps, UINT& width, UINT& height) {
  if (caps.TextureCaps & D3DPTEXTURECAPS_POW2) {
    width = nextPowerOfTwo(width);
    height = nextPowerOfTwo(height);
  }
  if (caps.MaxTextureWidth) width = std::min<UINT>(width, caps.MaxTextureWidth);
  if (caps.MaxTextureHeight) height = std::min<UINT>(height, caps.MaxTextureHeight);
}

bool hasAlpha(D3DFORMAT format) {
  return format == D3DFMT_A8R8G8B8 || format == D3DFMT_A1R5G5B5 || format == D3DFMT_A4R4G4B4 ||
         format == D3DFMT_DXT3 || format == D3DFMT_DXT5;
}

// Formats we cannot write become the nearest one we can.
D3DFORMAT writableFormat(D3DFORMAT asked, D3DFORMAT own) {
  if (isWritableFormat(asked)) return asked;
  if (asked == D3DFMT_DXT2) return D3DFMT_DXT3;
  if (asked == D3DFMT_DXT4) return D3DFMT_DXT5;
  return hasAlpha(own) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
}

// Creates the texture; a device without the block formats gets an uncompressed one instead.
HRESULT createTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT levels, DWORD usage,
                      D3DFORMAT& format, D3DPOOL pool, IDirect3DTexture8** texture) {
  HRESULT result = device->CreateTexture(width, height, levels, usage, format, pool, texture);
  if (result == D3DERR_INVALIDCALL && isDxtFormat(format)) {
    D3DFORMAT plain = format == D3DFMT_DXT1 ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
    if (SUCCEEDED(device->CreateTexture(width, height, levels, usage, plain, pool, texture))) {
      format = plain;
      return D3D_OK;
    }
  }
  return result;
}

void applyColourKey(Picture& picture, D3DCOLOR key) {
  for (PixelImage& level : picture.levels) {
    uint32_t* p = level.pixels.get();
    for (size_t i = 0, n = level.count(); i < n; ++i)
      if (p[i] == key) p[i] = 0;
  }
  picture.blocks.clear();   // the file's blocks no longer match its pixels
}

bool isPointFilter(DWORD filter) {
  DWORD kind = filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE : (filter & 0xff);
  return kind == D3DX_FILTER_NONE || kind == D3DX_FILTER_POINT;
}

// Fills every level of the texture: level 0 from the picture (resized when the texture's size
// differs), each further level from the file's own when it has one of the right size, otherwise
// from the level above.
HRESULT fillLevels(IDirect3DTexture8* texture, D3DFORMAT format, const Picture& picture, DWORD filter,
                   DWORD mipFilter) {
  PixelImage made;
  const PixelImage* current = nullptr;
  bool fromFile = true;   // `current` is the file's own level
  for (UINT level = 0, count = texture->GetLevelCount(); level < count; ++level) {
    D3DSURFACE_DESC desc;
    HRESULT result = texture->GetLevelDesc(level, &desc);
    if (FAILED(result)) return result;
    if (fromFile && level < picture.levels.size() && picture.levels[level].width == desc.Width &&
        picture.levels[level].height == desc.Height) {
      current = &picture.levels[level];
    } else if (!current) {
      made = resizePicture(picture.levels[0], desc.Width, desc.Height, isPointFilter(filter));
      current = &made;
      fromFile = false;
    } else {
      PixelImage next = nextMipLevel(*current, isPointFilter(mipFilter));
      if (next.width != desc.Width || next.height != desc.Height)
        next = resizePicture(*current, desc.Width, desc.Height, isPointFilter(mipFilter));
      made = std::move(next);
      current = &made;
      fromFile = false;
    }
    D3DLOCKED_RECT locked;
    result = texture->LockRect(level, &locked, nullptr, 0);
    if (FAILED(result)) return result;
    auto* bits = static_cast<uint8_t*>(locked.pBits);
    if (fromFile && format == picture.format && level < picture.blocks.size()) {
      const std::vector<uint8_t>& blocks = picture.blocks[level];
      size_t rowBytes = size_t((desc.Width + 3) / 4) * dxtBlockBytes(format);
      for (size_t row = 0, rows = (desc.Height + 3) / 4; row < rows; ++row)
        std::memcpy(bits + row * size_t(locked.Pitch), blocks.data() + row * rowBytes, rowBytes);
    } else {
      writePicture(format, *current, bits, size_t(locked.Pitch));
    }
    texture->UnlockRect(level);
  }
  return D3D_OK;
}

// What the device is asked for, given the picture's size and own format.
struct TexturePlan {
  UINT width, height, levels;
  D3DFORMAT format;
};

TexturePlan planTexture(IDirect3DDevice8* device, uint32_t pictureWidth, uint32_t pictureHeight, D3DFORMAT own,
                        UINT width, UINT height, UINT mipLevels, D3DFORMAT format) {
  D3DCAPS8 caps{};
  device->GetDeviceCaps(&caps);
  TexturePlan plan{isDefault(width) ? pictureWidth : width, isDefault(height) ? pictureHeight : height,
                   isDefault(mipLevels) ? 0 : mipLevels, format == D3DFMT_UNKNOWN ? own : format};
  fitToDevice(caps, plan.width, plan.height);
  plan.format = writableFormat(plan.format, own);
  return plan;
}

// Large JPEGs are decoded on a helper thread while this thread has the device make the texture
// (the header alone gives the size, and a JPEG's own format is always X8R8G8B8): the device's
// allocation then costs no extra time. Returns false when the picture is not such a JPEG, or
// no thread could be started; `decoded` and `created` are the two results otherwise.
constexpr uint64_t kPixelsWorthAThread = 256 * 256;

bool decodeWhileCreating(IDirect3DDevice8* device, const uint8_t* data, size_t size, const TexturePlan& plan,
                         DWORD usage, D3DPOOL pool, Picture& picture, HRESULT& decoded, D3DFORMAT& format,
                         IDirect3DTexture8*& made, HRESULT& created) {
  try {
    std::thread decoder([&] { decoded = decodeJpeg(data, size, picture); });
    format = plan.format;
    created = createTexture(device, plan.width, plan.height, plan.levels, usage, format, pool, &made);
    decoder.join();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT dataSize,
                                            UINT width, UINT height, UINT mipLevels, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                            DWORD mipFilter, D3DCOLOR colorKey,
                                            D3DXIMAGE_INFO* sourceInfo, PALETTEENTRY* /*palette*/,
                                            IDirect3DTexture8** texture) {
  if (texture) *texture = nullptr;
  if (!device || !texture || !data || dataSize == 0) return D3DERR_INVALIDCALL;
  const auto* bytes = static_cast<const uint8_t*>(data);
  Picture picture;
  IDirect3DTexture8* made = nullptr;
  HRESULT decoded = D3DXERR_INVALIDDATA, created = D3DERR_INVALIDCALL;
  D3DFORMAT madeFormat = D3DFMT_UNKNOWN;
  uint32_t jpegWidth = 0, jpegHeight = 0;
  bool overlapped = false;
  if (readJpegSize(bytes, dataSize, jpegWidth, jpegHeight) && uint64_t(jpegWidth) * jpegHeight >= kPixelsWorthAThread &&
      colorKey == 0 && std::thread::hardware_concurrency() >= 2) {
    TexturePlan plan = planTexture(device, jpegWidth, jpegHeight, D3DFMT_X8R8G8B8, width, height, mipLevels, format);
    overlapped = decodeWhileCreating(device, bytes, dataSize, plan, usage, pool, picture, decoded, madeFormat, made,
                                     created);
  }
  if (!overlapped) decoded = decodePicture(bytes, dataSize, picture);
  if (FAILED(decoded)) {   // bad bytes win over a device refusal, and nothing is kept
    if (made) made->Release();
    return decoded;
  }
  if (sourceInfo) {
    sourceInfo->Width = picture.width();
    sourceInfo->Height = picture.height();
    sourceInfo->Depth = 1;
    sourceInfo->MipLevels = UINT(picture.levels.size());
    sourceInfo->Format = picture.format;
    sourceInfo->ImageFileFormat = picture.fileFormat;
  }
  if (!overlapped) {
    if (colorKey) applyColourKey(picture, colorKey);
    TexturePlan plan = planTexture(device, picture.width(), picture.height(), picture.format, width, height, mipLevels,
                                   format);
    madeFormat = plan.format;
    created = createTexture(device, plan.width, plan.height, plan.levels, usage, madeFormat, pool, &made);
  }
  if (FAILED(created)) return created;
  HRESULT result = fillLevels(made, madeFormat, picture, filter, mipFilter);
  if (FAILED(result)) {
    made->Release();
    return result;
  }
  *texture = made;
  return D3D_OK;
}

HRESULT D3DXCreateTexture(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                          D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
  if (texture) *texture = nullptr;
  if (!device || !texture) return D3DERR_INVALIDCALL;
  D3DCAPS8 caps{};
  device->GetDeviceCaps(&caps);
  if (isDefault(width)) width = 256;
  if (isDefault(height)) height = 256;
  fitToDevice(caps, width, height);
  if (format == D3DFMT_UNKNOWN) format = D3DFMT_A8R8G8B8;
  UINT levels = isDefault(mipLevels) ? 0 : mipLevels;
  HRESULT result = device->CreateTexture(width, height, levels, usage, format, pool, texture);
  // A render target in a format the device cannot draw into becomes the nearest one it can.
  if (result == D3DERR_INVALIDCALL && (usage & D3DUSAGE_RENDERTARGET)) {
    D3DFORMAT drawable = hasAlpha(format) ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    if (drawable != format) result = device->CreateTexture(width, height, levels, usage, drawable, pool, texture);
  }
  return result;
}
