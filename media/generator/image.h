// image.h — float RGB(A) pictures for the content generator: painting helpers, resampling,
// dithered quantisation and the JPEG and BMP writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace content {

struct Color {
  float r = 0, g = 0, b = 0;
};

Color mix(Color a, Color b, float t);
Color operator*(Color c, float s);
Color operator+(Color a, Color b);

float clamp01(float v);
float smoothstep(float edge0, float edge1, float x);

// Colour values are display-referred (sRGB-like), 0…1; alpha is straight (not premultiplied).
struct Image {
  int width = 0;
  int height = 0;
  std::vector<float> rgb;     // width * height * 3
  std::vector<float> alpha;   // width * height, empty for opaque pictures

  Image() = default;
  Image(int w, int h, bool withAlpha = false);
  Color get(int x, int y) const;
  void set(int x, int y, Color c);
  // Lays `c` over the pixel with coverage `a` (0…1).
  void blend(int x, int y, Color c, float a);
};

// Area-weighted resampling to another size (for supersampled painting and small pictures).
Image resample(const Image& source, int width, int height);

// Single-channel coverage or intensity field (text masks, glows).
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<float> v;

  Mask() = default;
  Mask(int w, int h) : width(w), height(h), v(size_t(w) * size_t(h), 0.0f) {}
  float at(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0.0f : v[size_t(y) * width + x];
  }
};

// Separable Gaussian blur; pixels outside the mask count as 0.
Mask gaussianBlur(const Mask& m, float sigma);

// Rounds to 8 bits per channel with a small deterministic dither (no banding in gradients).
// `ditherAmplitude` is in 8-bit steps; 0 rounds plainly (keeps exact black black).
std::vector<uint8_t> toRgb8(const Image& image, float ditherAmplitude, uint32_t seed);
std::vector<uint8_t> toRgba8(const Image& image, float ditherAmplitude, uint32_t seed);

// Writers; each returns false (with a message on stderr) when the file cannot be written.
// JPEG: baseline, 4:4:4 chroma, the given quality, no metadata that varies between runs.
bool writeJpeg(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, int quality);
// 24-bit bottom-up BMP with file header (what LoadBitmapA reads).
bool writeBmp24(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);
// 32-bit BMP with alpha (BITMAPV5 header, bit-field masks), bottom-up.
bool writeBmp32(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba);
bool writeText(const std::string& path, const std::string& text);

}  // namespace content
