// d3dx8_pictures_test.cpp — the picture decoders on small files made here: known pixels for each
// format and layout (row order, palettes, padding, run-length packets, DXT blocks, DDS levels),
// refusal of truncated, damaged and garbage bytes, the DXT encoder's quality and the resampler.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "d3dx8_picture_fixtures.h"
#include "platform/d3dx8/dxt_blocks.h"
#include "platform/d3dx8/picture.h"
#include "platform/d3dx8/picture_filters.h"

namespace {

using namespace d3dx8test;
using d3dx8::Picture;
using d3dx8::PixelImage;

Picture decode(const Bytes& file, HRESULT expected = D3D_OK) {
  Picture picture;
  EXPECT_EQ(d3dx8::decodePicture(file.data(), file.size(), picture), expected);
  return picture;
}

std::vector<uint32_t> pixelsOf(const PixelImage& image) {
  return std::vector<uint32_t>(image.pixels.get(), image.pixels.get() + image.count());
}

// B, G, R (and A) bytes of an ARGB pixel as files store them.
void bgr(Bytes& b, uint32_t p) { append(b, {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)}); }
void bgra(Bytes& b, uint32_t p) {
  bgr(b, p);
  b.push_back(uint8_t(p >> 24));
}

// The 3 × 2 picture most fixtures hold: top row A B C, bottom row D E F.
constexpr uint32_t A = 0xFFFF0000, B = 0xFF00FF00, C = 0xFF0000FF, D = 0xFFFFFFFF, E = 0xFF000000, F = 0xFF804020;
const std::vector<uint32_t> kPicture = {A, B, C, D, E, F};

// ---- TGA --------------------------------------------------------------------------------------
struct FileCase {
  const char* name;
  Bytes file;
  uint32_t width, height;
  std::vector<uint32_t> pixels;
  D3DFORMAT format;
};

std::vector<FileCase> tgaCases() {
  std::vector<FileCase> cases;
  {  // 24 bits, bottom row first (descriptor 0)
    Bytes f = tgaHeader(2, 3, 2, 24, 0);
    for (uint32_t p : {D, E, F, A, B, C}) bgr(f, p);
    cases.push_back({"uncompressed 24-bit bottom-up", f, 3, 2, kPicture, D3DFMT_X8R8G8B8});
  }
  {  // 32 bits with alpha, top row first, and an image ID field to skip
    Bytes f = tgaHeader(2, 3, 2, 32, 0x28, 5);
    std::vector<uint32_t> px = {0x80FF0000, B, 0x00000000, D, E, 0x10804020};
    for (uint32_t p : px) bgra(f, p);
    cases.push_back({"uncompressed 32-bit top-down with ID", f, 3, 2, px, D3DFMT_A8R8G8B8});
  }
  {  // run-length 24 bits, bottom-up: the bottom row Y Y Y and the first Y of the top row are one
     // run packet across the row end; the top row's X X one raw packet.
    const uint32_t X = 0xFF102030, Y = 0xFFA0B0C0;
    Bytes f = tgaHeader(10, 3, 2, 24, 0);
    f.push_back(0x83);
    bgr(f, Y);
    f.push_back(0x01);
    bgr(f, X);
    bgr(f, X);
    cases.push_back({"run-length 24-bit bottom-up", f, 3, 2, {Y, X, X, Y, Y, Y}, D3DFMT_X8R8G8B8});
  }
  {  // run-length 32 bits, top-down: a raw packet of 2, a run of 4
    Bytes f = tgaHeader(10, 3, 2, 32, 0x28);
    f.push_back(0x01);
    bgra(f, 0x40112233);
    bgra(f, A);
    f.push_back(0x83);
    bgra(f, 0xC0445566);
    cases.push_back({"run-length 32-bit top-down", f, 3, 2,
                     {0x40112233, A, 0xC0445566, 0xC0445566, 0xC0445566, 0xC0445566}, D3DFMT_A8R8G8B8});
  }
  {  // 8-bit grey, bottom-up
    Bytes f = tgaHeader(3, 2, 2, 8, 0);
    append(f, {0x00, 0x40, 0x80, 0xFF});
    cases.push_back({"grey bottom-up", f, 2, 2, {0xFF808080, 0xFFFFFFFF, 0xFF000000, 0xFF404040}, D3DFMT_X8R8G8B8});
  }
  return cases;
}

