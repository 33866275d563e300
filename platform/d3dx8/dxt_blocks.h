// dxt_blocks.h — DXT1, DXT3 and DXT5 (S3TC) 4 × 4 blocks: decoding to ARGB and a fast encoder.
//
// The encoder takes the colour bounding box of each block, inset by 1/16 of its size, as the
// two endpoints (choosing the box diagonal that follows the colours' correlation), and picks
// each pixel's index by projecting it on the line between them; alpha is handled the same way.
// No iterative search: quality is good on photos, and large levels are split between two threads.
#pragma once

#include "platform/d3dx8/picture.h"

namespace d3dx8 {

bool isDxtFormat(D3DFORMAT format);
uint32_t dxtBlockBytes(D3DFORMAT format);   // 8 for DXT1, 16 for DXT3 and DXT5, 0 otherwise

// One block to 16 ARGB pixels, row by row.
void decodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t pixels[16]);
// A whole level: blocks row by row, ((width + 3) / 4) per row, `pitch` bytes apart.
void decodeDxtImage(D3DFORMAT format, const uint8_t* blocks, size_t pitch, PixelImage& image);

// 16 ARGB pixels, row by row, to one block.
void encodeDxtBlock(D3DFORMAT format, const uint32_t pixels[16], uint8_t* block);
// The same bytes without SIMD: the plain reference the vector code must match.
void encodeDxtBlockPortable(D3DFORMAT format, const uint32_t pixels[16], uint8_t* block);
// A whole level into rows of blocks `pitch` bytes apart; partial edge blocks repeat the last
// column and row.
void encodeDxtImage(D3DFORMAT format, const PixelImage& image, uint8_t* blocks, size_t pitch);
// The same for block rows firstRow … endRow − 1 only, on the calling thread (`blocks` is the
// level's first row; only image rows 4 × firstRow … 4 × endRow − 1 are read).
void encodeDxtBlockRows(D3DFORMAT format, const PixelImage& image, uint8_t* blocks, size_t pitch, uint32_t firstRow,
                        uint32_t endRow);

}  // namespace d3dx8
