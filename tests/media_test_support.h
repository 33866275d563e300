// media_test_support.h — helpers for the media tests: JPEG decoding and file reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace media_test {

struct Picture {
  int width = 0;
  int height = 0;
  int components = 0;
  std::vector<uint8_t> pixels;   // rows top first, `components` bytes per pixel
  const uint8_t* at(int x, int y) const { return &pixels[(size_t(y) * width + x) * components]; }
};

// Decodes a JPEG held in memory; false when libjpeg rejects it.
bool decodeJpeg(const uint8_t* data, size_t size, Picture* out);
std::vector<uint8_t> readFile(const std::string& path);

}  // namespace media_test
