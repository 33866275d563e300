// picture.cpp — picture format recognition and the helpers the decoders share.
#include "platform/d3dx8/picture.h"

#include <cstring>

namespace d3dx8 {

bool pictureSizeAllowed(uint64_t width, uint64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

D3DFORMAT formatByAlpha(const PixelImage& image) {
  const uint32_t* p = image.pixels.get();
  uint32_t all = 0xff000000u;
  for (size_t i = 0, n = image.count(); i < n; ++i) all &= p[i];
  return all == 0xff000000u ? D3DFMT_X8R8G8B8 : D3DFMT_A8R8G8B8;
}

PixelImage imageFromRgbaBytes(const uint8_t* rgba, uint32_t width, uint32_t height) {
  PixelImage image(width, height);
  uint32_t* out = image.pixels.get();
  for (size_t i = 0, n = image.count(); i < n; ++i, rgba += 4)
    out[i] = uint32_t(rgba[3]) << 24 | uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2];
  return image;
}

HRESULT decodePicture(const uint8_t* data, size_t size, Picture& picture) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
  picture = Picture{};
  if (!data || size == 0) return D3DXERR_INVALIDDATA;
  if (size >= 3 && data[0] == 0xff && data[1] == 0xd8 && data[2] == 0xff) return decodeJpeg(data, size, picture);
  if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return decodePng(data, size, picture);
  if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) return decodeDds(data, size, picture);
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return decodeBmp(data, size, picture);
  return decodeTga(data, size, picture);   // TGA has no signature
}

}  // namespace d3dx8
