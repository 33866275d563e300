// picture.h — pictures decoded from files in memory: 32-bit ARGB pixels plus what the file said
// about itself. Shared by the decoders (one file per format), the resampler and the texture maker.
//
// Pixels are D3DCOLOR words (0xAARRGGBB; in memory B, G, R, A bytes), rows top to bottom, no
// padding. Every decoder returns D3D_OK or D3DXERR_INVALIDDATA; on failure the picture holds
// nothing. Decoders never read outside the given bytes and refuse pictures beyond the size limits
// below before allocating their pixels.
#pragma once

#include "platform/d3dx8/d3dx8_texture.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace d3dx8 {

// Largest picture we decode: 16384 on a side and 64 M pixels (256 MB of ARGB) in all.
constexpr uint32_t kMaxPictureSide = 16384;
constexpr uint64_t kMaxPicturePixels = 64ull << 20;

bool pictureSizeAllowed(uint64_t width, uint64_t height);

// A block of ARGB pixels whose contents start undefined (large pictures are never cleared twice).
struct PixelImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::unique_ptr<uint32_t[]> pixels;

  PixelImage() = default;
  PixelImage(uint32_t w, uint32_t h) : width(w), height(h), pixels(new uint32_t[size_t(w) * h]) {}
  uint32_t* row(uint32_t y) { return pixels.get() + size_t(y) * width; }
  const uint32_t* row(uint32_t y) const { return pixels.get() + size_t(y) * width; }
  size_t count() const { return size_t(width) * height; }
};

struct Picture {
  // levels[0] is the picture itself; a DDS file may bring further mip levels of its own.
  std::vector<PixelImage> levels;
  // The file's own block data per level when it stores DXT1/3/5 (same count as levels).
  std::vector<std::vector<uint8_t>> blocks;
  D3DFORMAT format = D3DFMT_UNKNOWN;   // the file's own surface format
  D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;

  uint32_t width() const { return levels.empty() ? 0 : levels[0].width; }
  uint32_t height() const { return levels.empty() ? 0 : levels[0].height; }
};

// Recognises the format by its signature (TGA, having none, is the last guess) and decodes.
HRESULT decodePicture(const uint8_t* data, size_t size, Picture& picture);

HRESULT decodeJpeg(const uint8_t* data, size_t size, Picture& picture);

// Where a JPEG decoded row by row puts its rows, for callers that use rows while the rest decode.
class JpegRowTarget {
 public:
  // Called once the header is read and the size allowed; false stops the decode.
  virtual bool start(uint32_t width, uint32_t height) = 0;
  // Where row `y` (width ARGB words) goes, asked for just before it is decoded; null stops the decode.
  virtual uint32_t* row(uint32_t y) = 0;
  // Rows 0 … rows − 1 are now decoded; called at least every 16 rows and at the end.
  virtual void decoded(uint32_t rows) = 0;

 protected:
  ~JpegRowTarget() = default;
};
// Decodes into the target (ISLOW, fancy upsampling, as decodeJpeg). False on bad bytes, on a size
// beyond the limits and when the target stopped the decode; the target's rows are then undefined.
bool decodeJpegRows(const uint8_t* data, size_t size, JpegRowTarget& target);
// The size from a JPEG's header alone; false when the bytes do not start a JPEG we would decode.
bool readJpegSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height);
HRESULT decodePng(const uint8_t* data, size_t size, Picture& picture);
HRESULT decodeTga(const uint8_t* data, size_t size, Picture& picture);
HRESULT decodeBmp(const uint8_t* data, size_t size, Picture& picture);
HRESULT decodeDds(const uint8_t* data, size_t size, Picture& picture);

// A8R8G8B8 when any pixel is less than opaque, X8R8G8B8 otherwise.
D3DFORMAT formatByAlpha(const PixelImage& image);

// TGA and BMP through stb_image; the callers check that the file is whole before (stb reads
// zeros past the end of its input instead of failing).
bool decodeWithStb(const uint8_t* data, size_t size, PixelImage& image);

// stb_image's RGBA byte output (4 bytes per pixel) copied into a new ARGB image.
PixelImage imageFromRgbaBytes(const uint8_t* rgba, uint32_t width, uint32_t height);

}  // namespace d3dx8
