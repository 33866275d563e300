// valley.cpp — paints the valley in layers, back to front: sky with sun and clouds, three hill
// ranges fading into the haze, the meadow floor with the river catching the sun, trees and the dark
// foreground bank. Coordinates: u across (0…1 of the width), v down (0…1 of
// the height); shapes use X = u × aspect so they keep their proportions at any aspect.
#include "media/generator/valley.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "media/generator/noise.h"

namespace content {
namespace {

const Color kZenith{0.17f, 0.29f, 0.53f};
const Color kUpperSky{0.43f, 0.54f, 0.70f};
const Color kWarmHaze{0.98f, 0.80f, 0.56f};
const Color kPaleHaze{0.80f, 0.75f, 0.74f};
const Color kSunGlow{1.00f, 0.74f, 0.42f};
const Color kSunCore{1.00f, 1.00f, 0.93f};
constexpr float kSunU = 0.74f;
constexpr float kSunV = 0.515f;
constexpr float kSunRadius = 0.024f;

struct Canvas {
  Image image;
  float aspect = 1;
  float px = 0;   // one pixel in v units
  uint32_t seed = 0;

  float u(int x) const { return (x + 0.5f) / image.width; }
  float v(int y) const { return (y + 0.5f) / image.height; }
  float sunX() const { return kSunU * aspect; }
  float sunDistance(float X, float v) const { return std::hypot(X - sunX(), v - kSunV); }
};

float sq(float x) { return x * x; }

Color horizonColor(const Canvas& c, float X) {
  return mix(kWarmHaze, kPaleHaze, smoothstep(0.15f, 1.1f, std::fabs(X - c.sunX()) / c.aspect));
}

// Sky without clouds: zenith blue to a warm haze at the horizon, brightest round the sun.
Color skyAt(const Canvas& c, float X, float v) {
  Color col = v < 0.30f ? mix(kZenith, kUpperSky, smoothstep(-0.05f, 0.30f, v))
                        : mix(kUpperSky, horizonColor(c, X), smoothstep(0.30f, 0.60f, v));
  float d = c.sunDistance(X, v);
  float glow = 0.42f * std::exp(-d * d / 0.008f) + 0.24f * std::exp(-d / 0.20f);
  return col + kSunGlow * glow;
}

void paintSky(Canvas& c) {
  for (int y = 0; y < c.image.height; ++y) {
    float v = c.v(y);
    for (int x = 0; x < c.image.width; ++x) {
      float X = c.u(x) * c.aspect;
      Color col = skyAt(c, X, v);
      // Soft, horizontally drawn-out clouds in the upper sky, lit warm towards the sun.
      float band = smoothstep(0.02f, 0.12f, v) * (1 - smoothstep(0.30f, 0.46f, v));
      if (band > 0) {
        float n = fbm(X * 2.0f, v * 7.5f, 5, 0.5f, c.seed + 11);
        float density = smoothstep(0.50f, 0.74f, n) * band;
        float d = c.sunDistance(X, v);
        Color cloud = mix(Color{0.84f, 0.77f, 0.80f}, Color{1.0f, 0.86f, 0.66f}, std::exp(-d / 0.45f));
        float shade = smoothstep(0.60f, 0.85f, n);   // thicker cores a little darker
        cloud = mix(cloud, Color{0.66f, 0.60f, 0.68f}, shade * 0.35f);
        col = mix(col, cloud, density * 0.6f);
      }
      float d = c.sunDistance(X, v);
      col = mix(col, kSunCore, smoothstep(kSunRadius + c.px, kSunRadius - c.px, d));
      c.image.set(x, y, col);
    }
  }
}

struct HillRange {
  float base;        // mean ridge height (v)
  float tilt;        // ridge v change from left to right edge
  float amplitude;   // noise amplitude of the ridge
  float frequency;   // noise frequency over X
  float forest;      // height of the tree-crown fringe on the ridge
  float haze;        // 0 near … 1 lost in the haze
  Color top, bottom;
  uint32_t seed;
};

std::vector<float> ridgeLine(const Canvas& c, const HillRange& r) {
  std::vector<float> ridge(size_t(c.image.width));
  for (int x = 0; x < c.image.width; ++x) {
    float u = c.u(x), X = u * c.aspect;
    float v = r.base + r.tilt * (u - 0.5f) + r.amplitude * (fbm(X * r.frequency, 5, 0.5f, r.seed) - 0.5f);
    // The river's gap, a little right of the middle.
    v += 0.6f * r.amplitude * std::exp(-sq((u - 0.60f) / 0.10f));
    if (r.forest > 0) {
      float crowns = valueNoise(X * 70.0f, r.seed + 3) * 0.6f + valueNoise(X * 160.0f, r.seed + 4) * 0.4f;
      v -= r.forest * std::sqrt(crowns) * smoothstep(0.2f, 0.5f, fbm(X * 3.0f, 3, 0.5f, r.seed + 5));
    }
    ridge[size_t(x)] = v;
  }
  return ridge;
}

void paintHills(Canvas& c, const HillRange& r, std::vector<float>* ridgeOut = nullptr) {
  std::vector<float> ridge = ridgeLine(c, r);
  float top = *std::min_element(ridge.begin(), ridge.end());
  for (int y = std::max(0, int(top * c.image.height) - 2); y < c.image.height; ++y) {
    float v = c.v(y);
    for (int x = 0; x < c.image.width; ++x) {
      float cover = smoothstep(ridge[size_t(x)] - c.px * 0.5f, ridge[size_t(x)] + c.px * 0.5f, v);
      if (cover <= 0) continue;
      float X = c.u(x) * c.aspect;
      float depth = v - ridge[size_t(x)];
      Color col = mix(r.top, r.bottom, smoothstep(0.0f, 0.18f, depth));
      col = col * (0.94f + 0.12f * fbm(X * 18.0f, v * 30.0f, 4, 0.5f, r.seed + 9));
      // Warm light along the sunlit crest.
      float d = c.sunDistance(X, v);
      col = col + kSunGlow * (0.10f * std::exp(-depth / 0.012f) * std::exp(-d / 0.5f));
      col = mix(col, horizonColor(c, X), r.haze);
      col = col + kSunGlow * (0.22f * r.haze * std::exp(-d / 0.16f));
      c.image.blend(x, y, col, cover);
    }
  }
  if (ridgeOut) *ridgeOut = std::move(ridge);
}

// A few birds gliding high over the valley: two bent wings each, dark against the sky.
float segmentDistance(float px, float py, float ax, float ay, float bx, float by) {
  float dx = bx - ax, dy = by - ay;
  float t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

void paintBirds(Canvas& c, Random& rnd) {
  for (int i = 0; i < 6; ++i) {
    float bx = rnd.range(0.36f, 0.62f) * c.aspect, by = rnd.range(0.24f, 0.40f);
    float span = rnd.range(0.007f, 0.012f), lift = rnd.range(0.2f, 0.5f);
    int x0 = std::max(0, int((bx - span * 1.3f) / c.aspect * c.image.width));
    int x1 = std::min(c.image.width - 1, int((bx + span * 1.3f) / c.aspect * c.image.width) + 1);
    int y0 = std::max(0, int((by - span) * c.image.height));
    int y1 = std::min(c.image.height - 1, int((by + span * 0.6f) * c.image.height) + 1);
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) {
        float X = c.u(x) * c.aspect, v = c.v(y);
        float d = 1e9f;
        for (float side : {-1.0f, 1.0f}) {
          float mx = bx + side * span * 0.5f, my = by - span * lift;
          d = std::min(d, segmentDistance(X, v, bx, by, mx, my));
          d = std::min(d, segmentDistance(X, v, mx, my, bx + side * span, by - span * lift * 0.3f));
        }
        float width = span * 0.09f;
        c.image.blend(x, y, {0.16f, 0.13f, 0.15f}, 0.8f * smoothstep(width + c.px, width - c.px, d));
      }
  }
}

// ---- trees ----

struct Blob {
  float dx, dy, r;   // relative to the tree's crown centre, in v units
};

struct Tree {
  float u, v;          // foot of the trunk
  float height;        // v units
  bool conifer = false;
  Color color;
  float haze = 0;
  std::vector<Blob> crown;
};

Tree makeTree(Random& rnd, float u, float v, float height, Color color, float haze, bool conifer) {
  Tree t{u, v, height, conifer, color, haze, {}};
  if (!conifer) {
    int blobs = 5 + int(rnd.unit() * 4);
    float w = height * 0.36f;
    for (int i = 0; i < blobs; ++i)
      t.crown.push_back({rnd.range(-w, w) * 0.8f, rnd.range(-height * 0.25f, height * 0.12f),
                         rnd.range(0.45f, 0.7f) * w});
  }
  return t;
}

// Signed distance (negative inside) of a point from the tree's outline, and a shading normal.
float treeDistance(const Tree& t, float X, float v, float& nx, float& ny, uint32_t seed) {
  float footX = t.u;   // already in X units
  float best = 1e9f;
  nx = ny = 0;
  if (t.conifer) {
    // A stack of three narrowing tiers.
    float h = t.height;
    for (int i = 0; i < 3; ++i) {
      float tierBottom = t.v - h * (0.15f + 0.25f * i), tierTop = t.v - h * (0.55f + 0.15f * i);
      if (i == 2) tierTop = t.v - h;
      float halfWidth = h * (0.26f - 0.06f * i);
      float s = (v - tierTop) / (tierBottom - tierTop);   // 0 at the tip, 1 at the tier's base
      float dx = std::fabs(X - footX) - halfWidth * std::clamp(s, 0.0f, 1.0f);
      float dy = std::max(tierTop - v, v - tierBottom);
      best = std::min(best, std::max(dx * 0.9f, dy));
    }
    nx = X > footX ? 0.8f : -0.6f;
    best += (valueNoise(X / (h * 0.02f), v / (h * 0.02f), seed) - 0.5f) * h * 0.02f;
  } else {
    float cx = footX, cy = t.v - t.height * 0.62f;
    for (const Blob& b : t.crown) {
      float ddx = X - (cx + b.dx), ddy = v - (cy + b.dy);
      float d = std::hypot(ddx, ddy) - b.r;
      if (d < best) {
        best = d;
        nx = ddx / b.r;
        ny = ddy / b.r;
      }
    }
    // Clumps of leaves along the edge, at a scale relative to the tree.
    float s = 1.0f / (t.height * 0.03f);
    best += (fbm(X * s, v * s, 3, 0.55f, seed) - 0.5f) * t.height * 0.06f;
  }
  // The trunk: tapering upwards, a little bent, flared at the foot.
  float trunkTop = t.v - t.height * 0.62f;
  float along = std::clamp((v - trunkTop) / (t.v - trunkTop), 0.0f, 1.0f);   // 0 top, 1 foot
  float trunkW = t.height * (t.conifer ? 0.022f : 0.030f) * (0.55f + 0.45f * along + 0.5f * std::pow(along, 12.0f));
  float bend = t.height * 0.03f * std::sin(along * 2.5f);
  float trunk = std::max(std::fabs(X - footX - bend) - trunkW, std::max(trunkTop - v, v - t.v));
  return std::min(best, trunk);
}

// The long shadow a tree casts over the meadow, towards the viewer and to the left (the sun
// stands low, ahead and to the right).
void paintTreeShadow(Canvas& c, const Tree& t) {
  float length = t.height * 0.9f, depth = t.height * 0.10f;
  float cx = t.u - length * 0.25f, cy = t.v + depth * 0.15f;
  int x0 = std::max(0, int((cx - length) / c.aspect * c.image.width));
  int x1 = std::min(c.image.width - 1, int((cx + length) / c.aspect * c.image.width) + 1);
  int y0 = std::max(0, int((cy - depth) * c.image.height));
  int y1 = std::min(c.image.height - 1, int((cy + depth) * c.image.height) + 1);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      float X = c.u(x) * c.aspect, v = c.v(y);
      float r = std::hypot((X - cx) / (length * 0.55f), (v - cy) / (depth * 0.5f));
      float along = std::clamp((t.u - X) / length, 0.0f, 1.0f);   // 0 at the foot
      float shade = 0.30f * smoothstep(1.0f, 0.4f, r) * (1 - 0.6f * along);
      if (shade > 0) c.image.set(x, y, c.image.get(x, y) * (1 - shade));
    }
}

void paintTree(Canvas& c, const Tree& t) {
  float reach = t.height * 0.75f;
  int x0 = std::max(0, int((t.u - reach) / c.aspect * c.image.width) - 2);
  int x1 = std::min(c.image.width - 1, int((t.u + reach) / c.aspect * c.image.width) + 2);
  int y0 = std::max(0, int((t.v - t.height * 1.15f) * c.image.height) - 2);
  int y1 = std::min(c.image.height - 1, int(t.v * c.image.height) + 2);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      float X = c.u(x) * c.aspect, v = c.v(y);
      float nx, ny;
      float d = treeDistance(t, X, v, nx, ny, c.seed + 77);
      float cover = smoothstep(c.px * 0.8f, -c.px * 0.8f, d);
      if (cover <= 0) continue;
      // Light from the sun's side (right, a little above): a warm rim on the crowns.
      float light = std::clamp(0.55f + 0.45f * (nx * 0.85f - ny * 0.45f), 0.0f, 1.2f);
      Color col = t.color * (0.65f + 0.5f * light);
      col = col + kSunGlow * (0.08f * std::pow(std::clamp(nx, 0.0f, 1.0f), 3.0f));
      col = mix(col, horizonColor(c, X), t.haze);
      c.image.blend(x, y, col, cover);
    }
}

