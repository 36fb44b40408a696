#pragma once
// The picture rate a video stream's codec announces, as opposed to the rate its
// container's timestamps show.
#include "media/common/FFHandles.h"

namespace sw {

struct TCodecTiming {
  AVRational TickBase{0, 1};  // the codec's time base; {0, 1} when the codec told none
  int TicksPerFrame = 1;
  // One picture's duration in seconds: the ticks of a picture, else the container's rate
  // (the rate every timestamp fits, else the average); {0, 1} when nothing is known.
  AVRational FrameDuration{0, 1};
};

TCodecTiming CodecTiming(const AVStream* stream);

}  // namespace sw