// ---- BMP --------------------------------------------------------------------------------------
std::vector<FileCase> bmpCases() {
  std::vector<FileCase> cases;
  Bytes palette;
  for (uint32_t p : {A, B, C, D, E, F}) {
    bgr(palette, p);
    palette.push_back(0);
  }
  // 8 bits: three index bytes and one byte of padding per row, bottom row first.
  cases.push_back({"8-bit palette bottom-up padded", makeBmp(3, 2, 8, palette, {3, 4, 5, 0, 0, 1, 2, 0}), 3, 2,
                   kPicture, D3DFMT_X8R8G8B8});
  // 4 bits: 1½ bytes of indices, padded to 4 bytes.
  cases.push_back({"4-bit palette bottom-up padded", makeBmp(3, 2, 4, palette, {0x34, 0x50, 0, 0, 0x01, 0x20, 0, 0}),
                   3, 2, kPicture, D3DFMT_X8R8G8B8});
  {  // 24 bits, top-down (negative height): 9 bytes and 3 of padding per row
    Bytes rows;
    for (uint32_t p : {A, B, C}) bgr(rows, p);
    append(rows, {0, 0, 0});
    for (uint32_t p : {D, E, F}) bgr(rows, p);
    append(rows, {0, 0, 0});
    cases.push_back({"24-bit top-down padded", makeBmp(3, -2, 24, {}, rows), 3, 2, kPicture, D3DFMT_X8R8G8B8});
  }
  {  // 32 bits with alpha, bottom-up
    Bytes rows;
    std::vector<uint32_t> px = {0x80FF0000, B, C, 0x00FFFFFF, E, F};
    for (int i : {3, 4, 5, 0, 1, 2}) bgra(rows, px[i]);
    cases.push_back({"32-bit with alpha bottom-up", makeBmp(3, 2, 32, {}, rows), 3, 2, px, D3DFMT_A8R8G8B8});
  }
  {  // 16 bits R5G6B5 through bit-field masks, top-down, 2 bytes of padding per row
    Bytes rows;
    for (uint32_t v : {0xF800u, 0x07E0u, 0x001Fu}) put16(rows, v);
    put16(rows, 0);
    for (uint32_t v : {0xFFFFu, 0x0000u, 0x8208u}) put16(rows, v);
    put16(rows, 0);
    // 0x8208: r 16/31 → 132, g 16/63 → 65, b 8/31 → 66
    cases.push_back({"16-bit 565 bit fields", makeBmp(3, -2, 16, {}, rows, 3, {0xF800, 0x07E0, 0x001F}), 3, 2,
                     {A, B, C, D, E, 0xFF844142}, D3DFMT_X8R8G8B8});
  }
  return cases;
}

void expectDecodes(const FileCase& c, D3DXIMAGE_FILEFORMAT fileFormat) {
  SCOPED_TRACE(c.name);
  Picture picture = decode(c.file);
  ASSERT_EQ(picture.levels.size(), 1u);
  EXPECT_EQ(picture.width(), c.width);
  EXPECT_EQ(picture.height(), c.height);
  EXPECT_EQ(pixelsOf(picture.levels[0]), c.pixels);
  EXPECT_EQ(picture.format, c.format);
  EXPECT_EQ(picture.fileFormat, fileFormat);
}

TEST(Tga, DecodesEachLayoutToKnownPixels) {
  for (const FileCase& c : tgaCases()) expectDecodes(c, D3DXIFF_TGA);
}

TEST(Bmp, DecodesEachLayoutToKnownPixels) {
  for (const FileCase& c : bmpCases()) expectDecodes(c, D3DXIFF_BMP);
}

