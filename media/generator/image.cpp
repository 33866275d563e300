// image.cpp — float pictures: blending, area resampling, Gaussian blur, dithering, JPEG/BMP output.
#include "media/generator/image.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "media/generator/noise.h"
#include "tools/little_endian.h"

namespace content {

Color mix(Color a, Color b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
Color operator*(Color c, float s) { return {c.r * s, c.g * s, c.b * s}; }
Color operator+(Color a, Color b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

float clamp01(float v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

float smoothstep(float edge0, float edge1, float x) {
  float t = clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}

Image::Image(int w, int h, bool withAlpha)
    : width(w), height(h), rgb(size_t(w) * size_t(h) * 3, 0.0f) {
  if (withAlpha) alpha.assign(size_t(w) * size_t(h), 0.0f);
}

Color Image::get(int x, int y) const {
  const float* p = &rgb[(size_t(y) * width + x) * 3];
  return {p[0], p[1], p[2]};
}

void Image::set(int x, int y, Color c) {
  float* p = &rgb[(size_t(y) * width + x) * 3];
  p[0] = c.r;
  p[1] = c.g;
  p[2] = c.b;
}

void Image::blend(int x, int y, Color c, float a) {
  if (x < 0 || y < 0 || x >= width || y >= height || a <= 0) return;
  a = std::min(a, 1.0f);
  set(x, y, mix(get(x, y), c, a));
}

namespace {

// Weights of the source cells [i, i+1) overlapping the destination cell [d*scale, (d+1)*scale).
struct Span {
  int first = 0;
  std::vector<float> weights;
};

std::vector<Span> spans(int from, int to) {
  std::vector<Span> out(static_cast<size_t>(to));
  double scale = double(from) / to;
  for (int d = 0; d < to; ++d) {
    double lo = d * scale, hi = (d + 1) * scale;
    if (scale < 1) {   // enlarging: a tent between neighbours
      double c = (d + 0.5) * scale - 0.5;
      int i = int(std::floor(c));
      double f = c - i;
      int a = std::clamp(i, 0, from - 1), b = std::clamp(i + 1, 0, from - 1);
      out[d].first = std::min(a, b);
      if (a == b) out[d].weights = {1.0f};
      else out[d].weights = {float(1 - f), float(f)};
      continue;
    }
    int first = int(std::floor(lo)), last = std::min(from - 1, int(std::ceil(hi)) - 1);
    out[d].first = first;
    for (int i = first; i <= last; ++i) {
      double w = std::min(hi, double(i + 1)) - std::max(lo, double(i));
      out[d].weights.push_back(float(w / scale));
    }
  }
  return out;
}

}  // namespace

Image resample(const Image& source, int width, int height) {
  bool hasAlpha = !source.alpha.empty();
  std::vector<Span> xs = spans(source.width, width), ys = spans(source.height, height);
  // Colour is averaged premultiplied by alpha so transparent pixels do not bleed their colour.
  Image out(width, height, hasAlpha);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (size_t j = 0; j < ys[y].weights.size(); ++j) {
        int sy = ys[y].first + int(j);
        for (size_t i = 0; i < xs[x].weights.size(); ++i) {
          int sx = xs[x].first + int(i);
          double w = double(ys[y].weights[j]) * xs[x].weights[i];
          double sa = hasAlpha ? source.alpha[size_t(sy) * source.width + sx] : 1.0;
          Color c = source.get(sx, sy);
          r += w * sa * c.r;
          g += w * sa * c.g;
          b += w * sa * c.b;
          a += w * sa;
        }
      }
      if (hasAlpha) out.alpha[size_t(y) * width + x] = float(a);
      double inv = a > 1e-9 ? 1.0 / a : 0.0;
      out.set(x, y, {float(r * inv), float(g * inv), float(b * inv)});
    }
  }
  return out;
}

Mask gaussianBlur(const Mask& m, float sigma) {
  int radius = std::max(1, int(std::ceil(sigma * 3)));
  std::vector<float> kernel(size_t(2 * radius + 1));
  float sum = 0;
  for (int i = -radius; i <= radius; ++i) sum += kernel[size_t(i + radius)] = std::exp(-0.5f * i * i / (sigma * sigma));
  for (float& k : kernel) k /= sum;
  Mask tmp(m.width, m.height), out(m.width, m.height);
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      float s = 0;
      for (int i = -radius; i <= radius; ++i) s += kernel[size_t(i + radius)] * m.at(x + i, y);
      tmp.v[size_t(y) * m.width + x] = s;
    }
  for (int y = 0; y < m.height; ++y)
    for (int x = 0; x < m.width; ++x) {
      float s = 0;
      for (int i = -radius; i <= radius; ++i) s += kernel[size_t(i + radius)] * tmp.at(x, y + i);
      out.v[size_t(y) * m.width + x] = s;
    }
  return out;
}

namespace {

uint8_t quantize(float v, float dither) {
  float q = std::floor(clamp01(v) * 255.0f + 0.5f + dither);
  return uint8_t(std::clamp(q, 0.0f, 255.0f));
}

// Triangular dither in (-amplitude, amplitude); exact zero stays zero so black stays black.
float ditherAt(int x, int y, int channel, float amplitude, uint32_t seed) {
  if (amplitude <= 0) return 0;
  float a = hashUnit(uint32_t(x), uint32_t(y), uint32_t(channel), seed);
  float b = hashUnit(uint32_t(x), uint32_t(y), uint32_t(channel) + 7, seed ^ 0x9E3779B9u);
  return (a - b) * amplitude;
}

}  // namespace

std::vector<uint8_t> toRgb8(const Image& image, float ditherAmplitude, uint32_t seed) {
  std::vector<uint8_t> out(size_t(image.width) * image.height * 3);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x)
      for (int c = 0; c < 3; ++c) {
        size_t i = (size_t(y) * image.width + x) * 3 + c;
        float v = image.rgb[i];
        out[i] = v <= 0 ? 0 : quantize(v, ditherAt(x, y, c, ditherAmplitude, seed));
      }
  return out;
}

