// d3dx8_texture_test.cpp — textures made from pictures on the real OpenGL device of the offscreen
// driver, checked by locking their levels: format conversion, mip levels, sizes, DDS blocks kept
// as they are, colour key, drawing; refusals (bad bytes, a device saying no) against a fake device.
#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "d3d8_test_support.h"
#include "d3dx8_picture_fixtures.h"
#include "gfx_fakes.h"
#include "platform/d3dx8/d3dx8.h"
#include "platform/d3dx8/dxt_blocks.h"
#include "platform/d3dx8/picture.h"
#include "platform/d3dx8/picture_filters.h"

namespace {

using namespace d3dx8test;
using d3d8test::DeviceTest;
using d3d8test::kSize;

// ARGB pixels to a 32-bit top-down TGA.
Bytes tga32(uint32_t width, uint32_t height, const std::vector<uint32_t>& argb) {
  Bytes f = tgaHeader(2, uint16_t(width), uint16_t(height), 32, 0x28);
  for (uint32_t p : argb) append(f, {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16), uint8_t(p >> 24)});
  return f;
}

// A photo-like ARGB picture: gradients plus noise.
std::vector<uint32_t> photo(uint32_t width, uint32_t height) {
  std::vector<uint32_t> px(width * height);
  std::mt19937 random(3);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      uint32_t r = (x * 255 / width + random() % 9) & 255, g = (y * 200 / height + 20), b = ((x + y) * 100 / (width + height) + 60);
      px[y * width + x] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  return px;
}

class Textures : public DeviceTest {
 protected:
  IDirect3DTexture8* load(const Bytes& file, D3DFORMAT format, UINT levels = 1, UINT width = 0, UINT height = 0,
                          D3DCOLOR key = 0, D3DXIMAGE_INFO* info = nullptr) {
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, file.data(), UINT(file.size()), width, height, levels, 0,
                                                  format, D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, key, info,
                                                  nullptr, &texture),
              D3D_OK);
    return texture;
  }
  // The level's bytes, row after row without the pitch's slack (rows of blocks for DXT).
  static Bytes levelBytes(IDirect3DTexture8* texture, UINT level, UINT rowBytes, UINT rows) {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    Bytes out;
    for (UINT y = 0; y < rows; ++y) {
      auto* row = static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch;
      out.insert(out.end(), row, row + rowBytes);
    }
    texture->UnlockRect(level);
    return out;
  }
  static std::vector<uint32_t> levelWords(IDirect3DTexture8* texture, UINT level) {
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(level, &desc);
    Bytes bytes = levelBytes(texture, level, desc.Width * 4, desc.Height);
    std::vector<uint32_t> words(desc.Width * desc.Height);
    std::memcpy(words.data(), bytes.data(), bytes.size());
    return words;
  }
  static std::vector<uint16_t> levelShorts(IDirect3DTexture8* texture, UINT level) {
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(level, &desc);
    Bytes bytes = levelBytes(texture, level, desc.Width * 2, desc.Height);
    std::vector<uint16_t> shorts(desc.Width * desc.Height);
    std::memcpy(shorts.data(), bytes.data(), bytes.size());
    return shorts;
  }
};

// The real device, but slow to make textures: a large JPEG has long been decoded when it answers.
struct SlowCreatingDevice : FakeDevice {
  IDirect3DDevice8* real = nullptr;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override { return real->GetDeviceCaps(caps); }
  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** texture) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return real->CreateTexture(w, h, levels, usage, format, pool, texture);
  }
};

// Two pixels: orange at half alpha (0x80, 0xFF, 0x80, 0x00) and opaque dark blue (0x10, 0x20, 0xC0).
const Bytes kTwoPixels = tga32(2, 1, {0x80FF8000, 0xFF1020C0});