// ---- meadow, river, foreground ----

struct RiverPath {
  float startV;
  float centreU(float t) const { return 0.70f - 0.42f * t + 0.06f * std::sin(t * 7.0f); }
  float halfWidth(float t) const { return 0.004f + 0.14f * std::pow(t, 1.4f); }   // v units
};

void paintMeadowAndRiver(Canvas& c, const std::vector<float>& meadowRidge, const RiverPath& river) {
  for (int y = 0; y < c.image.height; ++y) {
    float v = c.v(y);
    for (int x = 0; x < c.image.width; ++x) {
      float ridge = meadowRidge[size_t(x)];
      if (v < ridge - c.px) continue;
      float u = c.u(x), X = u * c.aspect;
      float depth = v - ridge;
      float d = c.sunDistance(X, v);
      // Golden near the light, greener and darker towards the viewer, with mowing stripes.
      Color col = mix(Color{0.58f, 0.53f, 0.28f}, Color{0.25f, 0.30f, 0.12f}, smoothstep(0.0f, 0.25f, depth));
      col = col * (0.86f + 0.28f * fbm(X * 2.5f, v * 14.0f, 4, 0.55f, c.seed + 21));
      col = col * (0.94f + 0.12f * fbm(X * 30.0f, v * 90.0f, 2, 0.5f, c.seed + 22));
      col = col + kSunGlow * (0.16f * std::exp(-d / 0.25f));
      col = mix(col, horizonColor(c, X), 0.25f * std::exp(-depth / 0.03f));

      if (v >= river.startV) {
        float t = (v - river.startV) / (1.0f - river.startV);
        float dist = std::fabs(u - river.centreU(t)) * c.aspect;
        float hw = river.halfWidth(t);
        float water = smoothstep(hw + 2 * c.px, hw - 2 * c.px, dist);
        if (water > 0) {
          // The water mirrors the sky near the horizon, darker and a little green.
          float reflectedV = std::clamp(0.58f - (v - river.startV) * 1.3f, 0.12f, 0.58f);
          Color w = skyAt(c, X, reflectedV) * 0.78f;
          w = mix(w, Color{0.14f, 0.22f, 0.22f}, 0.12f + 0.3f * t);
          // A glint on the sun's column, broken into ripples, and a sheen towards the light.
          float column = std::exp(-sq((X - c.sunX()) / (0.025f + 0.10f * t)));
          float ripple = smoothstep(0.52f, 0.80f, fbm(X * 12.0f, v * 160.0f, 3, 0.5f, c.seed + 31));
          w = w + kSunCore * (column * ripple * 0.8f) + kSunGlow * (column * 0.25f);
          w = w * (0.92f + 0.16f * fbm(X * 6.0f, v * 70.0f, 2, 0.5f, c.seed + 32));
          // Darker banks.
          w = mix(w, Color{0.20f, 0.21f, 0.11f}, smoothstep(hw * 0.7f, hw, dist) * 0.3f);
          col = mix(col, w, water);
        }
      }
      c.image.blend(x, y, col, smoothstep(ridge - c.px * 0.5f, ridge + c.px * 0.5f, v));
    }
  }
}

