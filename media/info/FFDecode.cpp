#include "FFDecode.h"

#include <cstdlib>

#include "DurationProbe.h"
#include "media/base/MyUtils.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

namespace {

int LeadingNumber(const AVDictionary* metadata, const char* key) {
  return static_cast<int>(std::strtol(MetadataValue(metadata, key, "").c_str(), nullptr, 10));
}

int64_t KnownTime(int64_t t) { return t == NoTime ? -1 : t; }

}  // namespace

TCustomDecoder::TCustomDecoder() { TCustomDecoder::AnalyseStreams(); }

TCustomDecoder::~TCustomDecoder() { TCustomDecoder::CloseMediaFile(); }

bool TCustomDecoder::LibrariesReady() const { return FFLoader().LibrarySetLoaded(DecoderLibraries); }

bool TCustomDecoder::LoadLibrariesFrom(const std::string& folder) {
  FFLoader().SetLibraryFolder(folder);
  const bool loaded = FFLoader().LoadLibrarySet(DecoderLibraries);
  if (!loaded) FErrorText = FFLoader().GetLastErrorText();
  return loaded;
}

void TCustomDecoder::RequireLibraries() const {
  const std::pair<TFFLibrary, const char*> needed[] = {{flAVCodec, "LibAVCodec not loaded."},
                                                       {flAVFormat, "LibAVFormat not loaded."},
                                                       {flAVUtil, "LibAVUtil not loaded."},
                                                       {flSwScale, "LibSwScale not loaded."}};
  for (const auto& [lib, text] : needed)
    if (!FFLoader().LibraryLoaded(lib)) throw ELibraryNotLoaded(text);
}

void TCustomDecoder::SetErrorText(int libraryLevel, const std::string& text) {
  GetLogger()->Log(this, LibraryToLogLevel(libraryLevel), text);
  FErrorText = text;
}

void TCustomDecoder::AnalyseStreams() {
  FFileSize = -1;
  FStreamCount = FProgramCount = -1;
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = -1;
  FFirstAudioStream = FFirstVideoStream = FFirstSubtitleStream = -1;
  if (!FFormatContext) return;

  FFileSize = FFormatContext->pb ? ff::avio_size(FFormatContext->pb) : 0;
  if (FFileSize <= 0 && FFormatContext->url) {
    const std::string name = MediaUrlToFileName(FFormatContext->url);
    if (WideFileExists(name)) FFileSize = WideFileSize(name);
  }
  FStreamCount = static_cast<int>(FFormatContext->nb_streams);
  FProgramCount = static_cast<int>(FFormatContext->nb_programs);
  FAudioStreamCount = FVideoStreamCount = FSubtitleStreamCount = 0;
  for (int i = 0; i < FStreamCount; ++i) {
    switch (FFormatContext->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_VIDEO:
        // A cover picture is no video for anybody who asks this reader.
        if (FFormatContext->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) break;
        ++FVideoStreamCount;
        if (FFirstVideoStream < 0) FFirstVideoStream = i;
        break;
      case AVMEDIA_TYPE_AUDIO:
        ++FAudioStreamCount;
        if (FFirstAudioStream < 0) FFirstAudioStream = i;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        ++FSubtitleStreamCount;
        if (FFirstSubtitleStream < 0) FFirstSubtitleStream = i;
        break;
      default:
        break;
    }
  }
}

int64_t TCustomDecoder::BitRate() const {
  if (!FFormatContext) return -1;
  if (!FLengthMeasured && FAudioStreamCount == 1 && FVideoStreamCount == 0 && FSubtitleStreamCount == 0) {
    const int64_t audio = FFormatContext->streams[FFirstAudioStream]->codecpar->bit_rate;
    if (audio > 0) return audio;
  }
  return FFormatContext->bit_rate;
}

void TCustomDecoder::AdoptFormatContext(AVFormatContext* context) {
  if (context == FFormatContext) return;
  RequireLibraries();
  CloseMediaFile();
  FOwnsContext = false;
  FFormatContext = context;
  AnalyseStreams();
}

void TCustomDecoder::CloseMediaFile() {
  FFormatName.clear();
  FLengthMeasured = false;
  if (FFormatContext) {
    if (FOwnsContext) CloseInputFormat(&FFormatContext);
    FFormatContext = nullptr;
  }
  AnalyseStreams();
}

