// picture_filters.cpp — resizing, mip levels and conversion to texture formats.
#include "platform/d3dx8/picture_filters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/d3dx8/dxt_blocks.h"

namespace d3dx8 {
namespace {

// The source pixels and weights that make one output pixel along one axis.
struct Taps {
  std::vector<uint32_t> first;   // per output pixel: index into index/weight
  std::vector<uint32_t> index;
  std::vector<float> weight;
};

Taps makeTaps(uint32_t from, uint32_t to, bool point) {
  Taps taps;
  double scale = double(from) / double(to);
  double radius = std::max(1.0, scale);
  for (uint32_t o = 0; o < to; ++o) {
    taps.first.push_back(uint32_t(taps.index.size()));
    double centre = (o + 0.5) * scale - 0.5;
    if (point) {
      taps.index.push_back(std::min(from - 1, uint32_t((o + 0.5) * scale)));
      taps.weight.push_back(1.0f);
      continue;
    }
    int lo = int(std::ceil(centre - radius)), hi = int(std::floor(centre + radius));
    size_t start = taps.weight.size();
    double total = 0;
    for (int i = lo; i <= hi; ++i) {
      double w = 1.0 - std::abs(i - centre) / radius;
      if (w <= 0) continue;
      taps.index.push_back(uint32_t(std::clamp(i, 0, int(from) - 1)));
      taps.weight.push_back(float(w));
      total += w;
    }
    if (total <= 0) {   // cannot happen with radius >= 1, kept for safety
      taps.index.push_back(std::min(from - 1, uint32_t(std::max(0.0, centre + 0.5))));
      taps.weight.push_back(1.0f);
      total = 1;
    }
    for (size_t i = start; i < taps.weight.size(); ++i) taps.weight[i] = float(taps.weight[i] / total);
  }
  taps.first.push_back(uint32_t(taps.index.size()));
  return taps;
}

uint32_t clampChannel(float v) { return uint32_t(std::clamp(int(v + 0.5f), 0, 255)); }

// Filters `count` pixels: output o mixes source[taps(o) * stride].
void filterLine(const uint32_t* source, size_t sourceStride, uint32_t* out, size_t outStride, const Taps& taps,
                uint32_t count) {
  for (uint32_t o = 0; o < count; ++o) {
    float a = 0, r = 0, g = 0, b = 0;
    for (uint32_t t = taps.first[o]; t < taps.first[o + 1]; ++t) {
      uint32_t p = source[taps.index[t] * sourceStride];
      float w = taps.weight[t];
      a += w * float(p >> 24);
      r += w * float((p >> 16) & 255);
      g += w * float((p >> 8) & 255);
      b += w * float(p & 255);
    }
    out[o * outStride] =
        clampChannel(a) << 24 | clampChannel(r) << 16 | clampChannel(g) << 8 | clampChannel(b);
  }
}

void resizeColumns(const PixelImage& in, PixelImage& out, bool point) {
  Taps taps = makeTaps(in.width, out.width, point);
  for (uint32_t y = 0; y < in.height; ++y) filterLine(in.row(y), 1, out.row(y), 1, taps, out.width);
}

void resizeRows(const PixelImage& in, PixelImage& out, bool point) {
  Taps taps = makeTaps(in.height, out.height, point);
  for (uint32_t x = 0; x < in.width; ++x) filterLine(in.pixels.get() + x, in.width, out.pixels.get() + x, out.width, taps, out.height);
}

// Averages of 2, or 4, pixels, channel by channel in two 16-bit lanes per word.
inline uint32_t average2(uint32_t p, uint32_t q) {
  uint32_t rb = (p & 0x00ff00ffu) + (q & 0x00ff00ffu) + 0x00010001u;
  uint32_t ag = ((p >> 8) & 0x00ff00ffu) + ((q >> 8) & 0x00ff00ffu) + 0x00010001u;
  return ((rb >> 1) & 0x00ff00ffu) | (((ag >> 1) & 0x00ff00ffu) << 8);
}

inline uint32_t average4(uint32_t p, uint32_t q, uint32_t s, uint32_t t) {
  uint32_t rb = (p & 0x00ff00ffu) + (q & 0x00ff00ffu) + (s & 0x00ff00ffu) + (t & 0x00ff00ffu) + 0x00020002u;
  uint32_t ag = ((p >> 8) & 0x00ff00ffu) + ((q >> 8) & 0x00ff00ffu) + ((s >> 8) & 0x00ff00ffu) +
                ((t >> 8) & 0x00ff00ffu) + 0x00020002u;
  return ((rb >> 2) & 0x00ff00ffu) | (((ag >> 2) & 0x00ff00ffu) << 8);
}

uint16_t to16(uint32_t p, int rBits, int gBits, int bBits, int aBits) {
  auto q = [](uint32_t c, int bits) { return (c * ((1u << bits) - 1) + 127) / 255; };
  uint32_t a = p >> 24, r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
  uint32_t v = q(b, bBits) | q(g, gBits) << bBits | q(r, rBits) << (bBits + gBits);
  if (aBits) v |= q(a, aBits) << (bBits + gBits + rBits);
  return uint16_t(v);
}

template <typename Convert>
void writeRows16(const PixelImage& image, uint8_t* bits, size_t pitch, Convert convert) {
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint32_t* in = image.row(y);
    uint16_t* out = reinterpret_cast<uint16_t*>(bits + y * pitch);
    for (uint32_t x = 0; x < image.width; ++x) out[x] = convert(in[x]);
  }
}

}  // namespace