std::vector<uint8_t> toRgba8(const Image& image, float ditherAmplitude, uint32_t seed) {
  std::vector<uint8_t> rgb = toRgb8(image, ditherAmplitude, seed);
  std::vector<uint8_t> out(size_t(image.width) * image.height * 4);
  for (size_t i = 0; i < size_t(image.width) * image.height; ++i) {
    std::memcpy(&out[i * 4], &rgb[i * 3], 3);
    out[i * 4 + 3] = image.alpha.empty() ? 255 : quantize(image.alpha[i], 0);
  }
  return out;
}

namespace {

FILE* openForWrite(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::fprintf(stderr, "tarnwick3d-content: cannot write %s\n", path.c_str());
  return f;
}

bool finish(FILE* f, const std::string& path) {
  bool ok = std::ferror(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "tarnwick3d-content: error writing %s\n", path.c_str());
  return ok;
}

bool writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = openForWrite(path);
  if (!f) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  return finish(f, path);
}

}  // namespace

bool writeJpeg(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb, int quality) {
  FILE* f = openForWrite(path);
  if (!f) return false;
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.optimize_coding = TRUE;
  cinfo.dct_method = JDCT_ISLOW;
  for (int c = 0; c < 3; ++c) {   // no chroma subsampling: coloured edges stay clean
    cinfo.comp_info[c].h_samp_factor = 1;
    cinfo.comp_info[c].v_samp_factor = 1;
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(cinfo.next_scanline) * width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return finish(f, path);
}

bool writeBmp24(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
  size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
  std::vector<uint8_t> b;
  b.push_back('B');
  b.push_back('M');
  put32(b, uint32_t(14 + 40 + stride * height));
  put32(b, 0);
  put32(b, 14 + 40);
  put32(b, 40);
  put32(b, uint32_t(width));
  put32(b, uint32_t(height));   // positive: bottom-up rows
  put16(b, 1);
  put16(b, 24);
  put32(b, 0);                  // BI_RGB
  put32(b, uint32_t(stride * height));
  put32(b, 2835);               // 72 dpi
  put32(b, 2835);
  put32(b, 0);
  put32(b, 0);
  for (int y = height - 1; y >= 0; --y) {
    const uint8_t* row = &rgb[size_t(y) * width * 3];
    for (int x = 0; x < width; ++x) {
      b.push_back(row[x * 3 + 2]);
      b.push_back(row[x * 3 + 1]);
      b.push_back(row[x * 3 + 0]);
    }
    for (size_t p = size_t(width) * 3; p < stride; ++p) b.push_back(0);
  }
  return writeBytes(path, b);
}

bool writeBmp32(const std::string& path, int width, int height, const std::vector<uint8_t>& rgba) {
  constexpr uint32_t kHeader = 124;   // BITMAPV5HEADER
  std::vector<uint8_t> b;
  b.push_back('B');
  b.push_back('M');
  put32(b, uint32_t(14 + kHeader + size_t(width) * height * 4));
  put32(b, 0);
  put32(b, 14 + kHeader);
  put32(b, kHeader);
  put32(b, uint32_t(width));
  put32(b, uint32_t(height));
  put16(b, 1);
  put16(b, 32);
  put32(b, 3);                  // BI_BITFIELDS
  put32(b, uint32_t(size_t(width) * height * 4));
  put32(b, 2835);
  put32(b, 2835);
  put32(b, 0);
  put32(b, 0);
  put32(b, 0x00FF0000);         // red, green, blue and alpha masks
  put32(b, 0x0000FF00);
  put32(b, 0x000000FF);
  put32(b, 0xFF000000);
  put32(b, 0x73524742);         // 'sRGB' colour space
  while (b.size() < 14 + kHeader) b.push_back(0);   // end points, gamma, intent, profile
  for (int y = height - 1; y >= 0; --y)
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &rgba[(size_t(y) * width + x) * 4];
      b.push_back(p[2]);
      b.push_back(p[1]);
      b.push_back(p[0]);
      b.push_back(p[3]);
    }
  return writeBytes(path, b);
}

bool writeText(const std::string& path, const std::string& text) {
  return writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace content
