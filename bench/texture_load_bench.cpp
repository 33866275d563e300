// texture_load_bench.cpp — the time to load a 1024 × 1024 JPEG into a mip-mapped texture through
// the texture manager (as the scene loads every picture: its own size, a full mip chain, DXT5 when
// the device offers it, managed pool) next to libjpeg-turbo decoding the same file alone, on the
// real device of the window system (the offscreen driver without a display). Prints both, their
// ratio (target ≤ 1.5) and the load's parts measured one by one.
//
// The picture is made here with libjpeg at quality 90 and looks like a photo: smooth gradients in
// every channel with a little noise on top.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include <jpeglib.h>

#include "assets/texture_manager.h"
#include "bench/bench_device.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx8/d3dx8.h"
#include "platform/d3dx8/dxt_blocks.h"
#include "platform/d3dx8/picture.h"
#include "platform/d3dx8/picture_filters.h"
#include "platform/heap_tuning.h"
#include "platform/win32/windows.h"

namespace {

constexpr uint32_t kSide = 1024;
constexpr int kRounds = 12;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::vector<uint8_t> makePhotoJpeg() {
  std::vector<uint8_t> rgb(size_t(kSide) * kSide * 3);
  std::mt19937 random(7);
  for (uint32_t y = 0; y < kSide; ++y)
    for (uint32_t x = 0; x < kSide; ++x) {
      double fx = double(x) / kSide, fy = double(y) / kSide;
      double base[3] = {120 + 90 * std::sin(5.0 * fx + 1.5 * fy), 60 + 150 * fy * (1.0 - 0.5 * fx),
                        200 - 120 * fx + 30 * std::cos(7.0 * fy)};
      for (int c = 0; c < 3; ++c)
        rgb[(size_t(y) * kSide + x) * 3 + c] = uint8_t(std::clamp(base[c] + double(random() % 17) - 8.0, 0.0, 255.0));
    }
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = kSide;
  info.image_height = kSide;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < kSide) {
    JSAMPROW row = &rgb[size_t(info.next_scanline) * kSide * 3];
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

// libjpeg-turbo alone: the whole file into one 32-bit-per-pixel buffer.
double decodeAlone(const std::vector<uint8_t>& file, J_DCT_METHOD method, std::vector<uint8_t>& pixels) {
  Clock::time_point start = Clock::now();
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), file.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGRA;
  info.dct_method = method;
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = &pixels[size_t(info.output_scanline) * info.output_width * 4];
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return millisecondsSince(start);
}


struct Breakdown {
  double decode = 1e30, mips = 1e30, encode = 1e30, oneThread = 1e30;
};

// The load's parts one by one: our decode, the box-filtered mip chain, the DXT5 blocks of every level.
void measureParts(const std::vector<uint8_t>& file, Breakdown& best) {
  Clock::time_point start = Clock::now();
  d3dx8::Picture picture;
  d3dx8::decodePicture(file.data(), file.size(), picture);
  best.decode = std::min(best.decode, millisecondsSince(start));
  start = Clock::now();
  std::vector<d3dx8::PixelImage> chain;
  const d3dx8::PixelImage* level = &picture.levels[0];
  while (level->width > 1 || level->height > 1) {
    chain.push_back(d3dx8::nextMipLevel(*level, false));
    level = &chain.back();
  }
  best.mips = std::min(best.mips, millisecondsSince(start));
  std::vector<uint8_t> blocks(size_t(kSide) * kSide);
  start = Clock::now();
  d3dx8::encodeDxtImage(D3DFMT_DXT5, picture.levels[0], blocks.data(), (kSide / 4) * 16);
  for (const d3dx8::PixelImage& image : chain)
    d3dx8::encodeDxtImage(D3DFMT_DXT5, image, blocks.data(), size_t((image.width + 3) / 4) * 16);
  best.encode = std::min(best.encode, millisecondsSince(start));
  start = Clock::now();
  d3dx8::encodeDxtBlockRows(D3DFMT_DXT5, picture.levels[0], blocks.data(), (kSide / 4) * 16, 0, kSide / 4);
  best.oneThread = std::min(best.oneThread, millisecondsSince(start));
}

}  // namespace

int main(int, char** argv) {
  adoptHugePageHeap(argv);   // the heap the program runs with (its entry does the same)
  BenchDevice bench;
  if (!openBenchDevice("texture_load_bench", 640, 480, bench)) return 1;
  IDirect3D8* direct3d = bench.direct3d;
  IDirect3DDevice8* device = bench.device;
  HWND window = bench.window;
  auto manager = std::make_unique<TextureManager>();
  manager->init(direct3d, device, D3DFMT_X8R8G8B8, window);

  std::vector<uint8_t> file = makePhotoJpeg();
  std::vector<uint8_t> pixels(size_t(kSide) * kSide * 4);
  std::printf("picture: %u x %u JPEG, quality 90, %zu bytes; texture format %s\n", kSide, kSide, file.size(),
              manager->compressionAvailable() && manager->compressedFormat() == D3DFMT_DXT5 ? "DXT5" : "other");

  // The load's parts first, apart (memory is reused from round to round, so these are warm figures).
  Breakdown parts;
  for (int round = 0; round < kRounds; ++round) measureParts(file, parts);

  // Then rounds alternate between the two so warm-up and machine load fall on both alike; best of
  // each. Every load makes a new texture that stays, as in the scene.
  double alone = 1e30, fast = 1e30, load = 1e30, create = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    alone = std::min(alone, decodeAlone(file, JDCT_ISLOW, pixels));
    fast = std::min(fast, decodeAlone(file, JDCT_IFAST, pixels));
    Clock::time_point start = Clock::now();
    TextureSlot slot = manager->loadFromMemory(file.data(), uint32_t(file.size()), "Bench.jpg", "Texture\\", false);
    load = std::min(load, millisecondsSince(start));
    if (slot.index < 0 || !manager->entry(slot.index).present) {
      std::fprintf(stderr, "texture_load_bench: the load failed\n");
      return 1;
    }
  }
  // Last, the device's share: making the same empty texture, kept like the loaded ones.
  std::vector<IDirect3DTexture8*> bare;
  for (int round = 0; round < kRounds; ++round) {
    Clock::time_point made = Clock::now();
    IDirect3DTexture8* empty = nullptr;
    if (device->CreateTexture(kSide, kSide, 0, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &empty) == D3D_OK) {
      create = std::min(create, millisecondsSince(made));
      bare.push_back(empty);
    }
  }
  manager->releaseAll();
  for (IDirect3DTexture8* t : bare) t->Release();
  std::printf("libjpeg-turbo decode alone (islow):      %7.2f ms\n", alone);
  std::printf("libjpeg-turbo decode alone (ifast):      %7.2f ms\n", fast);
  std::printf("loadFromMemory, DXT5 with 11 mip levels: %7.2f ms\n", load);
  std::printf("ratio load / decode alone:               %7.2f (target <= 1.50)\n", load / alone);
  std::printf("  the device alone making the empty 1024 x 1024 DXT5 texture with its chain: %.2f ms\n", create);
  std::printf("  parts measured apart: our decode %.2f ms, mip chain %.2f ms, DXT5 blocks of all levels\n"
              "  %.2f ms (two threads); level 0's blocks on one thread %.1f ns per block\n",
              parts.decode, parts.mips, parts.encode, parts.oneThread * 1e6 / double((kSide / 4) * (kSide / 4)));
  return 0;
}
