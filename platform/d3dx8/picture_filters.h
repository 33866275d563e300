// picture_filters.h — resampling of ARGB pictures (to a new size, and the next mip level) and
// their conversion into the memory layout of each texture format.
#pragma once

#include "platform/d3dx8/picture.h"

namespace d3dx8 {

// A new size. Triangle filtering (bilinear when enlarging, a tent as wide as the reduction
// when shrinking; gamma-naive), or the nearest pixel with `point`.
PixelImage resizePicture(const PixelImage& source, uint32_t width, uint32_t height, bool point);

// The next mip level: half the size (at least 1). Exact halvings average 2 × 2 pixels (box);
// odd sizes fall back to the triangle filter; `point` keeps the top-left pixel of each 2 × 2.
PixelImage nextMipLevel(const PixelImage& source, bool point);
// One row of an exact halving (as nextMipLevel for even sizes): `width` output pixels from the
// two source rows `top` and `bottom` (2 × width pixels each).
void halveRow(const uint32_t* top, const uint32_t* bottom, uint32_t* out, uint32_t width, bool point);

// Texture formats a picture can be written in: A8R8G8B8, X8R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5,
// A4R4G4B4, DXT1, DXT3, DXT5.
bool isWritableFormat(D3DFORMAT format);

// Writes the picture into locked texture memory, `pitch` bytes per row (per row of blocks for
// DXT). The picture's size is the level's size.
void writePicture(D3DFORMAT format, const PixelImage& image, uint8_t* bits, size_t pitch);

}  // namespace d3dx8