TEST_F(Textures, ConvertsToEveryPlainFormat) {
  // Per channel round(c · (2ⁿ − 1) / 255): 0x80 → 5 bits 16, 6 bits 32, 4 bits 8; 0x10 → 2, 4, 1;
  // 0x20 → 4 (5 bits), 8 (6 bits), 2 (4 bits); 0xC0 → 23, 11 (4 bits).
  struct Case {
    D3DFORMAT format;
    std::vector<uint16_t> expected;
  };
  const Case cases[] = {
      {D3DFMT_R5G6B5, {0xFC00, 0x1117}},     // 31<<11 | 32<<5 | 0;   2<<11 | 8<<5 | 23
      {D3DFMT_A1R5G5B5, {0xFE00, 0x8897}},   // 1 | 31 | 16 | 0;      1 | 2 | 4 | 23
      {D3DFMT_X1R5G5B5, {0xFE00, 0x8897}},
      {D3DFMT_A4R4G4B4, {0x8F80, 0xF12B}},   // 8 | 15 | 8 | 0;       15 | 1 | 2 | 11
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    IDirect3DTexture8* texture = load(kTwoPixels, c.format);
    ASSERT_NE(texture, nullptr);
    D3DSURFACE_DESC desc;
    texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, c.format);
    EXPECT_EQ(levelShorts(texture, 0), c.expected);
    texture->Release();
  }
  IDirect3DTexture8* argb = load(kTwoPixels, D3DFMT_A8R8G8B8);
  EXPECT_EQ(levelWords(argb, 0), (std::vector<uint32_t>{0x80FF8000, 0xFF1020C0}));
  argb->Release();
  IDirect3DTexture8* xrgb = load(kTwoPixels, D3DFMT_X8R8G8B8);
  EXPECT_EQ(levelWords(xrgb, 0), (std::vector<uint32_t>{0xFFFF8000, 0xFF1020C0}));
  xrgb->Release();
}

TEST_F(Textures, BuildsTheFullMipChainByBoxFiltering) {
  // 8 × 4: columns alternate black and white, rows alternate alpha 0xFF and 0x7F.
  std::vector<uint32_t> px(32);
  for (uint32_t y = 0; y < 4; ++y)
    for (uint32_t x = 0; x < 8; ++x) px[y * 8 + x] = (y % 2 ? 0x7F000000u : 0xFF000000u) | (x % 2 ? 0xFFFFFFu : 0u);
  IDirect3DTexture8* texture = load(tga32(8, 4, px), D3DFMT_A8R8G8B8, 0);
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(texture->GetLevelCount(), 4u);   // 8 × 4, 4 × 2, 2 × 1, 1 × 1
  D3DSURFACE_DESC desc;
  texture->GetLevelDesc(3, &desc);
  EXPECT_EQ(desc.Width, 1u);
  EXPECT_EQ(desc.Height, 1u);
  // Every 2 × 2 holds one black and one white pixel of each alpha: (0xFF + 0x7F) / 2 → 0xBF,
  // 0xFF / 2 → 0x80 (rounding half up). Further levels average equal pixels.
  for (UINT level = 1; level < 4; ++level) {
    std::vector<uint32_t> words = levelWords(texture, level);
    for (uint32_t w : words) EXPECT_EQ(w, 0xBF808080u) << "level " << level;
  }
  texture->Release();
}

TEST_F(Textures, CompressesJpegToDxt5CloseToThePicture) {
  // What the texture manager asks for a JPEG: its own size, a full chain, DXT5. At 512 × 256 the
  // JPEG is decoded while the device makes the texture.
  constexpr UINT kWide = 512, kHigh = 256, kBlocksWide = kWide / 4;
  std::vector<uint32_t> px = photo(kWide, kHigh);
  Bytes jpeg = makeJpeg(kWide, kHigh, px, 90);
  D3DXIMAGE_INFO info{};
  IDirect3DTexture8* texture = load(jpeg, D3DFMT_DXT5, 0, 0, 0, 0, &info);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(info.Width, kWide);
  EXPECT_EQ(info.Height, kHigh);
  EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
  EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
  EXPECT_EQ(info.MipLevels, 1u);
  ASSERT_EQ(texture->GetLevelCount(), 10u);

  d3dx8::Picture decoded;
  ASSERT_EQ(d3dx8::decodePicture(jpeg.data(), jpeg.size(), decoded), D3D_OK);
  const d3dx8::PixelImage& full = decoded.levels[0];
  Bytes blocks = levelBytes(texture, 0, kBlocksWide * 16, kHigh / 4);
  d3dx8::PixelImage back(kWide, kHigh);
  d3dx8::decodeDxtImage(D3DFMT_DXT5, blocks.data(), kBlocksWide * 16, back);
  double error = 0;
  for (size_t i = 0; i < back.count(); ++i)
    for (int shift : {0, 8, 16}) {
      double d = double((back.pixels[i] >> shift) & 255) - double((full.pixels[i] >> shift) & 255);
      error += d * d;
    }
  double psnr = 10 * std::log10(255.0 * 255 / (error / double(back.count() * 3)));
  EXPECT_GT(psnr, 32.0);
  EXPECT_EQ(back.pixels[0] >> 24, 255u);

  // The 1 × 1 level is the picture's mean colour (within rounding and block quantisation).
  Bytes last = levelBytes(texture, 9, 16, 1);
  uint32_t mean[16];
  d3dx8::decodeDxtBlock(D3DFMT_DXT5, last.data(), mean);
  double sum[3] = {};
  for (size_t i = 0; i < full.count(); ++i)
    for (int c = 0; c < 3; ++c) sum[c] += double((full.pixels[i] >> (8 * c)) & 255);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(double((mean[0] >> (8 * c)) & 255), sum[c] / double(full.count()), 8.0) << c;
  texture->Release();
}

