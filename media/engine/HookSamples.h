#pragma once
// The audio hook's 16-bit view of the engine's float samples, and the way back: the
// encoders get the decoder's own floats, changed only where the hook changed a sample.
#include <cstddef>
#include <cstdint>

namespace sw {

// Each float (full scale ±1) as a 16-bit sample: rounded to the nearest, clipped.
void FloatsToHookSamples(const float* in, int16_t* out, size_t count);
// Adds to each float the change the hook made to its 16-bit sample (`before` as handed
// over, `after` as the hook left it), scaled back to full scale ±1. Samples the hook left
// alone keep their float value exactly.
void ApplyHookChanges(float* samples, const int16_t* before, const int16_t* after, size_t count);
// The engine's volume (256 unchanged) on floats: no rounding; a louder volume saturates
// at full scale.
void ApplyVolume(float* samples, size_t count, int volume);

}  // namespace sw