void paintForegroundBank(Canvas& c) {
  std::vector<float> ridge(size_t(c.image.width));
  for (int x = 0; x < c.image.width; ++x) {
    float u = c.u(x), X = u * c.aspect;
    float v = 0.905f - 0.10f * sq(1 - smoothstep(0.0f, 0.35f, u)) + 0.03f * (fbm(X * 4.0f, 4, 0.5f, c.seed + 41) - 0.5f);
    // Grass blades standing on the edge.
    float blades = std::pow(valueNoise(X * 260.0f, c.seed + 42), 3.0f) * 0.7f +
                   std::pow(valueNoise(X * 530.0f, c.seed + 43), 4.0f) * 0.5f;
    ridge[size_t(x)] = v - 0.016f * blades;
  }
  float top = *std::min_element(ridge.begin(), ridge.end());
  for (int y = std::max(0, int(top * c.image.height) - 2); y < c.image.height; ++y) {
    float v = c.v(y);
    for (int x = 0; x < c.image.width; ++x) {
      float cover = smoothstep(ridge[size_t(x)] - c.px * 0.6f, ridge[size_t(x)] + c.px * 0.6f, v);
      if (cover <= 0) continue;
      float X = c.u(x) * c.aspect;
      float depth = v - ridge[size_t(x)];
      Color col = mix(Color{0.17f, 0.17f, 0.08f}, Color{0.06f, 0.07f, 0.04f}, smoothstep(0.0f, 0.08f, depth));
      col = col * (0.85f + 0.3f * fbm(X * 40.0f, v * 60.0f, 3, 0.5f, c.seed + 44));
      col = col + kSunGlow * (0.10f * std::exp(-depth / 0.006f));
      c.image.blend(x, y, col, cover);
    }
  }
}