PixelImage resizePicture(const PixelImage& source, uint32_t width, uint32_t height, bool point) {
  // Filter first along the axis that keeps the intermediate picture smaller.
  bool columnsFirst = uint64_t(width) * source.height <= uint64_t(source.width) * height;
  PixelImage middle = columnsFirst ? PixelImage(width, source.height) : PixelImage(source.width, height);
  PixelImage out(width, height);
  if (columnsFirst) {
    resizeColumns(source, middle, point);
    resizeRows(middle, out, point);
  } else {
    resizeRows(source, middle, point);
    resizeColumns(middle, out, point);
  }
  return out;
}

PixelImage nextMipLevel(const PixelImage& source, bool point) {
  uint32_t w = std::max(1u, source.width / 2), h = std::max(1u, source.height / 2);
  bool halveX = source.width % 2 == 0, halveY = source.height % 2 == 0;
  bool keepX = source.width == 1, keepY = source.height == 1;
  if (!((halveX || keepX) && (halveY || keepY))) return resizePicture(source, w, h, point);
  PixelImage out(w, h);
  if (keepX && keepY) {   // 1 × 1 stays as it is
    out.pixels[0] = source.pixels[0];
    return out;
  }
  uint32_t dx = keepX ? 0 : 1;
  for (uint32_t y = 0; y < h; ++y) {
    const uint32_t* top = source.row(keepY ? y : 2 * y);
    const uint32_t* bottom = keepY ? top : top + source.width;
    uint32_t* o = out.row(y);
    if (point) {
      for (uint32_t x = 0; x < w; ++x) o[x] = top[(dx + 1) * x];
    } else if (keepX || keepY) {
      for (uint32_t x = 0; x < w; ++x) o[x] = average2(top[(dx + 1) * x], keepY ? top[2 * x + 1] : bottom[x]);
    } else {
      halveRow(top, bottom, o, w, false);
    }
  }
  return out;
}

void halveRow(const uint32_t* top, const uint32_t* bottom, uint32_t* out, uint32_t width, bool point) {
  uint32_t x = 0;
  if (point) {
    for (; x < width; ++x) out[x] = top[2 * x];
    return;
  }
#if defined(__SSE2__)
  // Four output pixels at a time, the same sums as average4 in 16-bit lanes.
  const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
  for (; x + 4 <= width; x += 4) {
    __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 2 * x));
    __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 2 * x + 4));
    __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 2 * x));
    __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 2 * x + 4));
    // Per pair of pixels: top + bottom for both columns, 16 bits per channel.
    __m128i s0 = _mm_add_epi16(_mm_unpacklo_epi8(t0, zero), _mm_unpacklo_epi8(b0, zero));   // pixels 0, 1
    __m128i s1 = _mm_add_epi16(_mm_unpackhi_epi8(t0, zero), _mm_unpackhi_epi8(b0, zero));   // pixels 2, 3
    __m128i s2 = _mm_add_epi16(_mm_unpacklo_epi8(t1, zero), _mm_unpacklo_epi8(b1, zero));
    __m128i s3 = _mm_add_epi16(_mm_unpackhi_epi8(t1, zero), _mm_unpackhi_epi8(b1, zero));
    // Left column plus right column: the low and high 64 bits of each sum.
    __m128i left = _mm_unpacklo_epi64(s0, s1), right = _mm_unpackhi_epi64(s0, s1);
    __m128i q0 = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(left, right), two), 2);
    left = _mm_unpacklo_epi64(s2, s3);
    right = _mm_unpackhi_epi64(s2, s3);
    __m128i q1 = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(left, right), two), 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(q0, q1));
  }
#endif
  for (; x < width; ++x) out[x] = average4(top[2 * x], top[2 * x + 1], bottom[2 * x], bottom[2 * x + 1]);
}

bool isWritableFormat(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_DXT1:
    case D3DFMT_DXT3:
    case D3DFMT_DXT5: return true;
    default: return false;
  }
}

void writePicture(D3DFORMAT format, const PixelImage& image, uint8_t* bits, size_t pitch) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
      for (uint32_t y = 0; y < image.height; ++y) std::memcpy(bits + y * pitch, image.row(y), size_t(image.width) * 4);
      break;
    case D3DFMT_X8R8G8B8:
      for (uint32_t y = 0; y < image.height; ++y) {
        const uint32_t* in = image.row(y);
        uint32_t* out = reinterpret_cast<uint32_t*>(bits + y * pitch);
        for (uint32_t x = 0; x < image.width; ++x) out[x] = in[x] | 0xff000000u;
      }
      break;
    case D3DFMT_R5G6B5: writeRows16(image, bits, pitch, [](uint32_t p) { return to16(p, 5, 6, 5, 0); }); break;
    case D3DFMT_X1R5G5B5:
      writeRows16(image, bits, pitch, [](uint32_t p) { return uint16_t(to16(p, 5, 5, 5, 0) | 0x8000); });
      break;
    case D3DFMT_A1R5G5B5: writeRows16(image, bits, pitch, [](uint32_t p) { return to16(p, 5, 5, 5, 1); }); break;
    case D3DFMT_A4R4G4B4: writeRows16(image, bits, pitch, [](uint32_t p) { return to16(p, 4, 4, 4, 4); }); break;
    case D3DFMT_DXT1:
    case D3DFMT_DXT3:
    case D3DFMT_DXT5: encodeDxtImage(format, image, bits, pitch); break;
    default: break;
  }
}

}  // namespace d3dx8
