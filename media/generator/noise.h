// noise.h — deterministic hashing, random numbers and smooth noise for the content generator.
// Everything is a pure function of its arguments and the seed, so every run paints the same.
#pragma once

#include <cstdint>

namespace content {

// The generator's one fixed seed; each picture derives its own from it.
inline constexpr uint32_t kContentSeed = 0x7A2E5C31u;

uint32_t hash32(uint32_t a, uint32_t b, uint32_t c, uint32_t seed);
// Uniform in [0, 1).
float hashUnit(uint32_t a, uint32_t b, uint32_t c, uint32_t seed);

// Small sequential generator (for placing trees, stars, …).
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  float unit();                          // [0, 1)
  float range(float lo, float hi) { return lo + (hi - lo) * unit(); }

 private:
  uint32_t state_;
  uint32_t counter_ = 0;
};

// Value noise with a quintic fade; about 0…1, period-free. 1-D and 2-D.
float valueNoise(float x, uint32_t seed);
float valueNoise(float x, float y, uint32_t seed);
// Fractal sums of octaves (each at twice the frequency and `gain` times the amplitude),
// normalised to about 0…1.
float fbm(float x, int octaves, float gain, uint32_t seed);
float fbm(float x, float y, int octaves, float gain, uint32_t seed);

}  // namespace content