TEST(Bmp, RefusesIndicesBeyondThePaletteAndUnsupportedHeaders) {
  Bytes twoColours = {0, 0, 255, 0, 255, 0, 0, 0};
  decode(makeBmp(3, 1, 8, twoColours, {0, 1, 2, 0}), D3DXERR_INVALIDDATA);   // index 2 of 2 entries
  decode(makeBmp(4, 1, 8, twoColours, {0, 1, 1, 0}));                         // all inside: fine
  Bytes rle = makeBmp(4, 1, 8, twoColours, {0, 1, 1, 0}, 1);
  decode(rle, D3DXERR_INVALIDDATA);
  Bytes zeroHeight = makeBmp(4, 0, 8, twoColours, {});
  decode(zeroHeight, D3DXERR_INVALIDDATA);
  Bytes hugeHeight = makeBmp(4, INT32_MIN, 24, {}, Bytes(64));
  decode(hugeHeight, D3DXERR_INVALIDDATA);
}

TEST(Tga, RefusesColourMapsAndOddDepths) {
  Bytes mapped = tgaHeader(1, 1, 1, 8, 0);
  mapped[1] = 1;
  append(mapped, {0, 0, 0, 0});
  decode(mapped, D3DXERR_INVALIDDATA);
  Bytes odd = tgaHeader(2, 1, 1, 12, 0);
  append(odd, {0, 0});
  decode(odd, D3DXERR_INVALIDDATA);
  Bytes empty = tgaHeader(2, 0, 1, 24, 0);
  decode(empty, D3DXERR_INVALIDDATA);
}

// ---- JPEG and PNG -------------------------------------------------------------------------------
std::vector<uint32_t> quadrants(uint32_t size, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  std::vector<uint32_t> px(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) px[y * size + x] = y < size / 2 ? (x < size / 2 ? a : b) : (x < size / 2 ? c : d);
  return px;
}

void expectNear(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift : {0, 8, 16, 24})
    EXPECT_NEAR(int((actual >> shift) & 255), int((expected >> shift) & 255), tolerance)
        << std::hex << "got " << actual << " expected " << expected;
}

TEST(Jpeg, DecodesColourAndGreyWithRowsTopFirst) {
  Picture colour = decode(makeJpeg(16, 16, quadrants(16, A, B, C, D)));
  ASSERT_EQ(colour.width(), 16u);
  ASSERT_EQ(colour.height(), 16u);
  EXPECT_EQ(colour.format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(colour.fileFormat, D3DXIFF_JPG);
  const PixelImage& c = colour.levels[0];
  expectNear(c.row(3)[3], A, 6);
  expectNear(c.row(3)[12], B, 6);
  expectNear(c.row(12)[3], C, 6);
  expectNear(c.row(12)[12], D, 6);

  Picture grey = decode(makeJpeg(8, 8, quadrants(8, 0xFF000000, 0xFF404040, 0xFF808080, 0xFFC0C0C0), 95, true));
  const PixelImage& g = grey.levels[0];
  expectNear(g.row(1)[1], 0xFF000000, 4);
  expectNear(g.row(6)[6], 0xFFC0C0C0, 4);
  EXPECT_EQ(g.row(6)[1] & 0xFF, (g.row(6)[1] >> 16) & 0xFF);   // grey: red = blue
}

TEST(Png, DecodesEachColourTypeToKnownPixels) {
  struct Case {
    const char* name;
    Bytes file;
    std::vector<uint32_t> pixels;   // 2 × 2
    D3DFORMAT format;
  };
  std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  Bytes rgba = {255, 0, 0, 128, 0, 255, 0, 255, 0, 0, 255, 0, 255, 255, 255, 255};
  Bytes rgb16 = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00};
  std::vector<Case> cases = {
      {"RGBA", makePng(2, 2, PNG_COLOR_TYPE_RGBA, 8, rgba), {0x80FF0000, B, 0x000000FF, D}, D3DFMT_A8R8G8B8},
      {"RGB 16-bit", makePng(2, 2, PNG_COLOR_TYPE_RGB, 16, rgb16), {A, B, C, 0xFF808080}, D3DFMT_X8R8G8B8},
      {"palette with transparency", makePng(2, 2, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2, 0}, palette, {255, 64}),
       {A, 0x4000FF00, C, A}, D3DFMT_A8R8G8B8},
      {"grey 2-bit", makePng(2, 2, PNG_COLOR_TYPE_GRAY, 2, {0x10, 0xE0}), {0xFF000000, 0xFF555555, 0xFFFFFFFF, 0xFFAAAAAA},
       D3DFMT_X8R8G8B8},
      {"interlaced RGB", makePng(2, 2, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255}, {}, {}, true),
       {A, B, C, D}, D3DFMT_X8R8G8B8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Picture picture = decode(c.file);
    ASSERT_EQ(picture.levels.size(), 1u);
    EXPECT_EQ(pixelsOf(picture.levels[0]), c.pixels);
    EXPECT_EQ(picture.format, c.format);
    EXPECT_EQ(picture.fileFormat, D3DXIFF_PNG);
  }
}

