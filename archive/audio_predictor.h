// audio_predictor.h — the adaptive linear predictor of RAR 2.0 multimedia blocks, one per channel.
#pragma once

#include <cstdint>

struct AudioChannel {
  int32_t k1 = 0, k2 = 0, k3 = 0, k4 = 0, k5 = 0;  // adaptive coefficients
  int32_t d1 = 0, d2 = 0, d3 = 0, d4 = 0;          // recent deltas
  int32_t lastDelta = 0;
  uint32_t errors[11] = {};                        // error sums of the eleven candidate adjustments
  uint32_t byteCount = 0;
  int32_t lastByte = 0;                            // kept unmasked
};

// The prediction for the next byte of `channel`, before the delta history moves on.
// `channelDelta` is shared by all channels of the block.
struct AudioPredictor {
  // Turns a decoded symbol (0…255) into the output byte and adapts the channel.
  static uint8_t decode(AudioChannel& channel, int32_t& channelDelta, uint32_t symbol);
  // The symbol that `decode` turns into `byte` with the same state; adapts the channel the same way.
  static uint32_t encode(AudioChannel& channel, int32_t& channelDelta, uint8_t byte);

 private:
  static int32_t predict(AudioChannel& channel, int32_t channelDelta);
  static void adapt(AudioChannel& channel, int32_t& channelDelta, uint32_t symbol, int32_t produced);
};
