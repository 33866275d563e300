// dxt_blocks.cpp — DXT1/3/5 block decoding and the fast bounding-box block encoder.
#include "platform/d3dx8/dxt_blocks.h"

#include <algorithm>
#include <cstring>

namespace d3dx8 {
namespace {

struct Rgb {
  int r, g, b;
};

Rgb expand565(uint32_t c) {
  int r = int(c >> 11) & 31, g = int(c >> 5) & 63, b = int(c) & 31;
  return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

uint32_t packArgb(int a, int r, int g, int b) {
  return uint32_t(a) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b);
}

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

// The four colours of a colour block. DXT1 blocks with c0 <= c1 have three colours and a
// transparent black; DXT3 and DXT5 always use four colours.
void colourPalette(const uint8_t* block, bool dxt1, uint32_t palette[4]) {
  uint32_t c0 = le16(block), c1 = le16(block + 2);
  Rgb p = expand565(c0), q = expand565(c1);
  palette[0] = packArgb(255, p.r, p.g, p.b);
  palette[1] = packArgb(255, q.r, q.g, q.b);
  if (c0 > c1 || !dxt1) {
    palette[2] = packArgb(255, (2 * p.r + q.r + 1) / 3, (2 * p.g + q.g + 1) / 3, (2 * p.b + q.b + 1) / 3);
    palette[3] = packArgb(255, (p.r + 2 * q.r + 1) / 3, (p.g + 2 * q.g + 1) / 3, (p.b + 2 * q.b + 1) / 3);
  } else {
    palette[2] = packArgb(255, (p.r + q.r) / 2, (p.g + q.g) / 2, (p.b + q.b) / 2);
    palette[3] = 0;
  }
}

void decodeColour(const uint8_t* block, bool dxt1, uint32_t pixels[16]) {
  uint32_t palette[4];
  colourPalette(block, dxt1, palette);
  uint32_t indices = le32(block + 4);
  for (int i = 0; i < 16; ++i) pixels[i] = palette[(indices >> (2 * i)) & 3];
}

void decodeExplicitAlpha(const uint8_t* block, uint32_t pixels[16]) {
  for (int i = 0; i < 16; ++i) {
    uint32_t a = (block[i / 2] >> (4 * (i & 1))) & 15;
    pixels[i] = (pixels[i] & 0x00ffffffu) | (a * 17) << 24;
  }
}

void decodeInterpolatedAlpha(const uint8_t* block, uint32_t pixels[16]) {
  uint32_t a0 = block[0], a1 = block[1];
  uint32_t values[8] = {a0, a1};
  if (a0 > a1) {
    for (uint32_t k = 2; k < 8; ++k) values[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
  } else {
    for (uint32_t k = 2; k < 6; ++k) values[k] = ((6 - k) * a0 + (k - 1) * a1 + 2) / 5;
    values[6] = 0;
    values[7] = 255;
  }
  uint64_t bits = 0;
  for (int i = 0; i < 6; ++i) bits |= uint64_t(block[2 + i]) << (8 * i);
  for (int i = 0; i < 16; ++i) pixels[i] = (pixels[i] & 0x00ffffffu) | values[(bits >> (3 * i)) & 7] << 24;
}

// ---- encoding ----------------------------------------------------------------------------------
struct Channels {
  int c[3][16];   // red, green, blue
  int a[16];
};

void split(const uint32_t pixels[16], Channels& k) {
  for (int i = 0; i < 16; ++i) {
    uint32_t p = pixels[i];
    k.c[0][i] = int(p >> 16) & 255;
    k.c[1][i] = int(p >> 8) & 255;
    k.c[2][i] = int(p) & 255;
    k.a[i] = int(p >> 24);
  }
}

uint32_t to565(const int c[3]) {
  return uint32_t((c[0] * 31 + 127) / 255) << 11 | uint32_t((c[1] * 63 + 127) / 255) << 5 |
         uint32_t((c[2] * 31 + 127) / 255);
}

void put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Endpoints from the bounding box of the pixels in `use` (all when null): the diagonal runs
// along the channel with the widest range, the others follow its correlation; then both ends
// move 1/16 of the range inwards, which lowers the error of the interpolated colours.
bool boxEndpoints(const Channels& k, const bool* use, int lo[3], int hi[3]) {
  bool any = false;
  for (int c = 0; c < 3; ++c) lo[c] = 255, hi[c] = 0;
  for (int i = 0; i < 16; ++i) {
    if (use && !use[i]) continue;
    any = true;
    for (int c = 0; c < 3; ++c) {
      lo[c] = std::min(lo[c], k.c[c][i]);
      hi[c] = std::max(hi[c], k.c[c][i]);
    }
  }
  if (!any) return false;
  int ref = 0;
  for (int c = 1; c < 3; ++c)
    if (hi[c] - lo[c] > hi[ref] - lo[ref]) ref = c;
  int centre[3];
  for (int c = 0; c < 3; ++c) centre[c] = lo[c] + hi[c];   // doubled, to stay in integers
  for (int c = 0; c < 3; ++c) {
    if (c == ref) continue;
    int covariance = 0;
    for (int i = 0; i < 16; ++i) {
      if (use && !use[i]) continue;
      covariance += (2 * k.c[c][i] - centre[c]) * (2 * k.c[ref][i] - centre[ref]);
    }
    if (covariance < 0) std::swap(lo[c], hi[c]);
  }
  for (int c = 0; c < 3; ++c) {
    int inset = (hi[c] - lo[c]) / 16;
    hi[c] -= inset;
    lo[c] += inset;
  }
  return true;
}

// Colour block: 4-colour mode, or with `punchThrough` 3 colours and index 3 for pixels whose
// alpha is below 128.
void encodeColour(const Channels& k, bool punchThrough, uint8_t* out) {
  bool opaque[16];
  bool anyTransparent = false;
  for (int i = 0; i < 16; ++i) {
    opaque[i] = !punchThrough || k.a[i] >= 128;
    anyTransparent |= !opaque[i];
  }
  int lo[3], hi[3];
  if (!boxEndpoints(k, anyTransparent ? opaque : nullptr, lo, hi)) {
    put16(out, 0);
    put16(out + 2, 0);
    std::memset(out + 4, 0xff, 4);   // every pixel transparent
    return;
  }
  uint32_t c0 = to565(hi), c1 = to565(lo);
  // Four colours need c0 > c1, three need c0 <= c1.
  if (anyTransparent ? c0 > c1 : c0 < c1) std::swap(c0, c1);
  put16(out, c0);
  put16(out + 2, c1);
  Rgb e0 = expand565(c0), e1 = expand565(c1);
  int d[3] = {e1.r - e0.r, e1.g - e0.g, e1.b - e0.b};
  int length = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  uint32_t indices = 0;
  if (length > 0) {
    int steps = anyTransparent ? 2 : 3;
    float scale = float(steps) / float(length);
    static const uint32_t kFour[4] = {0, 2, 3, 1};   // steps from c0 to c1 → index
    static const uint32_t kThree[3] = {0, 2, 1};
    for (int i = 0; i < 16; ++i) {
      uint32_t index = 3;
      if (opaque[i]) {
        int t = (k.c[0][i] - e0.r) * d[0] + (k.c[1][i] - e0.g) * d[1] + (k.c[2][i] - e0.b) * d[2];
        int s = std::clamp(int(float(t) * scale + 0.5f), 0, steps);
        index = anyTransparent ? kThree[s] : kFour[s];
      }
      indices |= index << (2 * i);
    }
  } else if (anyTransparent) {
    for (int i = 0; i < 16; ++i)
      if (!opaque[i]) indices |= 3u << (2 * i);
  }
  out[4] = uint8_t(indices);
  out[5] = uint8_t(indices >> 8);
  out[6] = uint8_t(indices >> 16);
  out[7] = uint8_t(indices >> 24);
}

void encodeExplicitAlpha(const Channels& k, uint8_t* out) {
  std::memset(out, 0, 8);
  for (int i = 0; i < 16; ++i) out[i / 2] |= uint8_t(((k.a[i] * 15 + 127) / 255) << (4 * (i & 1)));
}

// Eight-value mode between the block's extreme alphas (a0 = highest, a1 = lowest).
void encodeInterpolatedAlpha(const Channels& k, uint8_t* out) {
  int lo = 255, hi = 0;
  for (int i = 0; i < 16; ++i) {
    lo = std::min(lo, k.a[i]);
    hi = std::max(hi, k.a[i]);
  }
  out[0] = uint8_t(hi);
  out[1] = uint8_t(lo);
  uint64_t bits = 0;
  if (hi > lo) {
    int range = hi - lo;
    static const uint64_t kIndex[8] = {0, 2, 3, 4, 5, 6, 7, 1};   // steps from a0 to a1 → index
    for (int i = 0; i < 16; ++i) bits |= kIndex[((hi - k.a[i]) * 7 + range / 2) / range] << (3 * i);
  }
  for (int i = 0; i < 6; ++i) out[2 + i] = uint8_t(bits >> (8 * i));
}

}  // namespace

bool isDxtFormat(D3DFORMAT format) { return dxtBlockBytes(format) != 0; }

uint32_t dxtBlockBytes(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_DXT1: return 8;
    case D3DFMT_DXT3:
    case D3DFMT_DXT5: return 16;
    default: return 0;
  }
}

void decodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t pixels[16]) {
  switch (format) {
    case D3DFMT_DXT1: decodeColour(block, true, pixels); break;
    case D3DFMT_DXT3:
      decodeColour(block + 8, false, pixels);
      decodeExplicitAlpha(block, pixels);
      break;
    case D3DFMT_DXT5:
      decodeColour(block + 8, false, pixels);
      decodeInterpolatedAlpha(block, pixels);
      break;
    default: std::fill(pixels, pixels + 16, 0u); break;
  }
}