// ---- DDS and DXT blocks -----------------------------------------------------------------------
// c0 red (0xF800), c1 blue (0x001F); each row's indices 0, 1, 2, 3 (byte 0b11100100).
const Bytes kRedBlueBlock = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
// Its four colours: c0, c1, (2 c0 + c1) / 3, (c0 + 2 c1) / 3.
const std::vector<uint32_t> kRedBlueRow = {0xFFFF0000, 0xFF0000FF, 0xFFAA0055, 0xFF5500AA};

std::vector<uint32_t> repeatRows(const std::vector<uint32_t>& row) {
  std::vector<uint32_t> out;
  for (int y = 0; y < 4; ++y) out.insert(out.end(), row.begin(), row.end());
  return out;
}

TEST(Dxt, DecodesHandMadeBlocks) {
  uint32_t px[16];
  d3dx8::decodeDxtBlock(D3DFMT_DXT1, kRedBlueBlock.data(), px);
  EXPECT_EQ(std::vector<uint32_t>(px, px + 16), repeatRows(kRedBlueRow));

  // c0 <= c1 in DXT1: three colours, index 2 the mean, index 3 transparent black.
  Bytes threeColour = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0xE4, 0xE4, 0xE4};
  d3dx8::decodeDxtBlock(D3DFMT_DXT1, threeColour.data(), px);
  EXPECT_EQ(std::vector<uint32_t>(px, px + 4), (std::vector<uint32_t>{0xFF0000FF, 0xFFFF0000, 0xFF7F007F, 0}));

  // DXT5: alpha 255 and 0 with pixel i using alpha index i % 8: 255, 0, then (6·255)/7 … 255/7.
  Bytes dxt5 = {255, 0};
  uint64_t bits = 0;
  for (int i = 0; i < 16; ++i) bits |= uint64_t(i % 8) << (3 * i);
  for (int i = 0; i < 6; ++i) dxt5.push_back(uint8_t(bits >> (8 * i)));
  dxt5.insert(dxt5.end(), kRedBlueBlock.begin(), kRedBlueBlock.end());
  d3dx8::decodeDxtBlock(D3DFMT_DXT5, dxt5.data(), px);
  const uint32_t alphas[8] = {255, 0, 219, 182, 146, 109, 73, 36};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(px[i] >> 24, alphas[i % 8]) << i;
  EXPECT_EQ(px[2] & 0xFFFFFF, 0xAA0055u);   // colour block in four-colour mode

  // DXT3: explicit 4-bit alpha, nibble n → n · 17.
  Bytes dxt3 = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};
  dxt3.insert(dxt3.end(), kRedBlueBlock.begin(), kRedBlueBlock.end());
  d3dx8::decodeDxtBlock(D3DFMT_DXT3, dxt3.data(), px);
  for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(px[i] >> 24, i * 17) << i;
}