TEST_F(Textures, LargeJpegLevelsMatchThePlainChainByteForByte) {
  // Large JPEGs are encoded by two threads while they decode (and, when the device is slower
  // than the decode, while it makes the texture); every level must be what the plain path makes:
  // the decoded picture, its halvings (top-left pixels for a point mip filter), each encoded
  // whole. Sizes include partial edge blocks and odd lower levels.
  struct Case {
    UINT width, height, levels;
    D3DFORMAT format;
    DWORD mipFilter;
    bool slowDevice;
  };
  const Case cases[] = {{512, 256, 0, D3DFMT_DXT5, D3DX_DEFAULT, false},
                        {514, 130, 0, D3DFMT_DXT5, D3DX_FILTER_BOX, false},
                        {256, 256, 3, D3DFMT_DXT1, D3DX_FILTER_POINT, false},
                        {262, 254, 2, D3DFMT_DXT3, D3DX_FILTER_TRIANGLE, false},
                        {514, 130, 0, D3DFMT_DXT5, D3DX_FILTER_BOX, true},
                        {256, 256, 3, D3DFMT_DXT1, D3DX_FILTER_POINT, true}};
  SlowCreatingDevice slow;
  slow.real = device;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << (c.slowDevice ? ", slow device" : ""));
    Bytes jpeg = makeJpeg(c.width, c.height, photo(c.width, c.height), 85);
    IDirect3DTexture8* texture = nullptr;
    IDirect3DDevice8* maker = c.slowDevice ? static_cast<IDirect3DDevice8*>(&slow) : device;
    ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(maker, jpeg.data(), UINT(jpeg.size()), 0, 0, c.levels, 0, c.format,
                                                  D3DPOOL_MANAGED, D3DX_DEFAULT, c.mipFilter, 0, nullptr, nullptr,
                                                  &texture),
              D3D_OK);
    d3dx8::Picture decoded;
    ASSERT_EQ(d3dx8::decodePicture(jpeg.data(), jpeg.size(), decoded), D3D_OK);
    d3dx8::PixelImage expected = std::move(decoded.levels[0]);
    UINT count = texture->GetLevelCount();
    EXPECT_EQ(count, c.levels ? c.levels : UINT(std::log2(std::max(c.width, c.height))) + 1);
    for (UINT level = 0; level < count; ++level) {
      if (level) expected = d3dx8::nextMipLevel(expected, c.mipFilter == D3DX_FILTER_POINT);
      UINT rowBytes = (expected.width + 3) / 4 * d3dx8::dxtBlockBytes(c.format), rows = (expected.height + 3) / 4;
      Bytes blocks(size_t(rowBytes) * rows);
      d3dx8::encodeDxtImage(c.format, expected, blocks.data(), rowBytes);
      EXPECT_EQ(levelBytes(texture, level, rowBytes, rows), blocks) << "level " << level;
    }
    texture->Release();
  }
}

TEST_F(Textures, DamagedLargeJpegMakesNothing) {
  // A good header with damaged data: the texture the device made meanwhile is given back.
  Bytes jpeg = makeJpeg(512, 256, photo(512, 256), 90);
  for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 64; ++i) jpeg[i] = 0xFF;
  IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(1);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(device, jpeg.data(), UINT(jpeg.size()), 0, 0, 0, 0, D3DFMT_DXT5,
                                                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
}

