// Opening an input file: format, stream information, seek, and taking over its stream
// parameters as the defaults of the outputs.
#include <memory>

#include "FFmpegTask.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"
#include "media/engine/CodecFrameRate.h"

namespace sw {

namespace {

struct TInputCloser {
  void operator()(AVFormatContext* c) const { CloseInputFormat(&c); }
};
using TInputContextPtr = std::unique_ptr<AVFormatContext, TInputCloser>;

// The settings that only some demuxers (raw audio, raw video, capture devices) take; the
// others leave them in the dictionary.
void AddFormatParameters(const TOptionSettings& o, AVDictionary** options) {
  ff::av_dict_set(options, "sample_rate", std::to_string(o.AudioSampleRate).c_str(), 0);
  ff::av_dict_set(options, "channels", std::to_string(o.AudioChannels).c_str(), 0);
  if (o.FrameWidth > 0 && o.FrameHeight > 0)
    ff::av_dict_set(options, "video_size", FormatText("%dx%d", o.FrameWidth, o.FrameHeight).c_str(), 0);
  if (o.PixelFormat >= 0) {
    if (const char* name = ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(o.PixelFormat)))
      ff::av_dict_set(options, "pixel_format", name, 0);
  }
  if (o.FrameRate.num > 0 && o.FrameRate.den > 0)
    ff::av_dict_set(options, "framerate", FormatText("%d/%d", o.FrameRate.num, o.FrameRate.den).c_str(), 0);
  if (o.InputChannel) ff::av_dict_set(options, "channel", std::to_string(o.InputChannel).c_str(), 0);
  if (o.TvStandard) ff::av_dict_set(options, "standard", o.TvStandard->c_str(), 0);
}

const AVCodec* ForcedDecoder(const std::optional<std::string>& name) {
  return name && !name->empty() ? ff::avcodec_find_decoder_by_name(name->c_str()) : nullptr;
}

// The option block's decoding options of that media type, as they are now: the stream's
// decoder is opened with them when the run starts.
std::vector<TOptionValue> DecodingOptions(TLibraryOptionSet& set, AVMediaType type) {
  const int param = type == AVMEDIA_TYPE_VIDEO ? AV_OPT_FLAG_VIDEO_PARAM : AV_OPT_FLAG_AUDIO_PARAM;
  return set.LibraryOptionValues(set.CodecContext(type), param | AV_OPT_FLAG_DECODING_PARAM);
}

}  // namespace

bool TFFmpeg::OpenInputFile(const std::string& fileName) {
  TOptionSettings& o = Options();
  // Whatever the outcome, pending codec names and the TV standard belong to this file only.
  struct TPendingClear {
    TOptionSettings& O;
    ~TPendingClear() {
      O.VideoCodecName.reset();
      O.AudioCodecName.reset();
      O.SubtitleCodecName.reset();
      O.TvStandard.reset();
    }
  } pendingClear{o};

  AVFormatContext* raw = OpenInputFormatOf(fileName, TakeForcedFormat());
  if (!raw) return false;
  TInputContextPtr context(raw);
  if (!SelectProgram(raw) || !FindStreamInfo(raw, fileName)) return false;
  const int64_t timestamp = SeekInputToStart(raw, fileName);
  TakeStreamParameters(raw);

  TEngineSettings& s = Settings();
  if (raw->duration != AV_NOPTS_VALUE && raw->duration > s.TotalDuration) s.TotalDuration = raw->duration;
  const int index = InputFileCount();
  const int64_t offset = s.CopyTimestamps ? o.InputTimestampOffset : o.InputTimestampOffset - timestamp;
  AddInputFile(context.release(), offset);  // closes the file itself when it refuses it
  for (int stream = 0; stream < MaxStreams; ++stream) {
    InputTimestampScale(index, stream) = o.InputTimestampScales[stream];
    o.InputTimestampScales[stream] = 0;
  }
  if (s.Verbosity >= 0) ff::av_dump_format(raw, index, fileName.c_str(), 0);
  o.InputChannel = 0;
  return true;
}

