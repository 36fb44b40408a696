#include "AudioFitting.h"

#include <cstdlib>

namespace sw {

void ChooseSampleFormat(AVCodecContext* codec, const AVCodec* encoder) {
  if (!encoder || !encoder->sample_fmts) return;
  for (const AVSampleFormat* f = encoder->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == codec->sample_fmt) return;
  codec->sample_fmt = encoder->sample_fmts[0];
}

void ChooseSampleRate(AVCodecContext* codec, const AVCodec* encoder, TCustomFFmpeg& engine) {
  if (!encoder || !encoder->supported_samplerates || !encoder->supported_samplerates[0]) return;
  int best = 0;
  long long bestDistance = -1;
  for (const int* rate = encoder->supported_samplerates; *rate; ++rate) {
    const long long distance = std::llabs(static_cast<long long>(*rate) - codec->sample_rate);
    if (bestDistance < 0 || distance < bestDistance) {
      best = *rate;
      bestDistance = distance;
    }
  }
  if (bestDistance != 0) engine.Log(llWarning, "Requested sampling rate unsupported using closest supported (%d)", best);
  codec->sample_rate = best;
}

}  // namespace sw