void decodeDxtImage(D3DFORMAT format, const uint8_t* blocks, size_t pitch, PixelImage& image) {
  uint32_t blockBytes = dxtBlockBytes(format);
  for (uint32_t by = 0; by < image.height; by += 4) {
    const uint8_t* block = blocks + (by / 4) * pitch;
    for (uint32_t bx = 0; bx < image.width; bx += 4, block += blockBytes) {
      uint32_t pixels[16];
      decodeDxtBlock(format, block, pixels);
      for (uint32_t y = 0; y < 4 && by + y < image.height; ++y)
        for (uint32_t x = 0; x < 4 && bx + x < image.width; ++x) image.row(by + y)[bx + x] = pixels[y * 4 + x];
    }
  }
}

void encodeDxtBlock(D3DFORMAT format, const uint32_t pixels[16], uint8_t* block) {
  Channels k;
  split(pixels, k);
  switch (format) {
    case D3DFMT_DXT1: encodeColour(k, true, block); break;
    case D3DFMT_DXT3:
      encodeExplicitAlpha(k, block);
      encodeColour(k, false, block + 8);
      break;
    case D3DFMT_DXT5:
      encodeInterpolatedAlpha(k, block);
      encodeColour(k, false, block + 8);
      break;
    default: break;
  }
}

void encodeDxtImage(D3DFORMAT format, const PixelImage& image, uint8_t* blocks, size_t pitch) {
  uint32_t blockBytes = dxtBlockBytes(format);
  uint32_t w = image.width, h = image.height;
  for (uint32_t by = 0; by < h; by += 4) {
    uint8_t* block = blocks + (by / 4) * pitch;
    for (uint32_t bx = 0; bx < w; bx += 4, block += blockBytes) {
      uint32_t pixels[16];
      if (bx + 4 <= w && by + 4 <= h) {
        for (uint32_t y = 0; y < 4; ++y) std::memcpy(pixels + 4 * y, image.row(by + y) + bx, 16);
      } else {
        for (uint32_t y = 0; y < 4; ++y)
          for (uint32_t x = 0; x < 4; ++x)
            pixels[4 * y + x] = image.row(std::min(by + y, h - 1))[std::min(bx + x, w - 1)];
      }
      encodeDxtBlock(format, pixels, block);
    }
  }
}

}  // namespace d3dx8