TEST(Dds, ReadsBlockAndMaskFormatsWithTheirMipLevels) {
  {  // DXT1, 8 × 4 with levels 4 × 2 and 2 × 1: two blocks, then one, then one
    Bytes f = ddsHeader(8, 4, 3, MAKEFOURCC('D', 'X', 'T', '1'));
    for (int i = 0; i < 4; ++i) f.insert(f.end(), kRedBlueBlock.begin(), kRedBlueBlock.end());
    Picture p = decode(f);
    ASSERT_EQ(p.levels.size(), 3u);
    ASSERT_EQ(p.blocks.size(), 3u);
    EXPECT_EQ(p.format, D3DFMT_DXT1);
    EXPECT_EQ(p.fileFormat, D3DXIFF_DDS);
    EXPECT_EQ(p.levels[0].row(2)[6], 0xFFAA0055u);   // second block, column 2
    EXPECT_EQ(p.levels[2].width, 2u);
    EXPECT_EQ(p.levels[2].height, 1u);
    EXPECT_EQ(pixelsOf(p.levels[2]), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
    EXPECT_EQ(p.blocks[1], kRedBlueBlock);
  }
  {  // A8R8G8B8, 2 × 2 and 1 × 1
    Bytes f = ddsHeader(2, 2, 2, 0, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000});
    for (uint32_t v : {0x80FF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x00FFFFFFu, 0x12345678u}) put32(f, v);
    Picture p = decode(f);
    ASSERT_EQ(p.levels.size(), 2u);
    EXPECT_EQ(p.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(pixelsOf(p.levels[0]), (std::vector<uint32_t>{0x80FF0000, 0xFF00FF00, 0xFF0000FF, 0x00FFFFFF}));
    EXPECT_EQ(p.levels[1].pixels[0], 0x12345678u);
  }
  {  // R5G6B5 keeps its own format; 24-bit B, G, R becomes X8R8G8B8
    Bytes f = ddsHeader(2, 1, 1, 0, 16, {0xF800, 0x07E0, 0x001F, 0});
    put16(f, 0xF800);
    put16(f, 0x8208);
    Picture p = decode(f);
    EXPECT_EQ(p.format, D3DFMT_R5G6B5);
    EXPECT_EQ(pixelsOf(p.levels[0]), (std::vector<uint32_t>{A, 0xFF844142}));
    Bytes g = ddsHeader(1, 1, 1, 0, 24, {0xFF0000, 0xFF00, 0xFF, 0});
    append(g, {0x30, 0x20, 0x10});
    Picture q = decode(g);
    EXPECT_EQ(q.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(q.levels[0].pixels[0], 0xFF102030u);
  }
}

TEST(Dds, RefusesWhatItCannotShow) {
  auto withBlock = [](Bytes f) {
    f.insert(f.end(), kRedBlueBlock.begin(), kRedBlueBlock.end());
    return f;
  };
  Bytes cube = withBlock(ddsHeader(4, 4, 1, MAKEFOURCC('D', 'X', 'T', '1')));
  cube[4 + 108] = 0x00;
  cube[4 + 109] = 0x02;   // caps2: cube map
  decode(cube, D3DXERR_INVALIDDATA);
  decode(withBlock(ddsHeader(4, 4, 1, MAKEFOURCC('D', 'X', 'T', '2'))), D3DXERR_INVALIDDATA);
  decode(withBlock(ddsHeader(4, 4, 2, MAKEFOURCC('D', 'X', 'T', '1'))), D3DXERR_INVALIDDATA);   // level 2 missing
  Bytes scattered = ddsHeader(1, 1, 1, 0, 32, {0xF0F0, 0xFF0000, 0xFF, 0});
  put32(scattered, 0);
  decode(scattered, D3DXERR_INVALIDDATA);   // red mask not contiguous
  Bytes huge = ddsHeader(70000, 4, 1, MAKEFOURCC('D', 'X', 'T', '1'));
  decode(withBlock(huge), D3DXERR_INVALIDDATA);
}

// ---- damaged input ------------------------------------------------------------------------------
TEST(Pictures, EveryTruncationOfAGoodFileIsRefused) {
  std::vector<std::pair<const char*, Bytes>> files = {
      {"jpeg", makeJpeg(16, 16, quadrants(16, A, B, C, D))},
      {"png", makePng(2, 2, PNG_COLOR_TYPE_RGB, 8, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255})},
      {"tga", tgaCases()[1].file},
      {"tga run-length", tgaCases()[2].file},
      {"bmp", bmpCases()[3].file},   // 32 bits: no padding at the end to spare
      {"dds", ddsHeader(4, 4, 1, MAKEFOURCC('D', 'X', 'T', '1'))},
  };
  files.back().second.insert(files.back().second.end(), kRedBlueBlock.begin(), kRedBlueBlock.end());
  for (const auto& [name, file] : files) {
    SCOPED_TRACE(name);
    decode(file);
    for (size_t size = 0; size < file.size(); ++size) {
      Bytes cut(file.begin(), file.begin() + long(size));
      Picture picture;
      ASSERT_EQ(d3dx8::decodePicture(cut.data(), cut.size(), picture), D3DXERR_INVALIDDATA) << "size " << size;
      EXPECT_TRUE(picture.levels.empty());
    }
  }
}

TEST(Pictures, GarbageAfterEachSignatureIsRefused) {
  std::mt19937 random(5);
  const Bytes signatures[] = {{0xFF, 0xD8, 0xFF}, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, {'D', 'D', 'S', ' '}, {'B', 'M'}, {}};
  for (const Bytes& signature : signatures) {
    for (int round = 0; round < 200; ++round) {
      Bytes file = signature;
      size_t length = random() % 300;
      for (size_t i = 0; i < length; ++i) file.push_back(uint8_t(random()));
      if (signature.empty() && file.size() > 2) file[2] = 0x7F;   // no TGA image type
      Picture picture;
      ASSERT_EQ(d3dx8::decodePicture(file.data(), file.size(), picture), D3DXERR_INVALIDDATA);
    }
  }
  // A JPEG whose entropy data is damaged is refused, not shown half grey.
  Bytes jpeg = makeJpeg(16, 16, quadrants(16, A, B, C, D));
  for (size_t i = jpeg.size() - 40; i < jpeg.size() - 2; ++i) jpeg[i] = 0xFF;
  decode(jpeg, D3DXERR_INVALIDDATA);
}

// ---- the DXT encoder ------------------------------------------------------------------------------
// A photo-like picture: smooth gradients of different directions per channel plus noise.
PixelImage photo(uint32_t size, uint32_t seed) {
  PixelImage image(size, size);
  std::mt19937 random(seed);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) {
      auto channel = [&](double v) { return uint32_t(std::clamp(v + double(random() % 13) - 6.0, 0.0, 255.0)); };
      double fx = double(x) / size, fy = double(y) / size;
      uint32_t r = channel(128 + 110 * std::sin(6.0 * fx + 2.0 * fy));
      uint32_t g = channel(40 + 180 * fy * fx);
      uint32_t b = channel(200 - 150 * fx);
      image.row(y)[x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  return image;
}

double psnr(const PixelImage& a, const PixelImage& b, int shiftLimit = 24) {
  double sum = 0;
  size_t count = 0;
  for (size_t i = 0; i < a.count(); ++i)
    for (int shift = 0; shift < shiftLimit; shift += 8) {
      double d = double((a.pixels[i] >> shift) & 255) - double((b.pixels[i] >> shift) & 255);
      sum += d * d;
      ++count;
    }
  return 10 * std::log10(255.0 * 255.0 / (sum / double(count) + 1e-9));
}

PixelImage roundTrip(D3DFORMAT format, const PixelImage& image) {
  size_t pitch = size_t((image.width + 3) / 4) * d3dx8::dxtBlockBytes(format);
  std::vector<uint8_t> blocks(pitch * ((image.height + 3) / 4));
  d3dx8::encodeDxtImage(format, image, blocks.data(), pitch);
  PixelImage back(image.width, image.height);
  d3dx8::decodeDxtImage(format, blocks.data(), pitch, back);
  return back;
}

TEST(DxtEncoder, KeepsPhotosCloseInEveryFormat) {
  PixelImage image = photo(64, 1);
  for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
    PixelImage back = roundTrip(format, image);
    EXPECT_GT(psnr(image, back), 33.0) << format;
    EXPECT_EQ(back.pixels[100] >> 24, 255u);   // opaque stays opaque
  }
}

TEST(DxtEncoder, FastPathWritesTheSameBytesAsThePlainCode) {
  // Random blocks of every kind: noise, two colours, flat, gradients, opaque and not.
  std::mt19937 random(11);
  for (int round = 0; round < 4000; ++round) {
    uint32_t pixels[16];
    uint32_t base = random(), other = random();
    int kind = round % 4;
    for (uint32_t i = 0; i < 16; ++i) {
      uint32_t p = kind == 0 ? uint32_t(random()) : kind == 1 ? (random() % 2 ? base : other) : kind == 2 ? base
                 : (base & 0xFF000000u) | ((base + i * 0x0B0503u) & 0x00FFFFFFu);
      pixels[i] = round % 3 == 0 ? (p | 0xFF000000u) : p;
    }
    for (D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
      uint8_t fast[16], plain[16];
      d3dx8::encodeDxtBlock(format, pixels, fast);
      d3dx8::encodeDxtBlockPortable(format, pixels, plain);
      ASSERT_EQ(Bytes(fast, fast + d3dx8::dxtBlockBytes(format)), Bytes(plain, plain + d3dx8::dxtBlockBytes(format)))
          << "round " << round << " format " << format;
    }
  }
}

TEST(DxtEncoder, LargeLevelsSplitBetweenThreadsMatchBlockByBlock) {
  // 512 × 258: enough blocks for two threads, an odd number of block rows and a partial last row.
  d3dx8::PixelImage image(512, 258);
  std::mt19937 random(4);
  for (size_t i = 0; i < image.count(); ++i) image.pixels[i] = (i % 7 ? 0xFF000000u : 0x40000000u) | (random() & 0xFFFFFF);
  size_t pitch = 128 * 16;
  std::vector<uint8_t> blocks(pitch * 65);
  d3dx8::encodeDxtImage(D3DFMT_DXT5, image, blocks.data(), pitch);
  for (uint32_t by = 0; by < 65; ++by)
    for (uint32_t bx = 0; bx < 128; ++bx) {
      uint32_t pixels[16];
      for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t x = 0; x < 4; ++x) pixels[4 * y + x] = image.row(std::min(by * 4 + y, 257u))[bx * 4 + x];
      uint8_t expected[16];
      d3dx8::encodeDxtBlockPortable(D3DFMT_DXT5, pixels, expected);
      ASSERT_EQ(std::memcmp(expected, &blocks[by * pitch + bx * 16], 16), 0) << by << ", " << bx;
    }
}

