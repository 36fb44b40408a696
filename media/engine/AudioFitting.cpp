#include "AudioFitting.h"

#include <algorithm>
#include <climits>
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

void ChooseChannelLayout(AVCodecContext* codec, const AVCodec* encoder, TCustomFFmpeg& engine) {
  const int channels = codec->ch_layout.nb_channels;
  if (!encoder || !encoder->ch_layouts || channels <= 0) return;
  const AVChannelLayout* best = nullptr;
  for (const AVChannelLayout* l = encoder->ch_layouts; l->nb_channels > 0; ++l) {
    if (l->nb_channels == channels) return;
    if (l->nb_channels < channels && (!best || l->nb_channels > best->nb_channels)) best = l;
  }
  if (!best) best = encoder->ch_layouts;
  engine.Log(llWarning, "%d channels unsupported by encoder %s, using %d", channels, encoder->name, best->nb_channels);
  ff::av_channel_layout_uninit(&codec->ch_layout);
  ff::av_channel_layout_copy(&codec->ch_layout, best);
}

}  // namespace sw

namespace sw {

TAudioBufferSizes AudioBufferSizes(int64_t size, int decBytesPerSample, int decChannels, int decRate, int encRate,
                                   int encBytesPerSample, int encChannels, int encFrameSize, int codedBits) {
  TAudioBufferSizes s;
  const int64_t inSamples = (size + decBytesPerSample * decChannels - 1) / (decBytesPerSample * decChannels);
  s.WorkSamples = std::max<int64_t>((inSamples * encRate + decRate) / decRate * 2 + 10000, encFrameSize);
  s.WorkBytes = s.WorkSamples * encBytesPerSample * encChannels;
  s.OutputBytes = std::max<int64_t>(s.WorkBytes, static_cast<int64_t>(encFrameSize) * encBytesPerSample * encChannels);
  if (codedBits > 8 * encBytesPerSample) s.OutputBytes = s.OutputBytes * codedBits / (8 * encBytesPerSample);
  s.OutputBytes += 16384;
  if (s.WorkBytes > INT_MAX || s.OutputBytes > INT_MAX) RaiseFFmpeg("Buffer sizes too large in do_audio_out");
  return s;
}

int64_t SampleCodecBytes(int64_t size, int encBytesPerSample, int codedBits, int64_t outputBytes) {
  int64_t bytes = size / encBytesPerSample;
  if (codedBits) bytes = bytes * codedBits / 8;
  if (bytes > outputBytes) RaiseFFmpeg("Internal error, buffer size too small");
  return bytes;
}

}  // namespace sw