TEST_F(Textures, KeepsTheFileFormatAndDdsBlocksAsTheyAre) {
  // A DXT1 DDS with three levels, asked in its own format: the blocks arrive untouched.
  Bytes dds = ddsHeader(8, 8, 3, MAKEFOURCC('D', 'X', 'T', '1'));
  std::vector<Bytes> levelData;
  std::mt19937 random(9);
  for (UINT blocks : {4u, 1u, 1u}) {
    Bytes level;
    for (UINT i = 0; i < blocks * 8; ++i) level.push_back(uint8_t(random()));
    levelData.push_back(level);
    dds.insert(dds.end(), level.begin(), level.end());
  }
  D3DXIMAGE_INFO info{};
  IDirect3DTexture8* texture = load(dds, D3DFMT_UNKNOWN, 0, 0, 0, 0, &info);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(info.MipLevels, 3u);
  EXPECT_EQ(info.Format, D3DFMT_DXT1);
  D3DSURFACE_DESC desc;
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_DXT1);
  ASSERT_EQ(texture->GetLevelCount(), 4u);   // the file stops at 2 × 2; 1 × 1 is made
  EXPECT_EQ(levelBytes(texture, 0, 16, 2), levelData[0]);
  EXPECT_EQ(levelBytes(texture, 1, 8, 1), levelData[1]);
  EXPECT_EQ(levelBytes(texture, 2, 8, 1), levelData[2]);
  texture->Release();

  // D3DFMT_UNKNOWN: a JPEG stays X8R8G8B8, a TGA with alpha A8R8G8B8.
  IDirect3DTexture8* jpeg = load(makeJpeg(8, 8, photo(8, 8)), D3DFMT_UNKNOWN);
  jpeg->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
  jpeg->Release();
  IDirect3DTexture8* tga = load(kTwoPixels, D3DFMT_UNKNOWN);
  tga->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
  tga->Release();
}

TEST_F(Textures, ResizesToTheAskedSize) {
  // 4 × 2 → 16 × 16 (the texture manager's small second attempt does this), left half red, right
  // half blue: the left and right columns keep their colours, the middle blends.
  Bytes file = tga32(4, 2, {0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000, 0xFF0000FF, 0xFF0000FF});
  IDirect3DTexture8* texture = load(file, D3DFMT_R5G6B5, 0, 16, 16);
  ASSERT_NE(texture, nullptr);
  D3DSURFACE_DESC desc;
  texture->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Width, 16u);
  EXPECT_EQ(desc.Height, 16u);
  EXPECT_EQ(texture->GetLevelCount(), 5u);
  std::vector<uint16_t> px = levelShorts(texture, 0);
  EXPECT_EQ(px[5 * 16 + 0], 0xF800);
  EXPECT_EQ(px[5 * 16 + 15], 0x001F);
  EXPECT_NE(px[5 * 16 + 8] & 0xF800, 0);   // a blend of both near the middle
  EXPECT_NE(px[5 * 16 + 8] & 0x001F, 0);
  texture->Release();
}

TEST_F(Textures, ColourKeyMakesMatchingPixelsTransparentBlack) {
  Bytes file = tga32(3, 1, {0xFFFF00FF, 0xFF00FF00, 0xFFFF00FF});
  IDirect3DTexture8* texture = load(file, D3DFMT_A8R8G8B8, 1, 0, 0, 0xFFFF00FF);
  EXPECT_EQ(levelWords(texture, 0), (std::vector<uint32_t>{0, 0xFF00FF00, 0}));
  texture->Release();
}

TEST_F(Textures, DrawsWhatWasLoaded) {
  // A DXT5 texture from a JPEG of four colour quadrants, stretched over the screen.
  std::vector<uint32_t> px(32 * 32);
  for (uint32_t y = 0; y < 32; ++y)
    for (uint32_t x = 0; x < 32; ++x)
      px[y * 32 + x] = y < 16 ? (x < 16 ? 0xFFFF0000 : 0xFF00FF00) : (x < 16 ? 0xFF0000FF : 0xFFFFFFFF);
  IDirect3DTexture8* texture = load(makeJpeg(32, 32, px, 95), D3DFMT_DXT5, 0);
  ASSERT_NE(texture, nullptr);
  clear(0xFF000000);
  device->SetTexture(0, texture);
  drawQuad(0, 0, kSize, kSize, 0xFFFFFFFF);
  auto near = [](d3d8test::Rgb a, int r, int g, int b) {
    return std::abs(a.r - r) <= 12 && std::abs(a.g - g) <= 12 && std::abs(a.b - b) <= 12;
  };
  EXPECT_TRUE(near(pixel(16, 16), 255, 0, 0));
  EXPECT_TRUE(near(pixel(48, 16), 0, 255, 0));
  EXPECT_TRUE(near(pixel(16, 48), 0, 0, 255));
  EXPECT_TRUE(near(pixel(48, 48), 255, 255, 255));
  device->SetTexture(0, nullptr);
  texture->Release();
}