void vignette(Canvas& c) {
  for (int y = 0; y < c.image.height; ++y)
    for (int x = 0; x < c.image.width; ++x) {
      float du = c.u(x) - 0.5f, dv = c.v(y) - 0.5f;
      float r = std::sqrt(du * du + dv * dv) / 0.7071f;
      c.image.set(x, y, c.image.get(x, y) * (1.0f - 0.22f * smoothstep(0.45f, 1.0f, r)));
    }
}

}  // namespace

Image paintValley(int width, int height, const ValleyOptions& options) {
  int ss = std::max(1, options.supersample);
  Canvas c;
  c.image = Image(width * ss, height * ss);
  c.aspect = float(width) / float(height);
  c.px = 1.0f / float(height * ss);
  c.seed = kContentSeed ^ options.seed;
  Random rnd(c.seed + 100);

  paintSky(c);
  paintBirds(c, rnd);
  paintHills(c, {0.575f, -0.02f, 0.060f, 2.6f, 0.004f, 0.62f, {0.42f, 0.40f, 0.52f}, {0.46f, 0.44f, 0.52f}, c.seed + 1});
  paintHills(c, {0.620f, 0.10f, 0.060f, 2.2f, 0.010f, 0.40f, {0.27f, 0.33f, 0.27f}, {0.32f, 0.36f, 0.28f}, c.seed + 2});
  std::vector<float> nearHills;
  paintHills(c, {0.675f, -0.13f, 0.040f, 1.7f, 0.012f, 0.20f, {0.20f, 0.27f, 0.15f}, {0.28f, 0.33f, 0.17f}, c.seed + 3}, &nearHills);

  // Scattered trees along the near ridge.
  for (int i = 0; i < 26; ++i) {
    float u = rnd.unit();
    if (std::fabs(u - kSunU) < 0.05f) continue;   // keep the sun clear
    int x = std::clamp(int(u * c.image.width), 0, c.image.width - 1);
    float h = rnd.range(0.025f, 0.045f);
    paintTree(c, makeTree(rnd, u * c.aspect, nearHills[size_t(x)] + h * 0.25f, h, {0.16f, 0.21f, 0.12f}, 0.18f, rnd.unit() < 0.35f));
  }

  std::vector<float> meadow(size_t(c.image.width));
  for (int x = 0; x < c.image.width; ++x)
    meadow[size_t(x)] = 0.712f + 0.008f * (fbm(c.u(x) * c.aspect * 3.0f, 3, 0.5f, c.seed + 6) - 0.5f);
  RiverPath river{0.712f};
  paintMeadowAndRiver(c, meadow, river);

  // Meadow trees: a few on each bank, kept off the water, painted far to near.
  std::vector<Tree> meadowTrees;
  for (int i = 0; i < 9; ++i) {
    float v = rnd.range(0.73f, 0.80f);
    float t = (v - river.startV) / (1.0f - river.startV);
    float u = rnd.unit();
    if (std::fabs(u - river.centreU(t)) * c.aspect < river.halfWidth(t) + 0.04f) continue;
    float h = 0.05f + (v - 0.73f) * 1.6f;
    meadowTrees.push_back(makeTree(rnd, u * c.aspect, v, h, {0.14f, 0.19f, 0.09f}, 0.10f, rnd.unit() < 0.3f));
  }
  std::stable_sort(meadowTrees.begin(), meadowTrees.end(), [](const Tree& a, const Tree& b) { return a.v < b.v; });
  for (const Tree& tree : meadowTrees) paintTreeShadow(c, tree);
  for (const Tree& tree : meadowTrees) paintTree(c, tree);

  paintForegroundBank(c);
  vignette(c);
  return ss == 1 ? c.image : resample(c.image, width, height);
}

}  // namespace content
