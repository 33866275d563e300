// picture_tga.cpp — TGA pictures: true-colour (16, 24, 32 bits) and grey (8 bits), uncompressed or
// run-length encoded, either row order. stb_image decodes; we first check that the header makes
// sense and that the file holds every pixel it promises, since stb would read zeros past the end.
// Colour-mapped TGAs are refused.
#include "platform/d3dx8/picture.h"

namespace d3dx8 {
namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

constexpr size_t kHeaderSize = 18;

// Walks the run-length packets: true when they cover `pixels` within the bytes.
bool packetsComplete(const uint8_t* data, size_t size, size_t offset, uint64_t pixels, uint32_t pixelBytes) {
  uint64_t done = 0;
  while (done < pixels) {
    if (offset >= size) return false;
    uint8_t packet = data[offset++];
    uint64_t run = (packet & 0x7f) + 1u;
    uint64_t bytes = (packet & 0x80) ? pixelBytes : run * pixelBytes;
    if (bytes > size - offset) return false;
    offset += size_t(bytes);
    done += run;
  }
  return true;
}

}  // namespace

HRESULT decodeTga(const uint8_t* data, size_t size, Picture& picture) {
  picture = Picture{};
  if (!data || size < kHeaderSize) return D3DXERR_INVALIDDATA;
  uint32_t idLength = data[0], colorMapType = data[1], type = data[2];
  uint32_t width = le16(data + 12), height = le16(data + 14), bits = data[16];
  bool grey = type == 3 || type == 11;
  bool trueColour = type == 2 || type == 10;
  if (colorMapType != 0 || !(grey || trueColour)) return D3DXERR_INVALIDDATA;
  if (grey ? bits != 8 : (bits != 15 && bits != 16 && bits != 24 && bits != 32)) return D3DXERR_INVALIDDATA;
  if (width == 0 || height == 0 || !pictureSizeAllowed(width, height)) return D3DXERR_INVALIDDATA;
  uint32_t pixelBytes = (bits + 7) / 8;
  size_t offset = kHeaderSize + idLength;
  uint64_t pixels = uint64_t(width) * height;
  bool complete = type >= 8 ? packetsComplete(data, size, offset, pixels, pixelBytes)
                            : offset <= size && pixels * pixelBytes <= size - offset;
  if (!complete) return D3DXERR_INVALIDDATA;
  picture.levels.emplace_back();
  if (!decodeWithStb(data, size, picture.levels[0])) {
    picture = Picture{};
    return D3DXERR_INVALIDDATA;
  }
  picture.format = formatByAlpha(picture.levels[0]);
  picture.fileFormat = D3DXIFF_TGA;
  return D3D_OK;
}

}  // namespace d3dx8
