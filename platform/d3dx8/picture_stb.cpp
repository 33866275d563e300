// picture_stb.cpp — the one translation unit that compiles stb_image (Debian's libstb-dev), limited
// to the two formats we read with it, TGA and BMP, from memory only.
#include "platform/d3dx8/picture.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>

namespace d3dx8 {

// stb decodes to R, G, B, A bytes; we hand out ARGB words.
bool decodeWithStb(const uint8_t* data, size_t size, PixelImage& image) {
  if (size > size_t(INT32_MAX)) return false;
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgba = stbi_load_from_memory(data, int(size), &width, &height, &channels, 4);
  if (!rgba) return false;
  bool ok = width > 0 && height > 0 && pictureSizeAllowed(uint32_t(width), uint32_t(height));
  if (ok) image = imageFromRgbaBytes(rgba, uint32_t(width), uint32_t(height));
  stbi_image_free(rgba);
  return ok;
}

}  // namespace d3dx8
