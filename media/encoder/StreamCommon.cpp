// The steps that output streams of every kind share: the stream with its id, the encoder,
// the codec context with the option block's settings, and the clean-up of the kind.
#include "FFmpegTask.h"

namespace sw {

namespace {

struct TKind {
  std::optional<std::string>& CodecName;
  bool& StreamCopy;
  bool& Disabled;
  uint32_t Tag;
  std::vector<std::string>& BitstreamFilters;
  std::vector<TMetadataPair>& PrivateOptions;
  std::string& Language;
  char Prefix;
  int ParamFlag;
};

TKind KindOf(TOptionSettings& o, AVMediaType type) {
  switch (type) {
    case AVMEDIA_TYPE_VIDEO:
      return {o.VideoCodecName, o.VideoStreamCopy, o.VideoDisabled, o.VideoCodecTag, o.VideoBitstreamFilters,
              o.VideoPrivateOptions, o.VideoLanguage, 'v', AV_OPT_FLAG_VIDEO_PARAM};
    case AVMEDIA_TYPE_AUDIO:
      return {o.AudioCodecName, o.AudioStreamCopy, o.AudioDisabled, o.AudioCodecTag, o.AudioBitstreamFilters,
              o.AudioPrivateOptions, o.AudioLanguage, 'a', AV_OPT_FLAG_AUDIO_PARAM};
    default:
      return {o.SubtitleCodecName, o.SubtitleStreamCopy, o.SubtitleDisabled, o.SubtitleCodecTag,
              o.SubtitleBitstreamFilters, o.SubtitlePrivateOptions, o.SubtitleLanguage, 's',
              AV_OPT_FLAG_SUBTITLE_PARAM};
  }
}

void CopyOption(void* target, void* source, const char* name) {
  uint8_t* value = nullptr;
  if (ff::av_opt_get(source, name, 0, &value) >= 0 && value)
    ff::av_opt_set(target, name, reinterpret_cast<const char*>(value), 0);
  ff::av_free(value);
}

// Names the option block took only through their kind prefix ("vb" as the video "b").
void CopyPrefixedOptions(const TLibraryOptionSet& set, AVCodecContext* codec, AVMediaType type, char prefix) {
  AVCodecContext* tmpl = set.CodecContext(type);
  for (const std::string& name : set.Names()) {
    if (name.size() < 2 || name[0] != prefix || ff::av_opt_find(tmpl, name.c_str(), nullptr, 0, 0)) continue;
    if (ff::av_opt_find(tmpl, name.c_str() + 1, nullptr, 0, 0)) CopyOption(codec, tmpl, name.c_str() + 1);
  }
}

}  // namespace

TFFmpeg::TNewStream TFFmpeg::BeginStream(TOutputFile& file, AVMediaType type) {
  TOptionSettings& o = Options();
  const TKind kind = KindOf(o, type);
  AVFormatContext* context = file.Context;
  const unsigned index = context->nb_streams;
  AVStream* stream = ff::avformat_new_stream(context, nullptr);
  if (!stream) RaiseFFmpeg("Could not alloc stream");
  if (index < std::size(o.StreamIds)) stream->id = o.StreamIds[index];
  // One setup per stream from here on, also when the rest fails.
  TOutputStreamSetup& setup = file.Streams.emplace_back();

  const AVCodec* encoder = nullptr;
  AVCodecID codecId = AV_CODEC_ID_NONE;
  if (!kind.StreamCopy) {
    if (kind.CodecName) {
      const int strictness = OptionSet().CodecContext(type)->strict_std_compliance;
      if (!FindCodecByName(*kind.CodecName, type, strictness, true, codecId)) RaiseFFmpeg("%s", ErrorText().c_str());
      encoder = ff::avcodec_find_encoder_by_name(kind.CodecName->c_str());
      setup.Encoder = encoder;
    } else {
      codecId = ff::av_guess_codec(context->oformat, nullptr, context->url, nullptr, type);
      encoder = ff::avcodec_find_encoder(codecId);
    }
  }

  setup.Codec.reset(ff::avcodec_alloc_context3(encoder));
  AVCodecContext* codec = setup.Codec.get();
  if (!codec) RaiseFFmpeg("Could not alloc stream");
  setup.BitstreamFilters = std::move(kind.BitstreamFilters);
  kind.BitstreamFilters.clear();
  codec->thread_count = 1;
  codec->codec_type = type;
  codec->codec_id = codecId;
  if (kind.Tag) codec->codec_tag = kind.Tag;
  // The run maps input streams to this one by the stream's own media type.
  stream->codecpar->codec_type = type;
  stream->codecpar->codec_id = codecId;
  stream->codecpar->codec_tag = kind.Tag;

  if (!kind.StreamCopy) {
    OptionSet().ApplyLibraryOptions(codec, OptionSet().CodecContext(type), kind.ParamFlag | AV_OPT_FLAG_ENCODING_PARAM);
    CopyPrefixedOptions(OptionSet(), codec, type, kind.Prefix);
    for (const auto& [name, value] : kind.PrivateOptions)
      if (!codec->priv_data || ff::av_opt_set(codec->priv_data, name.c_str(), value.c_str(), 0) < 0)
        Log(llWarning, "Option %s=%s is not taken by encoder %s", name.c_str(), value.c_str(),
            encoder ? encoder->name : "none");
  }
  kind.PrivateOptions.clear();
  setup.StreamCopy = kind.StreamCopy;
  return TNewStream{context, stream, &setup, codec, encoder};
}

void TFFmpeg::SetFormatGlobalHeader(const TNewStream& s, AVMediaType type) {
  if (!(s.Context->oformat->flags & AVFMT_GLOBALHEADER)) return;
  s.Codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  OptionSet().CodecContext(type)->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

void TFFmpeg::FinishStream(const TNewStream& s, AVMediaType type) {
  const TKind kind = KindOf(Options(), type);
  if (!kind.Language.empty()) {
    ff::av_dict_set(&s.Stream->metadata, "language", kind.Language.c_str(), 0);
    kind.Language.clear();
  }
  kind.Disabled = false;
  kind.CodecName.reset();
  kind.StreamCopy = false;
}

}  // namespace sw
