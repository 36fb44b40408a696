// Creating an audio stream of an output file from the pending audio settings.
#include <bit>
#include <cmath>
#include <iterator>

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
  AVFormatContext* context = file.Context;
  const unsigned index = context->nb_streams;
  AVStream* stream = ff::avformat_new_stream(context, nullptr);
  if (!stream) RaiseFFmpeg("Could not alloc stream");
  if (index < std::size(o.StreamIds)) stream->id = o.StreamIds[index];
  // One setup per stream from here on, also when the rest fails.
  TOutputStreamSetup& setup = file.Streams.emplace_back();

  const AVCodec* encoder = nullptr;
  AVCodecID codecId = AV_CODEC_ID_NONE;
  if (!o.AudioStreamCopy) {
    if (o.AudioCodecName) {
      const int strictness = OptionSet().CodecContext(AVMEDIA_TYPE_AUDIO)->strict_std_compliance;
      if (!FindCodecByName(*o.AudioCodecName, AVMEDIA_TYPE_AUDIO, strictness, true, codecId))
        RaiseFFmpeg("%s", ErrorText().c_str());
      encoder = ff::avcodec_find_encoder_by_name(o.AudioCodecName->c_str());
      setup.Encoder = encoder;
    } else {
      codecId = ff::av_guess_codec(context->oformat, nullptr, context->url, nullptr, AVMEDIA_TYPE_AUDIO);
      encoder = ff::avcodec_find_encoder(codecId);
    }
  }

  setup.Codec.reset(ff::avcodec_alloc_context3(encoder));
  AVCodecContext* codec = setup.Codec.get();
  if (!codec) RaiseFFmpeg("Could not alloc stream");
  setup.BitstreamFilters = std::move(o.AudioBitstreamFilters);
  o.AudioBitstreamFilters.clear();
  codec->thread_count = 1;
  codec->codec_type = AVMEDIA_TYPE_AUDIO;
  codec->codec_id = codecId;
  if (o.AudioCodecTag) codec->codec_tag = o.AudioCodecTag;
  // The run maps input streams to this one by the stream's own media type.
  stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  stream->codecpar->codec_id = codecId;
  stream->codecpar->codec_tag = o.AudioCodecTag;

  if (context->oformat->flags & AVFMT_GLOBALHEADER) {
    codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    OptionSet().CodecContext(AVMEDIA_TYPE_AUDIO)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }

  if (o.AudioStreamCopy) {
    setup.StreamCopy = true;
    SetChannels(codec, o.AudioChannels, 0);
    codec->sample_rate = o.AudioSampleRate;
  } else {
    OptionSet().ApplyLibraryOptions(codec, OptionSet().CodecContext(AVMEDIA_TYPE_AUDIO),
                                    AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
    if (o.AudioQScale > -99999.0f) {
      codec->flags |= AV_CODEC_FLAG_QSCALE;
      codec->global_quality = static_cast<int>(std::lrint(FF_QP2LAMBDA * o.AudioQScale));
    }
    SetChannels(codec, o.AudioChannels, o.AudioChannelLayout);
    codec->sample_fmt = static_cast<AVSampleFormat>(o.AudioSampleFormat);
    codec->sample_rate = o.AudioSampleRate;
    ChooseSampleFormat(codec, encoder);
    ChooseSampleRate(codec, encoder, *this);
  }
  if (codec->sample_rate > 0) codec->time_base = AVRational{1, codec->sample_rate};

  if (!o.AudioLanguage.empty()) {
    ff::av_dict_set(&stream->metadata, "language", o.AudioLanguage.c_str(), 0);
    o.AudioLanguage.clear();
  }
  o.AudioDisabled = false;
  o.AudioCodecName.reset();
  o.AudioStreamCopy = false;
}

}  // namespace sw
