// d3dx8_picture_fixtures.h — small picture files made in memory for the D3DX tests: JPEG and PNG
// written with libjpeg and libpng, TGA, BMP and DDS laid out byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace d3dx8test {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}
inline void append(Bytes& b, std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }

// ---- JPEG ---------------------------------------------------------------------------------------
// ARGB pixels (alpha ignored) to a baseline JPEG; grey writes one channel (the green).
inline Bytes makeJpeg(uint32_t width, uint32_t height, const std::vector<uint32_t>& argb, int quality = 95,
                      bool grey = false) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (!grey) {   // no chroma subsampling, so small pictures keep sharp colour edges
    for (int c = 0; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> row(width * 3);
  while (info.next_scanline < height) {
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t p = argb[info.next_scanline * width + x];
      if (grey) {
        row[x] = uint8_t(p >> 8);
      } else {
        row[3 * x] = uint8_t(p >> 16);
        row[3 * x + 1] = uint8_t(p >> 8);
        row[3 * x + 2] = uint8_t(p);
      }
    }
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&info, &r, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes bytes(out, out + size);
  free(out);
  return bytes;
}

// ---- PNG ----------------------------------------------------------------------------------------
inline void pngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
inline void pngFlush(png_structp) {}

// Rows of raw sample bytes in the given colour type and bit depth; `palette`/`trns` when asked.
inline Bytes makePng(uint32_t width, uint32_t height, int colourType, int bitDepth, const Bytes& samples,
                     const std::vector<png_color>& palette = {}, const Bytes& trns = {}, bool interlaced = false) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_IHDR(png, info, width, height, bitDepth, colourType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
  png_write_info(png, info);
  if (interlaced) png_set_interlace_handling(png);
  size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<png_bytep> rows;
  for (uint32_t y = 0; y < height; ++y) rows.push_back(const_cast<png_bytep>(samples.data() + y * rowBytes));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---- TGA ----------------------------------------------------------------------------------------
// Header for a picture of the given type (2 true colour, 3 grey, 10/11 run-length), bits per
// pixel and descriptor (0x20: top row first; low bits: alpha bits). The caller appends the pixels.
inline Bytes tgaHeader(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, uint8_t descriptor,
                       uint8_t idLength = 0) {
  Bytes b;
  append(b, {idLength, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  put16(b, width);
  put16(b, height);
  b.push_back(bits);
  b.push_back(descriptor);
  for (int i = 0; i < idLength; ++i) b.push_back(uint8_t('a' + i));
  return b;
}

// ---- BMP ----------------------------------------------------------------------------------------
// A BITMAPINFOHEADER file: `palette` as B, G, R, 0 quads; `rows` as stored (with their padding).
inline Bytes makeBmp(int32_t width, int32_t height, uint16_t bits, const Bytes& palette, const Bytes& rows,
                     uint32_t compression = 0, const std::vector<uint32_t>& masks = {}) {
  Bytes b;
  uint32_t offset = 14 + 40 + uint32_t(masks.size()) * 4 + uint32_t(palette.size());
  append(b, {'B', 'M'});
  put32(b, offset + uint32_t(rows.size()));
  put32(b, 0);
  put32(b, offset);
  put32(b, 40);
  put32(b, uint32_t(width));
  put32(b, uint32_t(height));
  put16(b, 1);
  put16(b, bits);
  put32(b, compression);
  put32(b, uint32_t(rows.size()));
  put32(b, 2835);
  put32(b, 2835);
  put32(b, uint32_t(palette.size() / 4));
  put32(b, 0);
  for (uint32_t m : masks) put32(b, m);
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), rows.begin(), rows.end());
  return b;
}

// ---- DDS ----------------------------------------------------------------------------------------
// A DDS header for a block format (fourCC) or for uncompressed pixels with masks (r, g, b, a);
// the caller appends the levels' data.
inline Bytes ddsHeader(uint32_t width, uint32_t height, uint32_t mipCount, uint32_t fourCc, uint32_t bits = 0,
                       std::initializer_list<uint32_t> masks = {0, 0, 0, 0}) {
  Bytes b;
  append(b, {'D', 'D', 'S', ' '});
  put32(b, 124);
  put32(b, 0x1007 | (mipCount > 1 ? 0x20000u : 0u));   // caps, height, width, pixel format, mip count
  put32(b, height);
  put32(b, width);
  put32(b, 0);
  put32(b, 0);
  put32(b, mipCount);
  for (int i = 0; i < 11; ++i) put32(b, 0);
  put32(b, 32);
  const uint32_t* m = masks.begin();
  uint32_t flags = fourCc ? 0x4 : (0x40 | (m[3] ? 0x1 : 0));
  put32(b, flags);
  put32(b, fourCc);
  put32(b, bits);
  for (uint32_t v : masks) put32(b, v);
  put32(b, 0x1000 | (mipCount > 1 ? 0x400008u : 0u));
  for (int i = 0; i < 4; ++i) put32(b, 0);
  return b;
}

}  // namespace d3dx8test
