#include "VolumeScales.h"

namespace sw {

int CutVolume(int sliderPosition) { return sliderPosition * 255 / 100; }

int PreviewVolume(int sliderPosition) { return sliderPosition * 255 / 100; }

int PreviewStartVolume(int sliderPosition) { return sliderPosition * 204 / 100; }

}  // namespace sw
