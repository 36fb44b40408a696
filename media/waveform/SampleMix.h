#pragma once
// Mixes a decoded frame of any sample format down to one channel of floats (-1..1).
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace sw {

// The mean of the channels per sample; false for a sample format it does not know.
bool MixDown(const AVFrame& frame, std::vector<float>& out);

}  // namespace sw
