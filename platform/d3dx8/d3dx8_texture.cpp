// d3dx8_texture.cpp — D3DXCreateTextureFromFileInMemoryEx and D3DXCreateTexture: pictures decoded,
// resized, given their mip levels and written into device textures in the asked format.
//
// Each level is made from the one above it, converted straight into the texture's locked memory
// and uploaded once (at unlock). Large JPEGs decode on a helper thread while the device makes the
// texture; when they go into a block texture of their own size, both threads then share the
// encoding of every level (this thread starting on rows already decoded, the helper once it has
// decoded them all).
// A DDS level already in the asked block format is copied as is.
// Device refusals are returned unchanged (callers tell out-of-video-memory apart).
#include "platform/d3dx8/d3dx8_texture.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
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

// Below this many pixels a JPEG is not worth a helper thread.
constexpr uint64_t kPixelsWorthAThread = 256 * 256;

void describeJpeg(uint32_t width, uint32_t height, D3DXIMAGE_INFO* info) {
  if (!info) return;
  info->Width = width;
  info->Height = height;
  info->Depth = 1;
  info->MipLevels = 1;
  info->Format = D3DFMT_X8R8G8B8;
  info->ImageFileFormat = D3DXIFF_JPG;
}

// One JPEG decoded on a helper thread and encoded into every level of a block texture by both
// threads. The work is a list of items both take in order: the block rows of level 0 (each also
// makes the two level-1 rows below it, waiting for its rows to be decoded), the block rows of
// level 1 (each once the level-0 rows it comes from are done), and one item for all smaller
// levels. The helper takes items once it has decoded everything (into a spare while the device
// is still making the texture); this thread from the moment the texture is locked.
class StreamedJpeg final : public JpegRowTarget {
 public:
  // `format`: the block format the texture is expected in (level 0 of the picture's size), or
  // D3DFMT_UNKNOWN. Level 1 and a spare copy of level 0's blocks are taken now, before the
  // device takes its memory, so that they reuse pages already touched (fresh pages cost a fault
  // each); into the spare the helper encodes block rows while the device is still busy.
  // Level 1 is the box-filtered halving of level 0, or its top-left pixels with `point`.
  StreamedJpeg(uint32_t width, uint32_t height, D3DFORMAT format, bool withLevel1, bool point)
      : image(width, height), point_(point) {
    if (!isDxtFormat(format) || width % 2 || height % 2) return;
    if (withLevel1) level1_ = PixelImage(width / 2, height / 2);
    format_ = format;
    rows0_ = (height + 3) / 4;
    done0_.assign(rows0_, false);
    sparePitch_ = size_t((width + 3) / 4) * dxtBlockBytes(format);
    spare_.reset(new uint8_t[sparePitch_ * rows0_]);
  }

  PixelImage image;   // level 0 as decoded

  bool start(uint32_t width, uint32_t height) override { return width == image.width && height == image.height; }
  uint32_t* row(uint32_t y) override { return image.row(y); }
  void decoded(uint32_t rows) override {
    std::lock_guard<std::mutex> hold(mutex_);
    decodedRows_ = rows;
    changed_.notify_all();
  }
  void decodeEnded(bool ok) {
    std::lock_guard<std::mutex> hold(mutex_);
    decodeEnded_ = true;
    failed_ = !ok;
    changed_.notify_all();
  }

  // Whether the locked levels of a texture can be filled here: the format and level 0 given at
  // construction, level 1 only if it was made room for.
  bool canFill(D3DFORMAT format, size_t levels) const {
    return spare_ && format == format_ && (levels > 1) == bool(level1_.pixels);
  }
  // The locked levels to fill (pointer and pitch of each, as canFill allows): each below
  // level 0 halved from the one above.
  void setTargets(std::vector<D3DLOCKED_RECT> levels) {
    std::lock_guard<std::mutex> hold(mutex_);
    targetLevels_ = std::move(levels);
    rows1_ = targetLevels_.size() > 1 ? (level1_.height + 3) / 4 : 0;
    items_ = rows0_ + rows1_ + (targetLevels_.size() > 2 ? 1 : 0);
    targets_ = Targets::set;
    changed_.notify_all();
  }
  // Nothing to fill: the helper only decodes.
  void noTargets() {
    std::lock_guard<std::mutex> hold(mutex_);
    targets_ = Targets::none;
    changed_.notify_all();
  }