const AVInputFormat* TFFmpeg::TakeForcedFormat() {
  TOptionSettings& o = Options();
  if (o.ForcedFormat.empty()) return nullptr;
  const std::string name = std::move(o.ForcedFormat);
  o.ForcedFormat.clear();
  const AVInputFormat* format = ff::av_find_input_format(name.c_str());
  if (!format) RaiseFFmpeg("Unknown input format: \"%s\"", name.c_str());
  return format;
}

AVFormatContext* TFFmpeg::OpenInputFormatOf(const std::string& fileName, const AVInputFormat* format) {
  TOptionSettings& o = Options();
  AVFormatContext* raw = ff::avformat_alloc_context();
  if (!raw) RaiseFFmpeg("avformat_alloc_context failed");
  TFormatContextPtr unopened(raw);

  TDictionary parameters;
  AddFormatParameters(o, parameters.Addr());
  OptionSet().ApplyLibraryOptions(raw, OptionSet().FormatContext(), AV_OPT_FLAG_DECODING_PARAM);

  AVCodecID videoId, audioId, subtitleId;
  if (!FindCodecByName(o.VideoCodecName.value_or(""), AVMEDIA_TYPE_VIDEO,
                       OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->strict_std_compliance, false, videoId) ||
      !FindCodecByName(o.AudioCodecName.value_or(""), AVMEDIA_TYPE_AUDIO,
                       OptionSet().CodecContext(AVMEDIA_TYPE_AUDIO)->strict_std_compliance, false, audioId) ||
      !FindCodecByName(o.SubtitleCodecName.value_or(""), AVMEDIA_TYPE_SUBTITLE,
                       OptionSet().CodecContext(AVMEDIA_TYPE_SUBTITLE)->strict_std_compliance, false, subtitleId))
    return nullptr;
  raw->video_codec_id = o.ImageFormat ? AV_CODEC_ID_PGMYUV : videoId;
  raw->audio_codec_id = audioId;
  raw->subtitle_codec_id = subtitleId;
  raw->flags |= AVFMT_FLAG_NONBLOCK;

  // The open frees the context when it fails.
  // A device's input name (a lavfi graph) is no file name: it goes to the device as it is.
  const bool device = format && (format->flags & AVFMT_NOFILE);
  const int opened = OpenInputFormat(&raw, device ? fileName : MediaUrl(fileName), format, parameters.Addr());
  unopened.release();
  if (opened < 0) {
    SetErrorText(LibraryErrorText(fileName, opened));
    return nullptr;
  }
  return raw;
}

bool TFFmpeg::SelectProgram(AVFormatContext* input) {
  TEngineSettings& s = Settings();
  if (s.ProgramId == 0) return true;
  for (unsigned i = 0; i < input->nb_streams; ++i) input->streams[i]->discard = AVDISCARD_ALL;
  bool found = false;
  for (unsigned p = 0; p < input->nb_programs; ++p) {
    AVProgram* program = input->programs[p];
    if (program->id == s.ProgramId) {
      found = true;
      for (unsigned i = 0; i < program->nb_stream_indexes; ++i)
        input->streams[program->stream_index[i]]->discard = AVDISCARD_DEFAULT;
    } else {
      program->discard = AVDISCARD_ALL;
    }
  }
  s.ProgramId = 0;
  if (!found) SetErrorText("Specified program id not found");
  return found;
}

bool TFFmpeg::FindStreamInfo(AVFormatContext* input, const std::string& fileName) {
  int found;
  {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    found = ff::avformat_find_stream_info(input, nullptr);
  }
  if (found < 0 && Settings().Verbosity >= 0) {
    SetErrorText(FormatText("%s: could not find codec parameters", fileName.c_str()));
    Log(llVerbose, "%s", ErrorText().c_str());
    return false;
  }
  return true;
}

int64_t TFFmpeg::SeekInputToStart(AVFormatContext* input, const std::string& fileName) {
  TEngineSettings& s = Settings();
  int64_t timestamp = s.StartTime;
  if (input->start_time != AV_NOPTS_VALUE) timestamp += input->start_time;
  if (s.StartTime != 0) {
    if (ff::av_seek_frame(input, -1, timestamp, AVSEEK_FLAG_BACKWARD) < 0 && s.Verbosity > 0)
      Log(llVerbose, "%s: could not seek to position %0.3f", fileName.c_str(),
          static_cast<double>(timestamp) / AV_TIME_BASE);
    s.StartTime = 0;
  }
  return timestamp;
}

