// Creating an audio stream of an output file from the pending audio settings.
#include <bit>
#include <cmath>

#include "FFmpegTask.h"
#include "media/engine/AudioFitting.h"

namespace sw {

namespace {

// The pending layout when it has the pending channel count, else the default layout.
void SetChannels(AVCodecContext* codec, int channels, uint64_t layout) {
  ff::av_channel_layout_uninit(&codec->ch_layout);
  if (layout && std::popcount(layout) == channels)
    codec->ch_layout = AVChannelLayout AV_CHANNEL_LAYOUT_MASK(channels, layout);
  else
    ff::av_channel_layout_default(&codec->ch_layout, channels);
}

}  // namespace

void TFFmpeg::NewAudioStream(TOutputFile& file) {
  TOptionSettings& o = Options();
  const TNewStream s = BeginStream(file, AVMEDIA_TYPE_AUDIO);
  AVCodecContext* codec = s.Codec;
  SetFormatGlobalHeader(s, AVMEDIA_TYPE_AUDIO);

  if (s.Setup->StreamCopy) {
    SetChannels(codec, o.AudioChannels, 0);
    codec->sample_rate = o.AudioSampleRate;
  } else {
    if (o.AudioQScale > -99999.0f) {
      codec->flags |= AV_CODEC_FLAG_QSCALE;
      codec->global_quality = static_cast<int>(std::lrint(FF_QP2LAMBDA * o.AudioQScale));
    }
    SetChannels(codec, o.AudioChannels, o.AudioChannelLayout);
    codec->sample_fmt = static_cast<AVSampleFormat>(o.AudioSampleFormat);
    codec->sample_rate = o.AudioSampleRate;
    ChooseSampleFormat(codec, s.Encoder);
    ChooseSampleRate(codec, s.Encoder, *this);
    ChooseChannelLayout(codec, s.Encoder, *this);
  }
  if (codec->sample_rate > 0) codec->time_base = AVRational{1, codec->sample_rate};
  FinishStream(s, AVMEDIA_TYPE_AUDIO);
}

void TFFmpeg::NewSubtitleStream(TOutputFile& file) {
  const TNewStream s = BeginStream(file, AVMEDIA_TYPE_SUBTITLE);
  SetFormatGlobalHeader(s, AVMEDIA_TYPE_SUBTITLE);
  FinishStream(s, AVMEDIA_TYPE_SUBTITLE);
}

}  // namespace sw
