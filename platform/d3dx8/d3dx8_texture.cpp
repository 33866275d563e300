// d3dx8_texture.cpp — D3DXCreateTextureFromFileInMemoryEx and D3DXCreateTexture: pictures decoded,
// resized, given their mip levels and written into device textures in the asked format.
//
// Each level is made from the one above it, converted straight into the texture's locked memory
// and uploaded once (at unlock). Large JPEGs are decoded, and their blocks encoded, on a helper
// thread while the device makes the texture. A DDS level already in the asked block format is copied as is.
// Device refusals are returned unchanged (callers tell out-of-video-memory apart).
#include "platform/d3dx8/d3dx8_texture.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
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

// A large JPEG's texture data made while the device makes the texture: the helper thread decodes,
// builds the mip chain and, when the texture is block-compressed at the picture's own size,
// encodes the blocks of every level into buffers of its own, in chunks of block rows. This
// thread joins in on the chunks once the device has answered, so the work is shared when the
// device is quick and hidden behind it when the device is slow.
constexpr uint64_t kPixelsWorthAThread = 256 * 256;
constexpr uint32_t kBlockRowsPerChunk = 16;

struct JpegLoad {
  JpegLoad(const uint8_t* bytes, size_t count, D3DFORMAT textureFormat, bool ahead, UINT levelCount)
      : data(bytes), size(count), format(textureFormat), encodeAhead(ahead), levels(levelCount) {}

  const uint8_t* data;
  size_t size;
  D3DFORMAT format;      // the texture's
  bool encodeAhead;      // blocks prepared before the texture exists
  UINT levels;           // level count the texture will have
  Picture picture;
  HRESULT decoded = D3DXERR_INVALIDDATA;
  std::vector<PixelImage> mips;                 // levels 1 …
  std::vector<std::vector<uint8_t>> blocks;     // per level, rows of blocks without slack
  struct Chunk {
    uint32_t level, first, end;
  };
  std::vector<Chunk> chunks;
  std::atomic<uint32_t> nextChunk{0};
  std::atomic<int> stage{0};   // 0 decoding, 1 chunks ready, 2 nothing to encode

  const PixelImage& level(uint32_t n) const { return n == 0 ? picture.levels[0] : mips[n - 1]; }
  size_t pitch(uint32_t n) const { return size_t((level(n).width + 3) / 4) * dxtBlockBytes(format); }

  void encodeChunks() {
    for (uint32_t c = nextChunk++; c < chunks.size(); c = nextChunk++)
      encodeDxtRows(format, level(chunks[c].level), blocks[chunks[c].level].data(), pitch(chunks[c].level),
                    chunks[c].first, chunks[c].end);
  }

  void prepare() {   // on the helper thread
    decoded = decodeJpeg(data, size, picture);
    if (FAILED(decoded) || !encodeAhead) {
      stage = 2;
      return;
    }
    for (UINT n = 1; n < levels; ++n) mips.push_back(nextMipLevel(level(n - 1), false));
    for (UINT n = 0; n < levels; ++n) {
      uint32_t rows = (level(n).height + 3) / 4;
      blocks.emplace_back(pitch(n) * rows);
      for (uint32_t first = 0; first < rows; first += kBlockRowsPerChunk)
        chunks.push_back({n, first, std::min(rows, first + kBlockRowsPerChunk)});
    }
    stage = 1;
    encodeChunks();
  }
};

UINT fullChainLength(UINT width, UINT height) {
  UINT levels = 1;
  while ((width >> levels) || (height >> levels)) ++levels;
  return levels;
}

// Copies the prepared blocks into the texture; false when the texture is not what was prepared
// for (the device chose another format or level count), and the caller fills it the usual way.
bool copyPreparedBlocks(IDirect3DTexture8* texture, D3DFORMAT format, const JpegLoad& load, HRESULT& result) {
  result = D3D_OK;
  if (format != load.format || texture->GetLevelCount() != load.levels) return false;
  for (UINT n = 0; n < load.levels; ++n) {
    D3DSURFACE_DESC desc;
    if (FAILED(texture->GetLevelDesc(n, &desc)) || desc.Width != load.level(n).width ||
        desc.Height != load.level(n).height)
      return false;
  }
  for (UINT n = 0; n < load.levels; ++n) {
    D3DLOCKED_RECT locked;
    result = texture->LockRect(n, &locked, nullptr, 0);
    if (FAILED(result)) return true;
    size_t rowBytes = load.pitch(n);
    const std::vector<uint8_t>& blocks = load.blocks[n];
    for (size_t row = 0, rows = blocks.size() / rowBytes; row < rows; ++row)
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + row * size_t(locked.Pitch), blocks.data() + row * rowBytes,
                  rowBytes);
    texture->UnlockRect(n);
  }
  return true;
}

// Runs the load's preparation beside the device's CreateTexture. False when no thread could be
// started (nothing has happened then).
bool prepareWhileCreating(IDirect3DDevice8* device, JpegLoad& load, const TexturePlan& plan, DWORD usage, D3DPOOL pool,
                          D3DFORMAT& format, IDirect3DTexture8*& made, HRESULT& created) {
  try {
    std::thread helper([&load] { load.prepare(); });
    format = plan.format;
    created = createTexture(device, plan.width, plan.height, plan.levels, usage, format, pool, &made);
    if (SUCCEEDED(created) && format == load.format) {
      while (load.stage == 0) std::this_thread::yield();
      if (load.stage == 1) load.encodeChunks();
    }
    helper.join();
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
  IDirect3DTexture8* made = nullptr;
  HRESULT decoded = D3DXERR_INVALIDDATA, created = D3DERR_INVALIDCALL;
  D3DFORMAT madeFormat = D3DFMT_UNKNOWN;
  uint32_t jpegWidth = 0, jpegHeight = 0;
  std::unique_ptr<JpegLoad> load;
  if (readJpegSize(bytes, dataSize, jpegWidth, jpegHeight) && uint64_t(jpegWidth) * jpegHeight >= kPixelsWorthAThread &&
      colorKey == 0 && std::thread::hardware_concurrency() >= 2) {
    TexturePlan plan = planTexture(device, jpegWidth, jpegHeight, D3DFMT_X8R8G8B8, width, height, mipLevels, format);
    UINT full = fullChainLength(plan.width, plan.height);
    UINT levels = plan.levels == 0 || plan.levels > full ? full : plan.levels;
    bool sameSize = plan.width == jpegWidth && plan.height == jpegHeight;
    bool boxMips = !isPointFilter(mipFilter);
    bool encodeAhead = isDxtFormat(plan.format) && sameSize && boxMips && !(usage & D3DUSAGE_RENDERTARGET);
    load = std::make_unique<JpegLoad>(bytes, dataSize, plan.format, encodeAhead, levels);
    if (!prepareWhileCreating(device, *load, plan, usage, pool, madeFormat, made, created)) load.reset();
  }
  Picture fallback;
  Picture& picture = load ? load->picture : fallback;
  if (load) decoded = load->decoded;
  else decoded = decodePicture(bytes, dataSize, picture);
  bool overlapped = load != nullptr;
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
  HRESULT result = D3D_OK;
  if (!(load && load->stage == 1 && copyPreparedBlocks(made, madeFormat, *load, result)))
    result = fillLevels(made, madeFormat, picture, filter, mipFilter);
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
