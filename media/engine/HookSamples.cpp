#include "HookSamples.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sw {

void FloatsToHookSamples(const float* in, int16_t* out, size_t count) {
  // Rounded to the nearest, halves to even, as lrintf does, in a form the compiler turns
  // into vector instructions: adding 1.5 x 2^23 leaves the float's last bit a whole step.
  constexpr float Shift = 12582912.0f;
  for (size_t i = 0; i < count; ++i) {
    const float x = std::clamp(in[i] * 32768.0f, -32768.0f, 32767.0f);
    out[i] = static_cast<int16_t>(static_cast<int32_t>(x + Shift) - static_cast<int32_t>(Shift));
  }
}

void ApplyHookChanges(float* samples, const int16_t* before, const int16_t* after, size_t count) {
  // Most buffers of a cut come back untouched: a block compare skips them.
  constexpr size_t Block = 256;
  for (size_t at = 0; at < count; at += Block) {
    const size_t n = std::min(Block, count - at);
    if (std::memcmp(before + at, after + at, n * sizeof(int16_t)) == 0) continue;
    for (size_t i = at; i < at + n; ++i)
      if (after[i] != before[i]) samples[i] += static_cast<float>(after[i] - before[i]) * (1.0f / 32768.0f);
  }
}

void ApplyVolume(float* samples, size_t count, int volume) {
  if (volume == 256) return;
  const float gain = static_cast<float>(volume) / 256.0f;
  if (volume < 256) {
    for (size_t i = 0; i < count; ++i) samples[i] *= gain;
    return;
  }
  // Louder saturates at full scale, as 16-bit samples do (a float far out of range would
  // not even convert to an integer).
  for (size_t i = 0; i < count; ++i) samples[i] = std::clamp(samples[i] * gain, -1.0f, 1.0f);
}

}  // namespace sw
