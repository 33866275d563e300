// noise.cpp — integer hashing and value noise.
#include "media/generator/noise.h"

#include <cmath>
#include <initializer_list>

namespace content {

uint32_t hash32(uint32_t a, uint32_t b, uint32_t c, uint32_t seed) {
  uint32_t h = seed ^ 0x811C9DC5u;
  for (uint32_t v : {a, b, c}) {
    h ^= v + 0x9E3779B9u + (h << 6) + (h >> 2);
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
  }
  return h;
}

float hashUnit(uint32_t a, uint32_t b, uint32_t c, uint32_t seed) {
  return float(hash32(a, b, c, seed) >> 8) * (1.0f / 16777216.0f);
}

float Random::unit() { return hashUnit(counter_++, 0x5EED, 0, state_); }

namespace {

float fade(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }

float lattice(int x, int y, uint32_t seed) { return hashUnit(uint32_t(x), uint32_t(y), 0x1A77, seed); }

}  // namespace

float valueNoise(float x, uint32_t seed) {
  float fx = std::floor(x);
  int ix = int(fx);
  float t = fade(x - fx);
  float a = lattice(ix, 0, seed), b = lattice(ix + 1, 0, seed);
  return a + (b - a) * t;
}

float valueNoise(float x, float y, uint32_t seed) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = int(fx), iy = int(fy);
  float tx = fade(x - fx), ty = fade(y - fy);
  float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
  float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
  float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
  return top + (bottom - top) * ty;
}

float fbm(float x, int octaves, float gain, uint32_t seed) {
  float sum = 0, amplitude = 1, total = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * valueNoise(x, seed + uint32_t(i) * 101u);
    total += amplitude;
    amplitude *= gain;
    x *= 2.03f;
  }
  return sum / total;
}

float fbm(float x, float y, int octaves, float gain, uint32_t seed) {
  float sum = 0, amplitude = 1, total = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amplitude * valueNoise(x, y, seed + uint32_t(i) * 101u);
    total += amplitude;
    amplitude *= gain;
    x = x * 2.03f + 17.1f;
    y = y * 2.03f + 5.7f;
  }
  return sum / total;
}

}  // namespace content