void TFFmpeg::TakeStreamParameters(AVFormatContext* input) {
  TOptionSettings& o = Options();
  // Decoder slots count every stream of every input file, in order.
  int slot = 0;
  for (int f = 0; f < InputFileCount(); ++f) slot += static_cast<int>(InputFile(f)->nb_streams);
  for (unsigned i = 0; i < input->nb_streams; ++i, ++slot) {
    AVStream* stream = input->streams[i];
    const AVCodecParameters* par = stream->codecpar;
    switch (par->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        TakeVideoParameters(stream, static_cast<int>(i), slot);
        break;
      case AVMEDIA_TYPE_AUDIO:
        o.AudioChannels = par->ch_layout.nb_channels;
        o.AudioChannelLayout = par->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? par->ch_layout.u.mask : 0;
        o.AudioSampleRate = par->sample_rate;
        o.AudioSampleFormat = par->format;
        SetForcedDecoder(slot, ForcedDecoder(o.AudioCodecName));
        SetDecoderOptions(slot, DecodingOptions(OptionSet(), AVMEDIA_TYPE_AUDIO));
        if (o.AudioDisabled) stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        SetForcedDecoder(slot, ForcedDecoder(o.SubtitleCodecName));
        if (o.SubtitleDisabled) stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
      case AVMEDIA_TYPE_UNKNOWN:
        break;
      default:
        RaiseFFmpeg("invalid codec_type");
    }
  }
}

void TFFmpeg::TakeVideoParameters(AVStream* stream, int index, int slot) {
  TOptionSettings& o = Options();
  const AVCodecParameters* par = stream->codecpar;
  o.FrameWidth = par->width;
  o.FrameHeight = par->height;
  const AVRational sar = stream->sample_aspect_ratio.num ? stream->sample_aspect_ratio : par->sample_aspect_ratio;
  if (par->height && sar.num)
    o.FrameAspectRatio = static_cast<float>(par->width * av_q2d(sar) / par->height);
  else if (par->height)
    o.FrameAspectRatio = static_cast<float>(par->width) / par->height;
  else
    o.FrameAspectRatio = 0.0f;
  if (o.FrameAspectRatio == 0.0f) o.FrameAspectRatio = 4.0f / 3.0f;
  o.PixelFormat = par->format < 0 ? 0 : par->format;
  // A decoder asked for a lower resolution gives pictures smaller by that power of 2.
  if (const int lowres = OptionSet().CodecContext(AVMEDIA_TYPE_VIDEO)->lowres; lowres > 0) {
    o.FrameWidth = -((-o.FrameWidth) >> lowres);
    o.FrameHeight = -((-o.FrameHeight) >> lowres);
  }
  // The rate the codec announces against the one every container timestamp fits.
  const TCodecTiming codec = CodecTiming(stream);
  const AVRational codecRate = av_inv_q(codec.FrameDuration), rate = stream->r_frame_rate;
  if (codec.TickBase.num > 0 && rate.num > 0 && rate.den > 0 && av_cmp_q(codecRate, rate) != 0 &&
      Settings().Verbosity >= 0)
    Log(llInfo, "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) -> %2.2f (%d/%d)",
        index, av_q2d(codecRate), codecRate.num, codecRate.den, av_q2d(rate), rate.num, rate.den);
  o.FrameRate = stream->r_frame_rate;
  SetForcedDecoder(slot, ForcedDecoder(o.VideoCodecName));
  SetDecoderOptions(slot, DecodingOptions(OptionSet(), AVMEDIA_TYPE_VIDEO));
  if (o.VideoDisabled)
    stream->discard = AVDISCARD_ALL;
  else if (o.VideoDiscard)
    stream->discard = static_cast<AVDiscard>(o.VideoDiscard);
}

}  // namespace sw