TEST_F(Textures, MakesPlainAndRenderTargetTextures) {
  IDirect3DTexture8* plain = nullptr;
  ASSERT_EQ(D3DXCreateTexture(device, 32, 16, 0, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &plain), D3D_OK);
  EXPECT_EQ(plain->GetLevelCount(), 6u);
  plain->Release();
  IDirect3DTexture8* target = nullptr;
  ASSERT_EQ(D3DXCreateTexture(device, 64, 64, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target), D3D_OK);
  D3DSURFACE_DESC desc;
  target->GetLevelDesc(0, &desc);
  EXPECT_EQ(desc.Usage, DWORD(D3DUSAGE_RENDERTARGET));
  EXPECT_EQ(target->GetLevelCount(), 1u);
  IDirect3DSurface8* surface = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &surface), D3D_OK);
  EXPECT_EQ(device->SetRenderTarget(surface, nullptr), D3D_OK);
  surface->Release();
  target->Release();
}

// ---- refusals -------------------------------------------------------------------------------------
// A device that records the texture it is asked for and answers with a set code.
struct RefusingDevice : FakeDevice {
  HRESULT answer = D3DERR_OUTOFVIDEOMEMORY;
  DWORD maxSize = 64;
  UINT askedWidth = 0, askedHeight = 0, askedLevels = 99;
  D3DFORMAT askedFormat = D3DFMT_UNKNOWN;
  D3DPOOL askedPool = D3DPOOL_DEFAULT;
  int creates = 0;
  HRESULT GetDeviceCaps(D3DCAPS8* caps) override {
    *caps = D3DCAPS8{};
    caps->MaxTextureWidth = caps->MaxTextureHeight = maxSize;
    return D3D_OK;
  }
  HRESULT CreateTexture(UINT w, UINT h, UINT levels, DWORD, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture8** texture) override {
    ++creates;
    askedWidth = w;
    askedHeight = h;
    askedLevels = levels;
    askedFormat = format;
    askedPool = pool;
    *texture = nullptr;
    return answer;
  }
};

TEST(TextureRefusals, DeviceCodesPassThroughAndSizesAreClampedToTheDevice) {
  RefusingDevice device;
  Bytes file = tga32(128, 16, std::vector<uint32_t>(128 * 16, 0xFF336699));
  IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(1);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, file.data(), UINT(file.size()), 0, 0, 0, 0, D3DFMT_R5G6B5,
                                                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(texture, nullptr);
  EXPECT_EQ(device.askedWidth, 64u);   // 128 clamped to the device's 64
  EXPECT_EQ(device.askedHeight, 16u);
  EXPECT_EQ(device.askedLevels, 0u);
  EXPECT_EQ(device.askedFormat, D3DFMT_R5G6B5);
  EXPECT_EQ(device.askedPool, D3DPOOL_MANAGED);

  device.answer = D3DERR_INVALIDCALL;
  EXPECT_EQ(D3DXCreateTexture(&device, 0, 1000, D3DX_DEFAULT, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device.askedWidth, 64u);   // default 256, clamped
  EXPECT_EQ(device.askedHeight, 64u);
  EXPECT_EQ(device.askedLevels, 0u);
}

TEST(TextureRefusals, LargeJpegsAnswerWithTheDecodeResultFirst) {
  // Decoding and the device's answer run side by side for large JPEGs; damaged bytes still
  // answer D3DXERR_INVALIDDATA, good bytes pass the device's refusal through.
  RefusingDevice device;
  device.maxSize = 4096;
  Bytes jpeg = makeJpeg(512, 256, photo(512, 256), 90);
  IDirect3DTexture8* texture = nullptr;
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, jpeg.data(), UINT(jpeg.size()), 0, 0, 0, 0, D3DFMT_DXT5,
                                                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(device.askedWidth, 512u);
  EXPECT_EQ(device.askedHeight, 256u);
  EXPECT_EQ(device.askedFormat, D3DFMT_DXT5);
  jpeg.resize(jpeg.size() / 2);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, jpeg.data(), UINT(jpeg.size()), 0, 0, 0, 0, D3DFMT_DXT5,
                                                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
}

TEST(TextureRefusals, BadBytesMakeNothing) {
  RefusingDevice device;
  IDirect3DTexture8* texture = reinterpret_cast<IDirect3DTexture8*>(1);
  const uint8_t garbage[] = {'B', 'M', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, garbage, sizeof garbage, 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                                D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DXERR_INVALIDDATA);
  EXPECT_EQ(texture, nullptr);
  EXPECT_EQ(device.creates, 0);
  EXPECT_LT(D3DXERR_INVALIDDATA, 0);
  EXPECT_EQ(D3DXCreateTextureFromFileInMemoryEx(&device, nullptr, 10, 0, 0, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
                                                D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, &texture),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(device.creates, 0);
}

}  // namespace
