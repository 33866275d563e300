// picture_jpeg.cpp — JPEG pictures through libjpeg-turbo, decoded straight into ARGB rows.
//
// libjpeg reports errors by calling error_exit, which must not return: ours jumps back here.
// Its warnings (premature end of data, corrupt entropy data) fill the rest of the picture with
// grey and carry on; we treat them as failures, so a truncated file is refused.
#include "platform/d3dx8/picture.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace d3dx8 {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void emitMessage(j_common_ptr info, int level) {
  if (level < 0) errorExit(info);   // a warning: the data is damaged
}

void outputMessage(j_common_ptr) {}

// Errors and warnings end the decode through the jump; nothing is printed.
jpeg_error_mgr* quietErrors(ErrorManager& errors) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors.base);
  errors.base.error_exit = errorExit;
  errors.base.emit_message = emitMessage;
  errors.base.output_message = outputMessage;
  return manager;
}

// Kept apart from its callers so that no object with a destructor lives across setjmp.
bool decodeInto(const uint8_t* data, size_t size, JpegRowTarget& target) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = quietErrors(errors);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK ||
      !pictureSizeAllowed(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  // libjpeg-turbo writes B, G, R, A bytes with A = 255: a D3DCOLOR word per pixel, no conversion.
  info.out_color_space = JCS_EXT_BGRA;
  info.dct_method = JDCT_ISLOW;   // with SIMD as fast as IFAST here, and exact
  jpeg_start_decompress(&info);
  if (!target.start(info.output_width, info.output_height)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  uint32_t told = 0;
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[4];
    JDIMENSION first = info.output_scanline;
    JDIMENSION n = 0;
    while (n < 4 && first + n < info.output_height) {
      uint32_t* row = target.row(first + n);
      if (!row) {
        jpeg_destroy_decompress(&info);
        return false;
      }
      rows[n] = reinterpret_cast<JSAMPROW>(row);
      ++n;
    }
    jpeg_read_scanlines(&info, rows, n);
    uint32_t done = info.output_scanline;
    if (done - told >= 16 || done == info.output_height) {
      target.decoded(done);
      told = done;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// Rows straight into the picture's first level.
class PictureRows final : public JpegRowTarget {
 public:
  explicit PictureRows(Picture& picture) : picture_(picture) {}
  bool start(uint32_t width, uint32_t height) override {
    picture_.levels.emplace_back(width, height);
    return true;
  }
  uint32_t* row(uint32_t y) override { return picture_.levels.back().row(y); }
  void decoded(uint32_t) override {}

 private:
  Picture& picture_;
};

bool readHeader(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height) {
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = quietErrors(errors);
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK && pictureSizeAllowed(info.image_width, info.image_height);
  width = info.image_width;
  height = info.image_height;
  jpeg_destroy_decompress(&info);
  return ok;
}

}  // namespace

bool readJpegSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height) {
  if (!data || size < 3 || data[0] != 0xff || data[1] != 0xd8 || data[2] != 0xff) return false;
  return readHeader(data, size, width, height);
}

bool decodeJpegRows(const uint8_t* data, size_t size, JpegRowTarget& target) {
  return decodeInto(data, size, target);
}

HRESULT decodeJpeg(const uint8_t* data, size_t size, Picture& picture) {
  picture = Picture{};
  PictureRows rows(picture);
  if (!decodeInto(data, size, rows)) {
    picture = Picture{};
    return D3DXERR_INVALIDDATA;
  }
  picture.format = D3DFMT_X8R8G8B8;
  picture.fileFormat = D3DXIFF_JPG;
  return D3D_OK;
}

}  // namespace d3dx8
