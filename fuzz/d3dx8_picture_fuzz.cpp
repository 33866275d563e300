// d3dx8_picture_fuzz.cpp — the picture decoders over arbitrary bytes (no device needed): a decode
// either fails leaving an empty picture, or delivers levels of the sizes it claims within the
// size limits; small results also go through the mip filter and the DXT encoder and decoder.
#include <cstdint>
#include <vector>

#include "platform/d3dx8/dxt_blocks.h"
#include "platform/d3dx8/picture.h"
#include "platform/d3dx8/picture_filters.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

void exercise(const d3dx8::PixelImage& image) {
  volatile uint32_t sink = 0;
  for (size_t i = 0; i < image.count(); ++i) sink = sink ^ image.pixels[i];   // every pixel readable
  if (image.count() > 64 * 64) return;
  d3dx8::PixelImage level = d3dx8::nextMipLevel(image, false);
  check(level.width == std::max(1u, image.width / 2) && level.height == std::max(1u, image.height / 2));
  size_t pitch = size_t((image.width + 3) / 4) * 16;
  std::vector<uint8_t> blocks(pitch * ((image.height + 3) / 4));
  d3dx8::encodeDxtImage(D3DFMT_DXT5, image, blocks.data(), pitch);
  d3dx8::PixelImage back(image.width, image.height);
  d3dx8::decodeDxtImage(D3DFMT_DXT5, blocks.data(), pitch, back);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  d3dx8::Picture picture;
  HRESULT result = d3dx8::decodePicture(data, size, picture);
  if (result != D3D_OK) {
    check(result == D3DXERR_INVALIDDATA && picture.levels.empty() && picture.blocks.empty());
    return 0;
  }
  check(!picture.levels.empty() && d3dx8::pictureSizeAllowed(picture.width(), picture.height()));
  check(picture.format != D3DFMT_UNKNOWN);
  check(picture.blocks.empty() || picture.blocks.size() == picture.levels.size());
  for (size_t level = 0; level < picture.levels.size(); ++level) {
    const d3dx8::PixelImage& image = picture.levels[level];
    check(image.width == std::max(1u, picture.width() >> level) && image.height == std::max(1u, picture.height() >> level));
    exercise(image);
  }
  return 0;
}
