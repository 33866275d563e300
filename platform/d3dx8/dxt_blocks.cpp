// dxt_blocks.cpp — DXT1/3/5 block decoding and the fast bounding-box block encoder.
#include "platform/d3dx8/dxt_blocks.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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


#if defined(__SSE2__)
// The four-colour block of encodeColour (no punch-through) with SSE2, for the same bytes at a
// fraction of the time: bounding box by byte minimum and maximum, covariance signs and index
// projections by 16-bit multiply-adds. Also hands out the block's lowest and highest alpha.
template <int kRefLane>
__m128i broadcastLane(__m128i v) {   // within each pixel's four 16-bit lanes
  constexpr int k = kRefLane * 0x55;
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, k), k);
}

void encodeColourSse(const uint32_t* rows[4], uint8_t* out, int& alphaLo, int& alphaHi) {
  __m128i p[4];
  for (int i = 0; i < 4; ++i) p[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i]));
  __m128i mn = _mm_min_epu8(_mm_min_epu8(p[0], p[1]), _mm_min_epu8(p[2], p[3]));
  __m128i mx = _mm_max_epu8(_mm_max_epu8(p[0], p[1]), _mm_max_epu8(p[2], p[3]));
  mn = _mm_min_epu8(mn, _mm_shuffle_epi32(mn, _MM_SHUFFLE(1, 0, 3, 2)));
  mn = _mm_min_epu8(mn, _mm_shuffle_epi32(mn, _MM_SHUFFLE(2, 3, 0, 1)));
  mx = _mm_max_epu8(mx, _mm_shuffle_epi32(mx, _MM_SHUFFLE(1, 0, 3, 2)));
  mx = _mm_max_epu8(mx, _mm_shuffle_epi32(mx, _MM_SHUFFLE(2, 3, 0, 1)));
  uint32_t lo32 = uint32_t(_mm_cvtsi128_si32(mn)), hi32 = uint32_t(_mm_cvtsi128_si32(mx));
  alphaLo = int(lo32 >> 24);
  alphaHi = int(hi32 >> 24);
  int lo[3] = {int(lo32 >> 16) & 255, int(lo32 >> 8) & 255, int(lo32) & 255};   // red, green, blue
  int hi[3] = {int(hi32 >> 16) & 255, int(hi32 >> 8) & 255, int(hi32) & 255};

  // Pixels as 16-bit lanes B, G, R, A; two pixels per vector.
  const __m128i zero = _mm_setzero_si128();
  __m128i x[8];
  for (int i = 0; i < 4; ++i) {
    x[2 * i] = _mm_unpacklo_epi8(p[i], zero);
    x[2 * i + 1] = _mm_unpackhi_epi8(p[i], zero);
  }

  int ref = 0;
  for (int c = 1; c < 3; ++c)
    if (hi[c] - lo[c] > hi[ref] - lo[ref]) ref = c;
  // Σ (2x − (lo + hi)) of each channel times that of the reference channel.
  const __m128i centre = _mm_set_epi16(0, short(lo[0] + hi[0]), short(lo[1] + hi[1]), short(lo[2] + hi[2]), 0,
                                       short(lo[0] + hi[0]), short(lo[1] + hi[1]), short(lo[2] + hi[2]));
  const __m128i blueRed = _mm_set_epi16(0, -1, 0, -1, 0, -1, 0, -1);
  const __m128i green = _mm_set_epi16(0, 0, -1, 0, 0, 0, -1, 0);
  __m128i sumBlueRed = zero, sumGreen = zero;
  for (int i = 0; i < 8; ++i) {
    __m128i v = _mm_sub_epi16(_mm_slli_epi16(x[i], 1), centre);
    __m128i r = ref == 0 ? broadcastLane<2>(v) : ref == 1 ? broadcastLane<1>(v) : broadcastLane<0>(v);
    sumBlueRed = _mm_add_epi32(sumBlueRed, _mm_madd_epi16(v, _mm_and_si128(r, blueRed)));
    sumGreen = _mm_add_epi32(sumGreen, _mm_madd_epi16(v, _mm_and_si128(r, green)));
  }
  alignas(16) int32_t br[4], g[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(br), sumBlueRed);
  _mm_store_si128(reinterpret_cast<__m128i*>(g), sumGreen);
  const int covariance[3] = {br[1] + br[3], g[0] + g[2], br[0] + br[2]};
  for (int c = 0; c < 3; ++c)
    if (c != ref && covariance[c] < 0) std::swap(lo[c], hi[c]);
  for (int c = 0; c < 3; ++c) {
    int inset = (hi[c] - lo[c]) / 16;
    hi[c] -= inset;
    lo[c] += inset;
  }

  uint32_t c0 = to565(hi), c1 = to565(lo);
  if (c0 < c1) std::swap(c0, c1);
  put16(out, c0);
  put16(out + 2, c1);
  Rgb e0 = expand565(c0), e1 = expand565(c1);
  int d[3] = {e1.r - e0.r, e1.g - e0.g, e1.b - e0.b};
  int length = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  uint32_t indices = 0;
  if (length > 0) {
    const __m128i direction = _mm_set_epi16(0, short(d[0]), short(d[1]), short(d[2]), 0, short(d[0]), short(d[1]), short(d[2]));
    const __m128i origin = _mm_set1_epi32(e0.r * d[0] + e0.g * d[1] + e0.b * d[2]);
    const __m128 scale = _mm_set1_ps(3.0f / float(length)), half = _mm_set1_ps(0.5f);
    __m128i steps[4];
    for (int i = 0; i < 4; ++i) {   // four pixels (one row) at a time
      __m128 a = _mm_castsi128_ps(_mm_madd_epi16(x[2 * i], direction));
      __m128 b = _mm_castsi128_ps(_mm_madd_epi16(x[2 * i + 1], direction));
      __m128i dot = _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0))),
                                  _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1))));
      __m128 t = _mm_cvtepi32_ps(_mm_sub_epi32(dot, origin));
      steps[i] = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(t, scale), half));
    }
    __m128i low = _mm_packs_epi32(steps[0], steps[1]), high = _mm_packs_epi32(steps[2], steps[3]);
    const __m128i three = _mm_set1_epi16(3);
    low = _mm_min_epi16(_mm_max_epi16(low, zero), three);
    high = _mm_min_epi16(_mm_max_epi16(high, zero), three);
    alignas(16) uint32_t packed[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(packed), _mm_packus_epi16(low, high));
    for (int i = 0; i < 4; ++i) {
      uint32_t w = packed[i];
      indices |= ((w | w >> 6 | w >> 12 | w >> 18) & 0xff) << (8 * i);
    }
    // Steps 0, 1, 2, 3 from c0 are indices 0, 2, 3, 1.
    uint32_t s1 = (indices >> 1) & 0x55555555u, s0 = indices & 0x55555555u;
    indices = ((s1 ^ s0) << 1) | s1;
  }
  out[4] = uint8_t(indices);
  out[5] = uint8_t(indices >> 8);
  out[6] = uint8_t(indices >> 16);
  out[7] = uint8_t(indices >> 24);
}
#endif

