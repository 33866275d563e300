// gamma_ramp.h — the display ramp for the user's gamma setting, and the identity ramp.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8.h"

// gamma 0…255, 100 neutral. Up to 100 the ramp is 256 × i scaled down (step 2g + 56, darker);
// above 100 it ends at 65355 and lifts the dark entries (step 256 − 1.5 (g − 100), truncated).
// Red, green and blue are equal.
void buildGammaRamp(uint8_t gamma, D3DGAMMARAMP& ramp);
// Entry i = 256 × i on every channel.
void buildIdentityRamp(D3DGAMMARAMP& ramp);
