// valley.h — the painted valley: a late-afternoon landscape mood used by the loading picture,
// the preview still and the dialog pictures.
#pragma once

#include <cstdint>

#include "media/generator/image.h"

namespace content {

struct ValleyOptions {
  int supersample = 2;            // painted at this multiple of the size, then averaged down
  uint32_t seed = 0;
};

// Paints the valley at width × height (any aspect; the composition is laid out in fractions of
// the width and height, details in fractions of the height so they keep their shape).
Image paintValley(int width, int height, const ValleyOptions& options);

}  // namespace content