TEST(DxtEncoder, FollowsColoursThatFallWhileOthersRise) {
  // Red falls as green rises: the block's colours lie on the box diagonal from (255, 0) to (0, 255)
  // (a fixed diagonal from the low to the high corner would make them all yellowish-grey).
  PixelImage image(4, 4);
  for (uint32_t i = 0; i < 16; ++i) image.pixels[i] = 0xFF000000u | (255 - 17 * i) << 16 | (17 * i) << 8 | 0x40;
  // Four colours for a ramp of sixteen leave up to about a sixth of the range (43) per pixel; the
  // wrong diagonal would be off by half the range.
  PixelImage back = roundTrip(D3DFMT_DXT1, image);
  for (uint32_t i = 0; i < 16; ++i) expectNear(back.pixels[i], image.pixels[i], 40);
}

TEST(DxtEncoder, KeepsAlpha) {
  PixelImage image(8, 4);   // left block: alpha ramp; right block: half cut out
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x)
      image.row(y)[x] = (x < 4 ? (y * 4 + x) * 17 : (x < 6 ? 0u : 255u)) << 24 | 0x00A06040;
  PixelImage dxt5 = roundTrip(D3DFMT_DXT5, image);
  PixelImage dxt3 = roundTrip(D3DFMT_DXT3, image);
  PixelImage dxt1 = roundTrip(D3DFMT_DXT1, image);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      int a = int(image.row(y)[x] >> 24);
      EXPECT_NEAR(int(dxt5.row(y)[x] >> 24), a, 19);   // half a step of eight levels over 0…255
      EXPECT_NEAR(int(dxt3.row(y)[x] >> 24), a, 8);
      if (x >= 4) EXPECT_EQ(dxt1.row(y)[x], x < 6 ? 0u : dxt1.row(y)[x] | 0xFF000000u) << x;   // punch-through
    }
  EXPECT_EQ(dxt1.row(0)[7] >> 24, 255u);
  expectNear(dxt1.row(0)[7], 0xFFA06040, 8);
}

