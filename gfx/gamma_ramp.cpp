// gamma_ramp.cpp — the gamma setting's ramp. Every value of the setting stays within 16 bits:
// the largest entry is 65355 and the smallest step (g = 255) still keeps entry 0 above zero.
#include "gfx/gamma_ramp.h"

void buildGammaRamp(uint8_t gamma, D3DGAMMARAMP& ramp) {
  const int g = gamma;
  for (int i = 0; i < 256; ++i) {
    int entry;
    if (g <= 100) {
      entry = (256 - 2 * (100 - g)) * i;
    } else {
      const int step = static_cast<int>(256.0 - 1.5 * (g - 100));   // truncates toward zero
      entry = 65355 - step * (255 - i);
    }
    ramp.red[i] = ramp.green[i] = ramp.blue[i] = static_cast<WORD>(entry);
  }
}

void buildIdentityRamp(D3DGAMMARAMP& ramp) { buildGammaRamp(100, ramp); }
