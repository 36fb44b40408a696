#include "VolumeScales.h"

namespace sw {

int CutVolume(int sliderPosition) { return sliderPosition * 255 / 100; }

}  // namespace sw
