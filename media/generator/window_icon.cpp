// window_icon.cpp — the window icon: a round valley emblem (sky, low sun, two hills, a river)
// on a transparent ground, 48 × 48, 32-bit BMP with alpha.
#include <cmath>

#include "media/generator/content.h"
#include "media/generator/image.h"
#include "media/generator/noise.h"

namespace content {

bool writeWindowIcon(const StepContext& context) {
  constexpr int kSize = 48, kScale = 8, kBig = kSize * kScale;
  Image big(kBig, kBig, true);
  const float px = 1.0f / kBig;
  for (int y = 0; y < kBig; ++y)
    for (int x = 0; x < kBig; ++x) {
      float u = (x + 0.5f) * px, v = (y + 0.5f) * px;
      // Sky: blue overhead to warm haze, the sun low on the right.
      Color col = mix(Color{0.22f, 0.40f, 0.72f}, Color{1.0f, 0.78f, 0.48f}, smoothstep(0.05f, 0.55f, v));
      float sun = std::hypot(u - 0.64f, v - 0.41f);
      col = col + Color{1.0f, 0.70f, 0.35f} * (0.35f * std::exp(-sun / 0.12f));
      col = mix(col, Color{1.0f, 0.96f, 0.82f}, smoothstep(0.10f + px, 0.10f - px, sun));
      // Far hill (hazy), near hill (green).
      float far = 0.52f + 0.07f * std::sin(u * 5.0f + 0.6f) - 0.05f * (1 - u);
      col = mix(col, Color{0.45f, 0.45f, 0.55f}, smoothstep(far - px, far + px, v));
      float near = 0.64f + 0.06f * std::sin(u * 7.0f + 2.4f) + 0.05f * u;
      col = mix(col, mix(Color{0.33f, 0.45f, 0.18f}, Color{0.20f, 0.30f, 0.12f}, smoothstep(near, 1.0f, v)),
                smoothstep(near - px, near + px, v));
      // The river winding from the gap towards the viewer.
      float t = smoothstep(0.62f, 1.0f, v);
      float centre = 0.58f - 0.25f * t + 0.08f * std::sin(t * 6.0f);
      float half = 0.02f + 0.14f * t * t;
      float water = smoothstep(half + px, half - px, std::fabs(u - centre)) * smoothstep(0.66f, 0.70f, v);
      col = mix(col, mix(Color{0.55f, 0.68f, 0.85f}, Color{1.0f, 0.92f, 0.70f}, std::exp(-std::fabs(u - 0.60f) / 0.08f)), water);
      // Round emblem with a dark rim.
      float r = std::hypot(u - 0.5f, v - 0.5f);
      col = mix(col, Color{0.10f, 0.12f, 0.10f}, smoothstep(0.458f - px, 0.458f + px, r));
      big.set(x, y, col);
      big.alpha[size_t(y) * kBig + x] = smoothstep(0.485f + px, 0.485f - px, r);
    }
  Image icon = resample(big, kSize, kSize);
  return writeBmp32(context.outputDir + "/icon.bmp", kSize, kSize, toRgba8(icon, 0, 0));
}

}  // namespace content