// ---- resampling -------------------------------------------------------------------------------
PixelImage greyRow(std::initializer_list<uint32_t> values) {
  PixelImage image(uint32_t(values.size()), 1);
  uint32_t i = 0;
  for (uint32_t v : values) image.pixels[i++] = 0xFF000000u | v * 0x010101u;
  return image;
}

std::vector<uint32_t> greys(const PixelImage& image) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < image.count(); ++i) out.push_back(image.pixels[i] & 255);
  return out;
}

TEST(Resample, TriangleFilterEnlargesBilinearlyAndShrinksByArea) {
  // Enlarging 2 → 4: sample centres at −¼, ¼, ¾, 1¼ source pixels (edges clamp).
  EXPECT_EQ(greys(d3dx8::resizePicture(greyRow({0, 255}), 4, 1, false)), (std::vector<uint32_t>{0, 64, 191, 255}));
  // Shrinking 4 → 2: a tent two pixels wide, weights ¼ ¾ ¾ ¼ around 0.5 and 2.5.
  EXPECT_EQ(greys(d3dx8::resizePicture(greyRow({0, 0, 255, 255}), 2, 1, false)), (std::vector<uint32_t>{32, 223}));
  // Nearest pixel with the point filter.
  EXPECT_EQ(greys(d3dx8::resizePicture(greyRow({10, 20, 30, 40}), 2, 1, true)), (std::vector<uint32_t>{20, 40}));
}