  // Takes items until none are left; returns early when the decode failed. Before the targets
  // are known, level-0 block rows go to the spare (the helper alone works then, after decoding).
  void work() {
    for (;;) {
      std::unique_lock<std::mutex> hold(mutex_);
      if (targets_ != Targets::unknown) break;
      if (!spare_ || !decodeEnded_ || next_.load() >= rows0_) {
        changed_.wait(hold, [&] { return targets_ != Targets::unknown; });
        break;
      }
      uint32_t item = next_.fetch_add(1);
      spareRows_ = item + 1;
      hold.unlock();
      encodeLevel0(item, spare_.get(), sparePitch_);
    }
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (targets_ == Targets::none) return;
    }
    for (;;) {
      uint32_t item = next_.fetch_add(1);
      if (item < rows0_) {
        if (!waitForRows(std::min(image.height, 4 * item + 4))) return;
        encodeLevel0(item, bits(0), pitch(0));
      } else if (item < rows0_ + rows1_) {
        uint32_t j = item - rows0_;
        if (!waitForLevel0(std::min(rows0_ - 1, 2 * j), std::min(rows0_ - 1, 2 * j + 1))) return;
        encodeDxtBlockRows(format_, level1_, bits(1), pitch(1), j, j + 1);
      } else if (item < items_) {
        if (!waitForLevel0(0, rows0_ - 1)) return;
        makeSmallerLevels();
      } else {
        return;
      }
    }
  }

  bool failed() {
    std::lock_guard<std::mutex> hold(mutex_);
    return failed_;
  }

  // Once both threads are done: the block rows made in the spare into level 0.
  void copySpareRows() {
    for (uint32_t row = 0; row < spareRows_; ++row)
      std::memcpy(bits(0) + row * pitch(0), spare_.get() + row * sparePitch_, sparePitch_);
  }

 private:
  enum class Targets { unknown, set, none };

  bool waitForRows(uint32_t rows) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] { return decodedRows_ >= rows || decodeEnded_; });
    return decodedRows_ >= rows && !failed_;
  }
  // Level-0 block rows first … last are done (all of them for 0 … rows0_ − 1).
  bool waitForLevel0(uint32_t first, uint32_t last) {
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [&] {
      if (failed_) return true;
      if (last - first > 1) return done0Count_ == rows0_;
      return done0_[first] && done0_[last];
    });
    return !failed_;
  }

  uint8_t* bits(size_t level) const { return static_cast<uint8_t*>(targetLevels_[level].pBits); }
  size_t pitch(size_t level) const { return size_t(targetLevels_[level].Pitch); }

  // Levels 2 and beyond, each halved from the one above and encoded whole.
  void makeSmallerLevels() {
    PixelImage current = nextMipLevel(level1_, point_);
    for (size_t level = 2; level < targetLevels_.size(); ++level) {
      if (level > 2) current = nextMipLevel(current, point_);
      encodeDxtBlockRows(format_, current, bits(level), pitch(level), 0, (current.height + 3) / 4);
    }
  }

  void encodeLevel0(uint32_t item, uint8_t* blocks, size_t pitch) {
    encodeDxtBlockRows(format_, image, blocks, pitch, item, item + 1);
    if (level1_.pixels) {
      for (uint32_t r = 2 * item; r < 2 * item + 2 && r < level1_.height; ++r)
        halveRow(image.row(2 * r), image.row(2 * r + 1), level1_.row(r), level1_.width, point_);
    }
    std::lock_guard<std::mutex> hold(mutex_);
    done0_[item] = true;
    ++done0Count_;
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t decodedRows_ = 0, done0Count_ = 0;
  bool decodeEnded_ = false, failed_ = false;
  Targets targets_ = Targets::unknown;
  std::vector<bool> done0_;
  std::atomic<uint32_t> next_{0};
  D3DFORMAT format_ = D3DFMT_UNKNOWN;
  std::vector<D3DLOCKED_RECT> targetLevels_;
  std::unique_ptr<uint8_t[]> spare_;
  size_t sparePitch_ = 0;
  uint32_t spareRows_ = 0;   // block rows 0 … spareRows_ − 1 were made in the spare
  const bool point_;
  uint32_t rows0_ = 0, rows1_ = 0, items_ = 0;
  PixelImage level1_;
};

// Locks every level of a block texture of the JPEG's own size whose levels are successive
// halvings, level 1 exact; false (nothing left locked) when the texture is not such, or a lock fails.
bool lockLevels(IDirect3DTexture8* texture, D3DFORMAT format, const PixelImage& image,
                std::vector<D3DLOCKED_RECT>& locked) {
  if (!isDxtFormat(format) || image.width % 2 || image.height % 2) return false;
  UINT count = texture->GetLevelCount();
  for (UINT level = 0; level < count; ++level) {
    D3DSURFACE_DESC desc;
    if (FAILED(texture->GetLevelDesc(level, &desc)) || desc.Width != std::max(1u, image.width >> level) ||
        desc.Height != std::max(1u, image.height >> level))
      return false;
  }
  locked.resize(count);
  for (UINT level = 0; level < count; ++level) {
    if (FAILED(texture->LockRect(level, &locked[level], nullptr, 0))) {
      while (level--) texture->UnlockRect(level);
      return false;
    }
  }
  return true;
}