void encodeBlockPortable(D3DFORMAT format, const uint32_t pixels[16], uint8_t* block) {
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

// One block from four rows of four pixels: the vector colour encoder unless a DXT1 block needs
// its transparent index, the plain code for alpha that varies within the block.
void encodeBlockRows(D3DFORMAT format, const uint32_t* rows[4], uint8_t* block) {
#if defined(__SSE2__)
  int alphaLo, alphaHi;
  uint8_t colour[8];
  encodeColourSse(rows, colour, alphaLo, alphaHi);
  if (format != D3DFMT_DXT1 || alphaLo >= 128) {
    if (format == D3DFMT_DXT5 && alphaLo == alphaHi) {
      std::memset(block, 0, 8);
      block[0] = block[1] = uint8_t(alphaHi);
    } else if (format != D3DFMT_DXT1) {
      uint32_t pixels[16];
      for (int y = 0; y < 4; ++y) std::memcpy(pixels + 4 * y, rows[y], 16);
      Channels k;
      split(pixels, k);
      if (format == D3DFMT_DXT3) encodeExplicitAlpha(k, block);
      else encodeInterpolatedAlpha(k, block);
    }
    std::memcpy(format == D3DFMT_DXT1 ? block : block + 8, colour, 8);
    return;
  }
#endif
  uint32_t pixels[16];
  for (int y = 0; y < 4; ++y) std::memcpy(pixels + 4 * y, rows[y], 16);
  encodeBlockPortable(format, pixels, block);
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
  const uint32_t* rows[4] = {pixels, pixels + 4, pixels + 8, pixels + 12};
  encodeBlockRows(format, rows, block);
}

void encodeDxtBlockPortable(D3DFORMAT format, const uint32_t pixels[16], uint8_t* block) {
  encodeBlockPortable(format, pixels, block);
}

namespace {

void encodeBlockRowsOf(D3DFORMAT format, const PixelImage& image, uint8_t* blocks, size_t pitch, uint32_t firstRow,
                       uint32_t endRow) {
  uint32_t blockBytes = dxtBlockBytes(format);
  uint32_t w = image.width, h = image.height;
  for (uint32_t by = firstRow * 4; by < endRow * 4 && by < h; by += 4) {
    uint8_t* block = blocks + (by / 4) * pitch;
    for (uint32_t bx = 0; bx < w; bx += 4, block += blockBytes) {
      if (bx + 4 <= w && by + 4 <= h) {
        const uint32_t* rows[4] = {image.row(by) + bx, image.row(by + 1) + bx, image.row(by + 2) + bx,
                                   image.row(by + 3) + bx};
        encodeBlockRows(format, rows, block);
      } else {
        uint32_t pixels[16];
        for (uint32_t y = 0; y < 4; ++y)
          for (uint32_t x = 0; x < 4; ++x)
            pixels[4 * y + x] = image.row(std::min(by + y, h - 1))[std::min(bx + x, w - 1)];
        encodeDxtBlock(format, pixels, block);
      }
    }
  }
}

// Below this many blocks a second thread costs more than it saves.
constexpr uint64_t kBlocksForTwoThreads = 8192;

}  // namespace

void encodeDxtBlockRows(D3DFORMAT format, const PixelImage& image, uint8_t* blocks, size_t pitch, uint32_t firstRow,
                        uint32_t endRow) {
  encodeBlockRowsOf(format, image, blocks, pitch, firstRow, endRow);
}

void encodeDxtImage(D3DFORMAT format, const PixelImage& image, uint8_t* blocks, size_t pitch) {
  uint32_t blockRows = (image.height + 3) / 4;
  uint64_t count = uint64_t(blockRows) * ((image.width + 3) / 4);
  if (count < kBlocksForTwoThreads || std::thread::hardware_concurrency() < 2) {
    encodeBlockRowsOf(format, image, blocks, pitch, 0, blockRows);
    return;
  }
  // Large levels: the lower half of the block rows on a helper thread that ends before we return.
  uint32_t half = blockRows / 2;
  std::thread helper;
  try {
    helper = std::thread(encodeBlockRowsOf, format, std::cref(image), blocks, pitch, half, blockRows);
  } catch (const std::system_error&) {
    half = blockRows;   // no thread to be had: all on this one
  }
  encodeBlockRowsOf(format, image, blocks, pitch, 0, half);
  if (helper.joinable()) helper.join();
}

}  // namespace d3dx8
