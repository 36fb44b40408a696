#pragma once
// Fades and volume in the gain domain: how many 1.5 dB steps to take off a granule's
// global gain at a point of the segment.
//
// The loudness curve against the re-encoding cut's linear ramp: that ramp multiplies
// the samples by t / 5 s, i.e. 20·log10(t / 5 s) dB. Here each granule (576 samples,
// 13 ms at 44.1 kHz, 36 ms at 16 kHz) is lowered by that figure rounded to whole steps of
// 1.5 dB, so the curve is a staircase that stays within ±0.75 dB of the linear ramp
// (in dB) and moves once per granule. A granule cannot go quieter than global gain 0; for
// usual music (gains of 120 to 180) that floor lies 180 dB or more down, far below
// hearing; granules wholly outside the segment (decoded only to be dropped) go there.
// The volume (0..256, 256 unchanged) is folded into the same figure.
#include <cstdint>

namespace sw::mp3 {

constexpr double GainStepDb = 1.5;
constexpr int Silence = 255;  // steps that take any gain to 0

// Steps for a linear factor of loudness (1 unchanged); 0 and below give Silence.
int GainSteps(double factor);

class TGainRamp {
 public:
  // Segment and ramp lengths in samples; volume on the encoder's scale (256 unchanged).
  TGainRamp(int64_t length, int64_t fade, int volume) : FLength(length), FFade(fade), FVolume(volume) {}
  // The linear factor at a position of the segment (samples from its start): the cut's
  // fade (the re-encoding cut's too) times the volume.
  double Factor(double position) const;
  int Steps(double position) const { return GainSteps(Factor(position)); }

 private:
  int64_t FLength, FFade;
  int FVolume;
};

}  // namespace sw::mp3
