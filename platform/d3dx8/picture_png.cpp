// picture_png.cpp — PNG pictures through libpng: every colour type, bit depth and interlacing,
// expanded to ARGB with libpng's own transformations.
//
// libpng reports errors by longjmp to the setjmp point of png_jmpbuf; reading past the end of
// the bytes is such an error, so a truncated file is refused.
#include "platform/d3dx8/picture.h"

#include <png.h>

#include <cstring>

namespace d3dx8 {
namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

void readBytes(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->offset) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->offset, count);
  reader->offset += count;
}

void ignoreWarning(png_structp, png_const_charp) {}
void failOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Kept apart from decodePng so that no object with a destructor lives across setjmp.
bool decodeInto(const uint8_t* data, size_t size, Picture& picture, png_bytep* rows) {
  Reader reader{data, size, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failOnError, ignoreWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, readBytes);
  png_set_benign_errors(png, 0);   // e.g. too little image data: refuse, never show garbage
  png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
  png_read_info(png, info);
  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  if (!pictureSizeAllowed(width, height)) png_error(png, "too large");

  // Whatever the file holds becomes 8-bit B, G, R, A.
  png_set_expand(png);   // palette → RGB, grey below 8 bits → 8 bits, tRNS → alpha
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_filler(png, 0xff, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected row layout");

  picture.levels.emplace_back(width, height);
  PixelImage& image = picture.levels.back();
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(image.row(y));
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

HRESULT decodePng(const uint8_t* data, size_t size, Picture& picture) {
  picture = Picture{};
  // Row pointers for the largest allowed height, made before libpng may jump.
  std::vector<png_bytep> rows(kMaxPictureSide);
  if (!decodeInto(data, size, picture, rows.data())) {
    picture = Picture{};
    return D3DXERR_INVALIDDATA;
  }
  picture.format = formatByAlpha(picture.levels[0]);
  picture.fileFormat = D3DXIFF_PNG;
  return D3D_OK;
}

}  // namespace d3dx8
