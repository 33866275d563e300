// media_test_support.cpp — JPEG decoding through libjpeg (errors return instead of exiting) and
// whole-file reads.
#include "media_test_support.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace media_test {
namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void onError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1); }

}  // namespace

bool decodeJpeg(const uint8_t* data, size_t size, Picture* out) {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = onError;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out->width = int(cinfo.output_width);
  out->height = int(cinfo.output_height);
  out->components = cinfo.output_components;
  out->pixels.assign(size_t(out->width) * out->height * out->components, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out->pixels[size_t(cinfo.output_scanline) * out->width * out->components];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace media_test
