// Creating an output file: its format, its streams from the pending settings, its
// metadata, and its file opened for writing.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <memory>
#include <utility>

#include "FFmpegTask.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

namespace {

// Frees a file that was not handed to the engine: its I/O context when we opened it, then
// the muxer context (the stream setups go with the file object).
struct TOutputGuard {
  TOutputFile* File;
  ~TOutputGuard() {
    if (!File || !File->Context) return;
    if (File->IOOpened) CloseOutputIO(&File->Context->pb);
    ff::avformat_free_context(File->Context);
    File->Context = nullptr;
  }
};

void SetCreationTime(AVFormatContext* context, int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  char text[32];
  if (!gmtime_r(&t, &utc) || !std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc)) return;
  ff::av_dict_set(&context->metadata, "creation_time", text, 0);
}

}  // namespace

int TFFmpeg::OpenOutputFile(const std::string& fileName, bool join) {
  TEngineSettings& s = Settings();
  TOptionSettings& o = Options();
  if (s.JoinMode) {
    SetErrorText("Cannot join more than one output file.");
    return -1;
  }
  if (OutputFileCount() >= MaxFiles) {
    SetErrorText(FormatText("max output files %d reached", MaxFiles));
    return -1;
  }

  const AVOutputFormat* format;
  if (!o.ForcedFormat.empty()) {
    const std::string name = std::move(o.ForcedFormat);
    o.ForcedFormat.clear();
    format = ff::av_guess_format(name.c_str(), nullptr, nullptr);
    if (!format) {
      SetErrorText(FormatText("Requested output format '%s' is not a suitable output format", name.c_str()));
      return -1;
    }
  } else {
    format = ff::av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format) {
      SetErrorText(FormatText("Unable to find a suitable output format for '%s'", fileName.c_str()));
      return -1;
    }
  }

  auto file = std::make_shared<TOutputFile>();
  TOutputGuard guard{file.get()};
  // With the format given this allocates the muxer's private options as well.
  if (ff::avformat_alloc_output_context2(&file->Context, format, nullptr, fileName.c_str()) < 0 || !file->Context)
    RaiseFFmpeg("avformat_alloc_context failed");
  AVFormatContext* context = file->Context;

  // Muxer-private settings such as the MPEG muxers' "muxrate".
  for (const auto& [name, value] : o.MuxerOptions)
    if (!context->priv_data || ff::av_opt_set(context->priv_data, name.c_str(), value.c_str(), 0) < 0)
      Log(llWarning, "Option %s=%s is not taken by muxer %s", name.c_str(), value.c_str(), format->name);
  o.MuxerOptions.clear();

  // Without inputs a format's default video codec alone makes no video stream: the mp3
  // muxer names PNG for cover pictures, and an audio job must stay audio only.
  const bool inputs = InputFileCount() > 0;
  // A format whose own video codec is PNG (mp3, flac) names it for cover pictures only:
  // a video input converted to it stays audio only unless a video codec is asked for.
  const bool coverOnly = format->video_codec == AV_CODEC_ID_PNG;
  bool video = !o.VideoDisabled && ((inputs && format->video_codec != AV_CODEC_ID_NONE && !coverOnly) ||
                                    o.VideoCodecName || o.VideoStreamCopy);
  bool audio = !o.AudioDisabled && (format->audio_codec != AV_CODEC_ID_NONE || o.AudioCodecName || o.AudioStreamCopy);
  bool subtitle = !o.SubtitleDisabled &&
                  (format->subtitle_codec != AV_CODEC_ID_NONE || o.SubtitleCodecName || o.SubtitleStreamCopy);
  if (inputs) {
    bool hasVideo, hasAudio, hasSubtitle;
    try {
      CheckInputs(join, hasVideo, hasAudio, hasSubtitle);
    } catch (const FFmpegException& e) {
      SetErrorText(FormatText("check_audio_video_sub_inputs fail: %s", e.what()));
      return -1;
    }
    video = video && hasVideo;
    audio = audio && hasAudio;
    subtitle = subtitle && hasSubtitle;
  }

  using TCreate = void (TFFmpeg::*)(TOutputFile&);
  const struct {
    bool Wanted;
    TCreate Create;
    const char* Failure;
  } kinds[] = {{video, &TFFmpeg::NewVideoStream, "new_video_stream fail: %s"},
               {audio, &TFFmpeg::NewAudioStream, "new_audio_stream fail: %s"},
               {subtitle, &TFFmpeg::NewSubtitleStream, "new_subtitle_stream fail: %s"}};
  for (const auto& kind : kinds) {
    if (!kind.Wanted) continue;
    try {
      (this->*kind.Create)(*file);
    } catch (const FFmpegException& e) {
      SetErrorText(FormatText(kind.Failure, e.what()));
      return -1;
    }
  }

  if (o.OutputTimestamp != 0) SetCreationTime(context, o.OutputTimestamp);
  for (auto pair = o.PendingMetadata.rbegin(); pair != o.PendingMetadata.rend(); ++pair)
    ff::av_dict_set(&context->metadata, pair->first.c_str(), pair->second.c_str(), 0);
  o.PendingMetadata.clear();

  if ((format->flags & AVFMT_NEEDNUMBER) && !ff::av_filename_number_test(fileName.c_str())) {
    SetErrorText(LibraryErrorText(fileName, AVERROR(EDOM)));  // "Number syntax expected in filename"
    return -1;
  }

  const bool replace = std::exchange(o.ReplaceOutput, false);
  const bool local = std::exchange(o.LocalOutput, false);
  if (!(format->flags & AVFMT_NOFILE)) {
    const std::string url = local ? UnicodeUrlPrefix + fileName : MediaUrl(fileName);
    const int opened = OpenOutputIO(&context->pb, url, AVIO_FLAG_WRITE, replace);
    if (opened < 0) {
      SetErrorText(SystemErrorText(fileName, opened));
      return -1;
    }
    file->IOOpened = true;
  }

  // The library's own defaults stay unless a delay or preload was asked for.
  if (o.MuxPreload > 0) context->audio_preload = static_cast<int>(std::lrint(AV_TIME_BASE * o.MuxPreload));
  if (o.MuxDelay > 0) context->max_delay = static_cast<int>(std::lrint(AV_TIME_BASE * o.MuxDelay));
  context->flags |= AVFMT_FLAG_NONBLOCK;
  OptionSet().ApplyLibraryOptions(context, OptionSet().FormatContext(), AV_OPT_FLAG_ENCODING_PARAM);
  std::fill(std::begin(o.StreamIds), std::end(o.StreamIds), 0);

  guard.File = nullptr;
  AddOutputFile(file);
  if (join && InputFileCount() >= 2) {
    s.JoinMode = true;
    int64_t total = 0;
    for (int i = 0; i < InputFileCount(); ++i)
      if (InputFile(i)->duration != AV_NOPTS_VALUE) total += InputFile(i)->duration;
    s.TotalDuration = total == 0 ? -1 : total;
    for (int i = 1; i < InputFileCount(); ++i) AddOutputFile(file);
  }
  return OutputFileCount();
}

}  // namespace sw
