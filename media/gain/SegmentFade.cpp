#include "SegmentFade.h"

#include <algorithm>
#include <cmath>

namespace sw {

namespace {

// The factor in 1/256, ties to even, as the 16-bit samples are scaled.
int GainOf(double factor) { return static_cast<int>(std::nearbyint(factor * 256.0)); }

}  // namespace

int64_t SampleAt(int64_t time, int sampleRate) {
  const int64_t scaled = time * sampleRate;
  return scaled >= 0 ? (scaled + 500000) / 1000000 : -((-scaled + 500000) / 1000000);
}

double FadeFactor(double fromStart, double toEnd, double fade) {
  if (fade <= 0) return 1.0;
  double f = 1.0;
  if (fromStart < fade)
    f = fromStart / fade;
  else if (toEnd < fade)
    f = toEnd / fade;
  return std::max(0.0, f);
}

int TFadeShaper::Gain(int64_t time) const {
  return GainOf(FadeFactor(static_cast<double>(time - FStart), static_cast<double>(FEnd - time),
                           static_cast<double>(FFade)));
}

int TFadeShaper::SampleGain(int64_t sample, int sampleRate) const {
  return GainOf(FadeFactor(static_cast<double>(sample - SampleAt(FStart, sampleRate)),
                           static_cast<double>(SampleAt(FEnd, sampleRate) - sample),
                           static_cast<double>(SampleAt(FFade, sampleRate))));
}

void TFadeShaper::Apply(int64_t pts, int16_t* samples, int frames, int sampleRate, int channels) const {
  if (channels <= 0 || sampleRate <= 0 || frames <= 0) return;
  // Each frame's place is counted in samples from the buffer's first: times in whole
  // microseconds would put a sample on the wrong side of the segment's start.
  const int64_t first = SampleAt(pts, sampleRate), start = SampleAt(FStart, sampleRate);
  const int64_t fade = SampleAt(FFade, sampleRate);
  // Buffers before the segment never reach the encoder.
  if (first + frames <= start) return;
  // Between the fades every gain is 1: most buffers of a long cut pass untouched.
  if (first - start >= fade && first + frames - 1 <= SampleAt(FEnd, sampleRate) - fade) return;
  int16_t* s = samples;
  for (int i = 0; i < frames; ++i, s += channels) {
    if (first + i < start) continue;
    const int gain = SampleGain(first + i, sampleRate);
    if (gain == 256) continue;
    for (int c = 0; c < channels; ++c) s[c] = static_cast<int16_t>(std::clamp((s[c] * gain + 128) >> 8, -32768, 32767));
  }
}

}  // namespace sw