// A large JPEG (no colour key) decoded on a helper thread while this thread has the device make
// the texture and then, for a block texture of the picture's size, encodes the rows decoded so
// far. Returns false, having started nothing, when no thread could be started; `result` and
// `*texture` are the outcome otherwise. Bad bytes win over a device refusal, and leave nothing.
bool loadLargeJpeg(IDirect3DDevice8* device, const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                   const TexturePlan& plan, DWORD usage, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                   D3DXIMAGE_INFO* sourceInfo, IDirect3DTexture8** texture, HRESULT& result) {
  bool ownSize = plan.width == width && plan.height == height;
  StreamedJpeg job(width, height, ownSize ? plan.format : D3DFMT_UNKNOWN, ownSize && plan.levels != 1,
                   isPointFilter(mipFilter));
  std::thread decoder;
  try {
    decoder = std::thread([&] {
      bool ok = decodeJpegRows(data, size, job);
      job.decodeEnded(ok);
      if (ok) job.work();
    });
  } catch (const std::system_error&) {
    return false;
  }
  D3DFORMAT format = plan.format;
  IDirect3DTexture8* made = nullptr;
  HRESULT created = createTexture(device, plan.width, plan.height, plan.levels, usage, format, pool, &made);
  std::vector<D3DLOCKED_RECT> locked;
  bool streamed = SUCCEEDED(created) && job.canFill(format, made->GetLevelCount()) &&
                  lockLevels(made, format, job.image, locked);
  if (streamed) {
    job.setTargets(std::move(locked));
    job.work();
  } else {
    job.noTargets();
  }
  decoder.join();
  if (job.failed()) {
    if (made) made->Release();   // its locked copies go with it
    result = D3DXERR_INVALIDDATA;
    return true;
  }
  describeJpeg(width, height, sourceInfo);
  if (FAILED(created)) {
    result = created;
    return true;
  }
  if (streamed) {
    job.copySpareRows();
    for (UINT level = 0, count = made->GetLevelCount(); level < count; ++level) made->UnlockRect(level);
    result = D3D_OK;
  } else {
    Picture picture;
    picture.levels.push_back(std::move(job.image));
    picture.format = D3DFMT_X8R8G8B8;
    picture.fileFormat = D3DXIFF_JPG;
    result = fillLevels(made, format, picture, filter, mipFilter);
  }
  if (FAILED(result)) {
    made->Release();
    return true;
  }
  *texture = made;
  return true;
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
  uint32_t jpegWidth = 0, jpegHeight = 0;
  if (readJpegSize(bytes, dataSize, jpegWidth, jpegHeight) && uint64_t(jpegWidth) * jpegHeight >= kPixelsWorthAThread &&
      colorKey == 0 && std::thread::hardware_concurrency() >= 2) {
    TexturePlan plan = planTexture(device, jpegWidth, jpegHeight, D3DFMT_X8R8G8B8, width, height, mipLevels, format);
    HRESULT result = D3DERR_INVALIDCALL;
    if (loadLargeJpeg(device, bytes, dataSize, jpegWidth, jpegHeight, plan, usage, pool, filter, mipFilter, sourceInfo,
                      texture, result))
      return result;
  }
  Picture picture;
  HRESULT decoded = decodePicture(bytes, dataSize, picture);
  if (FAILED(decoded)) return decoded;
  if (sourceInfo) {
    sourceInfo->Width = picture.width();
    sourceInfo->Height = picture.height();
    sourceInfo->Depth = 1;
    sourceInfo->MipLevels = UINT(picture.levels.size());
    sourceInfo->Format = picture.format;
    sourceInfo->ImageFileFormat = picture.fileFormat;
  }
  if (colorKey) applyColourKey(picture, colorKey);
  TexturePlan plan = planTexture(device, picture.width(), picture.height(), picture.format, width, height, mipLevels,
                                 format);
  D3DFORMAT madeFormat = plan.format;
  IDirect3DTexture8* made = nullptr;
  HRESULT created = createTexture(device, plan.width, plan.height, plan.levels, usage, madeFormat, pool, &made);
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