bool TCustomDecoder::OpenMediaFile(const std::string& fileName, const std::string& formatName) {
  RequireLibraries();
  CloseMediaFile();
  const AVInputFormat* format = nullptr;
  if (!formatName.empty() && !(format = ff::av_find_input_format(formatName.c_str()))) {
    FErrorText = "Unknown input format: " + formatName;
    return false;
  }
  if (WideDirectoryExists(fileName)) {
    SetErrorText(AV_LOG_ERROR, fileName + ": is a folder, not a file");
    return false;
  }
  std::string url;
  try {
    url = MediaUrl(fileName);
  } catch (const EMediaUrlError& e) {
    SetErrorText(AV_LOG_ERROR, fileName + ": " + e.what());
    return false;
  }
  FFormatContext = ff::avformat_alloc_context();
  if (!FFormatContext) {
    SetErrorText(AV_LOG_ERROR, LibraryErrorText(fileName, AVERROR(ENOMEM)));
    return false;
  }
  FOwnsContext = true;
  FFormatContext->flags |= AVFMT_FLAG_NONBLOCK;
  const int opened = OpenInputFormat(&FFormatContext, url, format, nullptr);
  if (opened < 0) {
    SetErrorText(AV_LOG_ERROR, LibraryErrorText(fileName, opened));
    CloseMediaFile();
    return false;
  }
  if (ff::avformat_find_stream_info(FFormatContext, nullptr) < 0) {
    FErrorText = fileName + ": could not find codec parameters";
    CloseMediaFile();
    return false;
  }
  AnalyseStreams();
  if (FFirstAudioStream >= 0 && DurationNeedsMeasuring(FFormatContext, FFirstAudioStream, FFileSize)) {
    const TMeasuredLength real = MeasureStreamLength(url, FFirstAudioStream);
    if (real.Duration > 0) {
      FFormatContext->duration = real.Duration;
      FFormatContext->bit_rate = real.BitRate;
      FLengthMeasured = true;
    }
  }
  FFormatName = formatName;
  return true;
}

void TCustomDecoder::FillStreamInfo(TFileStreamInfo& info) {
  if (!FFormatContext) {
    info = TFileStreamInfo{};
    SetErrorText(AV_LOG_WARNING, "file not loaded.");
    return;
  }
  const AVDictionary* tags = FFormatContext->metadata;
  // Ogg (Vorbis, Opus, FLAC in Ogg) keeps its comments on the stream, not the container.
  const int audio = FFirstAudioStream;
  if (ff::av_dict_count(tags) == 0 && audio >= 0 && audio < static_cast<int>(FFormatContext->nb_streams))
    tags = FFormatContext->streams[audio]->metadata;
  info.StartTime = KnownTime(FFormatContext->start_time);
  info.Duration = KnownTime(FFormatContext->duration);
  info.BitRate = static_cast<int32_t>(BitRate());
  info.Timestamp = 0;
  int64_t created = 0;
  const std::string creation = MetadataValue(tags, "creation_time", "");
  if (!creation.empty() && ff::av_parse_time(&created, creation.c_str(), 0) >= 0) info.Timestamp = created;
  info.Year = LeadingNumber(tags, "date");
  info.Track = LeadingNumber(tags, "track");
  info.Title = MetadataValue(tags, "title", "");
  info.Author = MetadataValue(tags, "artist", MetadataValue(tags, "author", ""));
  info.Copyright = MetadataValue(tags, "copyright", "");
  info.Comment = MetadataValue(tags, "comment", "");
  info.Album = MetadataValue(tags, "album", "");
  info.Genre = MetadataValue(tags, "genre", "");
}

TFFDecoder::TFFDecoder() { TFFDecoder::AnalyseStreams(); }

TFFDecoder::~TFFDecoder() { TFFDecoder::CloseMediaFile(); }

void TFFDecoder::AnalyseStreams() {
  TCustomDecoder::AnalyseStreams();
  FPrimaryStream = FirstVideoStream() >= 0 ? FirstVideoStream() : FirstAudioStream();
  if (!FormatContext()) return;
  const int64_t start =
      FPrimaryStream >= 0
          ? ff::av_rescale_q(FormatContext()->streams[FPrimaryStream]->start_time,
                             FormatContext()->streams[FPrimaryStream]->time_base, AVRational{1, AV_TIME_BASE})
          : FormatContext()->start_time;
  const bool known = FPrimaryStream >= 0 ? FormatContext()->streams[FPrimaryStream]->start_time != NoTime
                                         : start != NoTime;
  FPrimaryStartTime = known ? start : 0;
}

void TFFDecoder::ResetFramePosition() {
  FPrimaryStream = -1;
  FPrimaryStartTime = NoTime;
  FLastFrameTime = FLastKeyFrameTime = NoTime;
  FFrameNumber = FKeyFrameNumber = -1;
  FDecodedFrames = 0;
}

void TFFDecoder::CloseMediaFile() {
  ResetFramePosition();
  if (FCodecContext) {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    FCodecContext.reset();
  }
  FPictureBridge.ResetBridge(24);
  TCustomDecoder::CloseMediaFile();
}

}  // namespace sw
