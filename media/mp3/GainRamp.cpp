#include "GainRamp.h"

#include <algorithm>
#include <cmath>

namespace sw::mp3 {

int GainSteps(double factor) {
  if (factor <= 0) return Silence;
  if (factor >= 1) return 0;
  const double db = -20.0 * std::log10(factor);
  return std::min<int>(Silence, static_cast<int>(std::lround(db / GainStepDb)));
}

double TGainRamp::Factor(double position) const {
  double f = 1.0;
  if (FFade > 0) {
    if (position < static_cast<double>(FFade))
      f = position / static_cast<double>(FFade);
    else if (position > static_cast<double>(FLength - FFade))
      f = (static_cast<double>(FLength) - position) / static_cast<double>(FFade);
  }
  return std::max(0.0, f) * FVolume / 256.0;
}

}  // namespace sw::mp3
