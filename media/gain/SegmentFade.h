#pragma once
// The cut's fades, for both cuts: a linear fade-in over the first five seconds of the
// segment and a fade-out over its last five; where the two overlap (a segment shorter than
// ten seconds) the fade-in wins. Samples are placed by their index at the stream's rate,
// counted as the trim counts them, so the first sample a cut keeps is silent.
#include <cstdint>

namespace sw {

// The length of each ramp, µs.
inline constexpr int64_t FadeTime = 5000000;

// The index of the sample nearest a time in µs at that rate; halves away from zero, as
// the trim of a cut counts.
int64_t SampleAt(int64_t time, int sampleRate);

// The loudness factor (0 silent, 1 unchanged) at a point `fromStart` after the segment's
// start and `toEnd` before its end, in units of which `fade` make one ramp. Points outside
// the segment are silent; a ramp of no length leaves everything unchanged.
double FadeFactor(double fromStart, double toEnd, double fade);

// The fades on the decoded 16-bit sound of a segment given in µs on the source's time line:
// the re-encoding cut applies them to every buffer before it is encoded.
class TFadeShaper {
 public:
  // fadeTime: each ramp's length, µs; 0 leaves every sample as it is.
  TFadeShaper(int64_t segStartTime, int64_t segEndTime, int64_t fadeTime = FadeTime)
      : FStart(segStartTime), FEnd(segEndTime), FFade(fadeTime) {}
  // The gain in 1/256 (256 leaves a sample as it is) of a frame at that time.
  int Gain(int64_t time) const;
  // The gain of the frame with that index on the input's time line at that rate.
  int SampleGain(int64_t sample, int sampleRate) const;
  // Shapes interleaved 16-bit frames in place; the first has the time pts (µs). A sample s
  // at gain G becomes (s × G + 128) >> 8.
  void Apply(int64_t pts, int16_t* samples, int frames, int sampleRate, int channels) const;

 private:
  int64_t FStart, FEnd, FFade;  // µs
};

}  // namespace sw
