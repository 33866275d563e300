// picture_dds.cpp — DDS pictures: our own reader of the container (a 4-byte signature, a 124-byte
// header, then every mip level's data in turn) for DXT1, DXT3 and DXT5 blocks and uncompressed
// pixels described by bit masks (16, 24 or 32 bits, with or without alpha, or luminance).
// Cube maps, volumes, the DX10 extension and premultiplied DXT2/DXT4 are refused. Every level
// the header announces must be in the file.
#include "platform/d3dx8/picture.h"

#include <bit>

#include "platform/d3dx8/dxt_blocks.h"

namespace d3dx8 {
namespace {

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr size_t kHeaderEnd = 4 + 124;
constexpr uint32_t kFlagMipCount = 0x20000;
constexpr uint32_t kPixelAlpha = 0x1, kPixelFourCc = 0x4, kPixelRgb = 0x40, kPixelLuminance = 0x20000;
constexpr uint32_t kCaps2CubeMap = 0x200, kCaps2Volume = 0x200000;

struct Header {
  uint32_t width, height, mipCount, flags;
  uint32_t pixelFlags, fourCc, bitCount, masks[4];   // red, green, blue, alpha
  uint32_t caps2;
};

Header readHeader(const uint8_t* d) {
  Header h;
  h.flags = le32(d + 8);
  h.height = le32(d + 12);
  h.width = le32(d + 16);
  h.mipCount = le32(d + 28);
  h.pixelFlags = le32(d + 80);
  h.fourCc = le32(d + 84);
  h.bitCount = le32(d + 88);
  for (int i = 0; i < 4; ++i) h.masks[i] = le32(d + 92 + 4 * i);
  h.caps2 = le32(d + 112);
  return h;
}

// One channel of an uncompressed pixel: a contiguous bit mask scaled to 0…255.
struct Channel {
  uint32_t mask = 0, shift = 0;
  uint64_t maximum = 0;
  bool init(uint32_t m) {
    mask = m;
    if (!m) return true;
    shift = uint32_t(std::countr_zero(m));
    uint32_t bits = uint32_t(std::popcount(m));
    if ((uint64_t(m) >> shift) != (uint64_t(1) << bits) - 1) return false;   // not contiguous
    maximum = (uint64_t(1) << bits) - 1;
    return true;
  }
  uint32_t value(uint32_t pixel, uint32_t absent) const {
    if (!mask) return absent;
    return uint32_t((uint64_t((pixel & mask) >> shift) * 255 + maximum / 2) / maximum);
  }
};

D3DFORMAT ownUncompressedFormat(const Header& h, bool alpha) {
  const uint32_t* m = h.masks;
  auto is = [&](uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return h.bitCount == bits && m[0] == r && m[1] == g && m[2] == b && (alpha ? m[3] : 0) == a;
  };
  if (is(32, 0xff0000, 0xff00, 0xff, 0xff000000)) return D3DFMT_A8R8G8B8;
  if (is(32, 0xff0000, 0xff00, 0xff, 0)) return D3DFMT_X8R8G8B8;
  if (is(16, 0xf800, 0x7e0, 0x1f, 0)) return D3DFMT_R5G6B5;
  if (is(16, 0x7c00, 0x3e0, 0x1f, 0x8000)) return D3DFMT_A1R5G5B5;
  if (is(16, 0x7c00, 0x3e0, 0x1f, 0)) return D3DFMT_X1R5G5B5;
  if (is(16, 0xf00, 0xf0, 0xf, 0xf000)) return D3DFMT_A4R4G4B4;
  return alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;   // the nearest format textures have
}

void decodeUncompressed(const Header& h, const Channel ch[4], bool luminance, const uint8_t* src,
                        PixelImage& image) {
  uint32_t bytes = h.bitCount / 8;
  for (uint32_t y = 0; y < image.height; ++y) {
    uint32_t* out = image.row(y);
    for (uint32_t x = 0; x < image.width; ++x, src += bytes) {
      uint32_t pixel = 0;
      for (uint32_t i = 0; i < bytes; ++i) pixel |= uint32_t(src[i]) << (8 * i);
      uint32_t r = ch[0].value(pixel, 0);
      uint32_t g = luminance ? r : ch[1].value(pixel, 0);
      uint32_t b = luminance ? r : ch[2].value(pixel, 0);
      out[x] = ch[3].value(pixel, 255) << 24 | r << 16 | g << 8 | b;
    }
  }
}

}  // namespace

HRESULT decodeDds(const uint8_t* data, size_t size, Picture& picture) {
  picture = Picture{};
  if (!data || size < kHeaderEnd || le32(data) != MAKEFOURCC('D', 'D', 'S', ' ') || le32(data + 4) != 124)
    return D3DXERR_INVALIDDATA;
  Header h = readHeader(data);
  if (!pictureSizeAllowed(h.width, h.height) || (h.caps2 & (kCaps2CubeMap | kCaps2Volume)))
    return D3DXERR_INVALIDDATA;

  D3DFORMAT format = D3DFMT_UNKNOWN;
  Channel channels[4];
  bool luminance = false;
  if (h.pixelFlags & kPixelFourCc) {
    format = D3DFORMAT(h.fourCc);
    if (!isDxtFormat(format)) return D3DXERR_INVALIDDATA;
  } else if (h.pixelFlags & (kPixelRgb | kPixelLuminance)) {
    luminance = !(h.pixelFlags & kPixelRgb);
    bool alpha = h.pixelFlags & kPixelAlpha;
    if (h.bitCount != 8 && h.bitCount != 16 && h.bitCount != 24 && h.bitCount != 32) return D3DXERR_INVALIDDATA;
    uint32_t used = h.bitCount == 32 ? 0xffffffffu : (1u << h.bitCount) - 1;
    for (int i = 0; i < 4; ++i) {
      uint32_t mask = (i == 3 && !alpha) || (luminance && (i == 1 || i == 2)) ? 0 : h.masks[i];
      if ((mask & ~used) || !channels[i].init(mask)) return D3DXERR_INVALIDDATA;
    }
    if (!channels[0].mask) return D3DXERR_INVALIDDATA;
    format = luminance ? (alpha ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8) : ownUncompressedFormat(h, alpha);
  } else {
    return D3DXERR_INVALIDDATA;
  }

  uint32_t fullChain = 1;
  while ((h.width >> fullChain) || (h.height >> fullChain)) ++fullChain;
  uint32_t levels = (h.flags & kFlagMipCount) && h.mipCount > 1 ? std::min(h.mipCount, fullChain) : 1;

  // Every level must be present before anything is allocated.
  uint32_t blockBytes = dxtBlockBytes(format);
  auto levelBytes = [&](uint32_t level) -> uint64_t {
    uint64_t w = std::max(1u, h.width >> level), hh = std::max(1u, h.height >> level);
    if (blockBytes) return ((w + 3) / 4) * ((hh + 3) / 4) * blockBytes;
    return w * hh * (h.bitCount / 8);
  };
  uint64_t total = 0;
  for (uint32_t level = 0; level < levels; ++level) total += levelBytes(level);
  if (total > size - kHeaderEnd) return D3DXERR_INVALIDDATA;

  const uint8_t* src = data + kHeaderEnd;
  for (uint32_t level = 0; level < levels; ++level) {
    picture.levels.emplace_back(std::max(1u, h.width >> level), std::max(1u, h.height >> level));
    PixelImage& image = picture.levels.back();
    size_t bytes = size_t(levelBytes(level));
    if (blockBytes) {
      picture.blocks.emplace_back(src, src + bytes);
      decodeDxtImage(format, src, size_t((image.width + 3) / 4) * blockBytes, image);
    } else {
      decodeUncompressed(h, channels, luminance, src, image);
    }
    src += bytes;
  }
  picture.format = format;
  picture.fileFormat = D3DXIFF_DDS;
  return D3D_OK;
}

}  // namespace d3dx8
