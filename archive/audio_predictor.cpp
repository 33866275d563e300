// audio_predictor.cpp — prediction, error bookkeeping and coefficient adjustment of one audio channel.
#include "archive/audio_predictor.h"

#include <cstdlib>

int32_t AudioPredictor::predict(AudioChannel& v, int32_t channelDelta) {
  v.byteCount++;
  v.d4 = v.d3;
  v.d3 = v.d2;
  v.d2 = v.lastDelta - v.d1;
  v.d1 = v.lastDelta;
  // Arithmetic in 32 bits wraps like the original's; do it unsigned to keep it defined.
  uint32_t p = uint32_t(8 * v.lastByte) + uint32_t(v.k1 * v.d1) + uint32_t(v.k2 * v.d2) +
               uint32_t(v.k3 * v.d3) + uint32_t(v.k4 * v.d4) + uint32_t(v.k5 * channelDelta);
  return (int32_t(p) >> 3) & 0xFF;
}

void AudioPredictor::adapt(AudioChannel& v, int32_t& channelDelta, uint32_t symbol, int32_t c) {
  int32_t e = int32_t(int8_t(uint8_t(symbol))) * 8;
  const int32_t candidates[11] = {e,         e - v.d1, e + v.d1, e - v.d2,          e + v.d2, e - v.d3,
                                  e + v.d3,  e - v.d4, e + v.d4, e - channelDelta, e + channelDelta};
  for (int i = 0; i < 11; ++i) v.errors[i] += uint32_t(std::abs(candidates[i]));

  channelDelta = v.lastDelta = int32_t(int8_t(uint8_t(c - v.lastByte)));
  v.lastByte = c;

  if ((v.byteCount & 0x1F) != 0) return;
  uint32_t best = v.errors[0];
  int bestIndex = 0;
  for (int i = 1; i < 11; ++i) {
    if (v.errors[i] < best) {
      best = v.errors[i];
      bestIndex = i;
    }
  }
  for (uint32_t& err : v.errors) err = 0;
  int32_t* k[5] = {&v.k1, &v.k2, &v.k3, &v.k4, &v.k5};
  if (bestIndex == 0) return;
  int32_t& coefficient = *k[(bestIndex - 1) / 2];
  if (bestIndex & 1) {
    if (coefficient >= -16) coefficient--;
  } else {
    if (coefficient < 16) coefficient++;
  }
}

uint8_t AudioPredictor::decode(AudioChannel& v, int32_t& channelDelta, uint32_t symbol) {
  int32_t p = predict(v, channelDelta);
  int32_t c = p - int32_t(symbol);
  adapt(v, channelDelta, symbol, c);
  return uint8_t(c & 0xFF);
}

uint32_t AudioPredictor::encode(AudioChannel& v, int32_t& channelDelta, uint8_t byte) {
  int32_t p = predict(v, channelDelta);
  uint32_t symbol = uint32_t(p - byte) & 0xFF;
  int32_t c = p - int32_t(symbol);
  adapt(v, channelDelta, symbol, c);
  return symbol;
}
