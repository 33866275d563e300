// picture_bmp.cpp — BMP pictures: 1, 4 and 8 bits with a palette, 16, 24 and 32 bits (with or
// without bit-field masks), bottom-up or top-down, rows padded to four bytes. stb_image decodes;
// we first check the header, that every row is in the file and that every palette index names
// an entry of the palette (stb would read zeros past the end, or an unset palette entry).
// Run-length BMPs and the old 12-byte OS/2 header are refused.
#include "platform/d3dx8/picture.h"

#include <cstdlib>

namespace d3dx8 {
namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

constexpr size_t kFileHeaderSize = 14;

bool indicesInPalette(const uint8_t* pixels, size_t stride, uint32_t width, uint32_t rows, uint32_t bits,
                      uint32_t entries) {
  for (uint32_t y = 0; y < rows; ++y) {
    const uint8_t* row = pixels + y * stride;
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t bit = x * bits;
      uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
      if (index >= entries) return false;
    }
  }
  return true;
}

}  // namespace

HRESULT decodeBmp(const uint8_t* data, size_t size, Picture& picture) {
  picture = Picture{};
  if (!data || size < kFileHeaderSize + 40 || data[0] != 'B' || data[1] != 'M') return D3DXERR_INVALIDDATA;
  uint32_t pixelOffset = le32(data + 10);
  uint32_t infoSize = le32(data + 14);
  if (infoSize != 40 && infoSize != 56 && infoSize != 108 && infoSize != 124) return D3DXERR_INVALIDDATA;
  if (kFileHeaderSize + infoSize > size) return D3DXERR_INVALIDDATA;
  int32_t signedWidth = int32_t(le32(data + 18));
  int32_t signedHeight = int32_t(le32(data + 22));
  uint32_t planes = le16(data + 26), bits = le16(data + 28), compression = le32(data + 30);
  if (signedWidth <= 0 || signedHeight == 0 || signedHeight == INT32_MIN || planes != 1) return D3DXERR_INVALIDDATA;
  uint32_t width = uint32_t(signedWidth), height = uint32_t(std::abs(signedHeight));
  if (!pictureSizeAllowed(width, height)) return D3DXERR_INVALIDDATA;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return D3DXERR_INVALIDDATA;
  if (compression != 0 && !(compression == 3 && (bits == 16 || bits == 32))) return D3DXERR_INVALIDDATA;

  uint64_t rowBytes = (uint64_t(width) * bits + 7) / 8;
  uint64_t stride = (rowBytes + 3) & ~uint64_t(3);
  if (pixelOffset > size || stride * (height - 1) + rowBytes > size - pixelOffset) return D3DXERR_INVALIDDATA;
  if (bits <= 8) {
    uint64_t paletteStart = kFileHeaderSize + infoSize;
    if (pixelOffset < paletteStart) return D3DXERR_INVALIDDATA;
    uint64_t entries = (pixelOffset - paletteStart) / 4;
    if (entries == 0 || entries > 256) return D3DXERR_INVALIDDATA;
    if (!indicesInPalette(data + pixelOffset, size_t(stride), width, height, bits, uint32_t(entries)))
      return D3DXERR_INVALIDDATA;
  }
  picture.levels.emplace_back();
  if (!decodeWithStb(data, size, picture.levels[0])) {
    picture = Picture{};
    return D3DXERR_INVALIDDATA;
  }
  picture.format = formatByAlpha(picture.levels[0]);
  picture.fileFormat = D3DXIFF_BMP;
  return D3D_OK;
}

}  // namespace d3dx8