TEST(Resample, HalvedRowsRoundEveryChannelAtAnyWidth) {
  // Rows wide enough for the vector path and its leftovers, random pixels and all-ones extremes:
  // each channel is (a + b + c + d + 2) / 4.
  std::mt19937 random(11);
  for (uint32_t width = 1; width <= 11; ++width) {
    std::vector<uint32_t> top(2 * width), bottom(2 * width), out(width);
    for (uint32_t i = 0; i < 2 * width; ++i) {
      top[i] = i % 5 == 0 ? 0xFFFFFFFFu : uint32_t(random());
      bottom[i] = i % 7 == 0 ? 0xFFFFFFFFu : uint32_t(random());
    }
    d3dx8::halveRow(top.data(), bottom.data(), out.data(), width, false);
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t expected = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        uint32_t sum = (top[2 * x] >> shift & 255) + (top[2 * x + 1] >> shift & 255) +
                       (bottom[2 * x] >> shift & 255) + (bottom[2 * x + 1] >> shift & 255);
        expected |= (sum + 2) / 4 << shift;
      }
      EXPECT_EQ(out[x], expected) << "width " << width << ", pixel " << x;
    }
    d3dx8::halveRow(top.data(), bottom.data(), out.data(), width, true);
    for (uint32_t x = 0; x < width; ++x) EXPECT_EQ(out[x], top[2 * x]);
  }
}

TEST(Resample, MipLevelsAverageTwoByTwo) {
  PixelImage image(4, 2);
  const uint32_t px[8] = {0x00000000, 0xFF0000FF, 0x10203040, 0x10203040, 0xFF00FF00, 0x00FF0000, 0x30405060, 0x50607080};
  for (int i = 0; i < 8; ++i) image.pixels[i] = px[i];
  PixelImage level = d3dx8::nextMipLevel(image, false);
  ASSERT_EQ(level.width, 2u);
  ASSERT_EQ(level.height, 1u);
  // Alpha (0 + 255 + 255 + 0) / 4 = 127.5 → 128, each colour 255 / 4 → 64; the right four
  // average to (0x28, 0x38, 0x48, 0x58).
  EXPECT_EQ(pixelsOf(level), (std::vector<uint32_t>{0x80404040, 0x28384858}));
  PixelImage column = d3dx8::nextMipLevel(d3dx8::nextMipLevel(level, false), false);   // 1 × 1 stays
  EXPECT_EQ(column.width, 1u);
  EXPECT_EQ(column.pixels[0], 0x543C444Cu);   // pairs average rounding up
  // Odd sizes still halve (3 × 3 → 1 × 1) to a weighted mean of the neighbourhood.
  PixelImage odd(3, 3);
  for (int i = 0; i < 9; ++i) odd.pixels[i] = i == 4 ? 0xFFFFFFFF : 0xFF000000;
  PixelImage one = d3dx8::nextMipLevel(odd, false);
  ASSERT_EQ(one.count(), 1u);
  EXPECT_GT(one.pixels[0] & 255, 20u);
  EXPECT_LT(one.pixels[0] & 255, 200u);
}

}  // namespace
