#include "GainRamp.h"

#include <algorithm>
#include <cmath>

#include "media/gain/SegmentFade.h"

namespace sw::mp3 {

int GainSteps(double factor) {
  if (factor <= 0) return Silence;
  if (factor >= 1) return 0;
  const double db = -20.0 * std::log10(factor);
  return std::min<int>(Silence, static_cast<int>(std::lround(db / GainStepDb)));
}

double TGainRamp::Factor(double position) const {
  return FadeFactor(position, static_cast<double>(FLength) - position, static_cast<double>(FFade)) * FVolume / 256.0;
}

}  // namespace sw::mp3
