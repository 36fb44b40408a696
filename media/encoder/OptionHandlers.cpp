// The option dispatcher: every name the option layer knows, and the options that only
// set one value, as a table.
#include <type_traits>

#include "FFmpegTask.h"
#include "OptionText.h"

namespace sw {

namespace {

using THandler = void (*)(TFFmpeg& task, const std::string& name, const std::string& value);

// A setting reached from the task; captureless, so the handlers stay plain functions.
#define SW_FIELD(expr) [](TFFmpeg& t) -> auto& { return t.expr; }

void DoNothing(TFFmpeg& task, const std::string& name, const std::string&) {
  task.Log(llInfo, "Do nothing: option - %s", name.c_str());
}

void Ignore(TFFmpeg&, const std::string&, const std::string&) {}

template <auto Field>
void SetFlag(TFFmpeg& task, const std::string&, const std::string& value) {
  Field(task) = value != "0";
}

template <auto Field>
void SetOn(TFFmpeg& task, const std::string&, const std::string&) {
  Field(task) = true;
}

template <auto Field>
void SetInt(TFFmpeg& task, const std::string&, const std::string& value) {
  using T = std::remove_reference_t<decltype(Field(task))>;
  Field(task) = static_cast<T>(ToInt(value));
}

template <auto Field>
void SetDecimal(TFFmpeg& task, const std::string&, const std::string& value) {
  using T = std::remove_reference_t<decltype(Field(task))>;
  Field(task) = static_cast<T>(ToDecimal(value));
}

template <auto Field>
void SetText(TFFmpeg& task, const std::string&, const std::string& value) {
  Field(task) = value;
}

template <auto Field>
void SetTextIfAny(TFFmpeg& task, const std::string&, const std::string& value) {
  if (!value.empty()) Field(task) = value;
}

// The first four characters as a little-endian code, as codec tags are stored.
template <auto Field>
void SetTag(TFFmpeg& task, const std::string&, const std::string& value) {
  if (value.empty()) return;
  const std::string v = (value + std::string(4, '\0')).substr(0, 4);
  Field(task) = MKTAG(v[0], v[1], v[2], v[3]);
}

// Zero or less keeps what the input gave.
template <auto Field>
void SetPositive(TFFmpeg& task, const std::string&, const std::string& value) {
  const int n = ToInt(value);
  if (n > 0) Field(task) = n;
}

void SetFileSizeLimit(TFFmpeg& task, const std::string&, const std::string& value) {
  task.Settings().FileSizeLimit = ToInt64(value);
}

void SetLogLevel(TFFmpeg&, const std::string&, const std::string& value) {
  try {
    GetLogger().SetLogLevelText(value);
  } catch (const EConvertError& e) {
    throw FFmpegException(e.what());
  }
}

void Refuse(TFFmpeg&, const std::string& name, const std::string&) { RaiseFFmpeg("TODO: option - %s", name.c_str()); }

void RefusePad(TFFmpeg&, const std::string&, const std::string&) {
  RaiseFFmpeg("Removed, use the pad filter instead");
}

void WarnTimeLimit(TFFmpeg& task, const std::string&, const std::string&) {
  task.Log(llWarning, "Warning: -timelimit not implemented on Windows");
}

// FFmpeg 5 has no frame-hook loader, so no hook can ever be added.
void RefuseHook(TFFmpeg&, const std::string&, const std::string& value) {
  RaiseFFmpeg("Failed to add video hook function: %s", value.c_str());
}

void ApplyPresetOption(TFFmpeg& task, const std::string& name, const std::string& value) {
  task.ApplyPreset(name, value);
}

template <void (TFFmpeg::*Method)(const std::string&, const std::string&)>
void Call(TFFmpeg& task, const std::string& name, const std::string& value) {
  (task.*Method)(name, value);
}

}  // namespace

const std::unordered_map<std::string_view, TFFmpeg::THandler>& TFFmpeg::OptionHandlers() {
  static const std::unordered_map<std::string_view, THandler> table{
      // Informational options of a command line: nothing to do in a task.
      {"L", DoNothing}, {"h", DoNothing}, {"version", DoNothing}, {"formats", DoNothing},
      {"codecs", DoNothing}, {"bsfs", DoNothing}, {"protocols", DoNothing}, {"filters", DoNothing},
      {"i", DoNothing}, {"y", DoNothing}, {"benchmark", Ignore},
      {"loglevel", SetLogLevel},
      // Files, times and maps
      {"f", Call<&TFFmpeg::OptFormat>},
      {"map", Call<&TFFmpeg::OptMap>},
      {"map_meta_data", Call<&TFFmpeg::OptMetadataMap>},
      {"t", Call<&TFFmpeg::OptDuration>},
      {"ss", Call<&TFFmpeg::OptDuration>},
      {"itsoffset", Call<&TFFmpeg::OptDuration>},
      {"fs", SetFileSizeLimit},
      {"itsscale", Call<&TFFmpeg::OptTimestampScale>},
      {"timestamp", Call<&TFFmpeg::OptTimestamp>},
      {"metadata", Call<&TFFmpeg::OptMetadata>},
      {"timelimit", WarnTimeLimit},
      {"target", Call<&TFFmpeg::OptTarget>},
      {"threads", Refuse},
      {"programid", SetInt<SW_FIELD(Settings().ProgramId)>},
      {"streamid", Call<&TFFmpeg::OptStreamId>},
      // Pipeline switches
      {"dump", SetFlag<SW_FIELD(Settings().PacketDump)>},
      {"hex", SetFlag<SW_FIELD(Settings().HexDump)>},
      {"re", SetFlag<SW_FIELD(Settings().RateEmulation)>},
      {"loop_input", SetFlag<SW_FIELD(Options().LoopInput)>},
      {"loop_output", SetInt<SW_FIELD(Options().LoopOutput)>},
      {"v", SetInt<SW_FIELD(Settings().Verbosity)>},
      {"vsync", SetInt<SW_FIELD(Settings().VideoSyncMethod)>},
      {"async", SetInt<SW_FIELD(Settings().AudioSyncMethod)>},
      {"adrift_threshold", SetDecimal<SW_FIELD(Settings().AudioDriftThreshold)>},
      {"dts_delta_threshold", SetDecimal<SW_FIELD(Settings().DtsDeltaThreshold)>},
      {"copyts", SetOn<SW_FIELD(Settings().CopyTimestamps)>},
      {"xerror", SetOn<SW_FIELD(Settings().ExitOnError)>},
      {"shortest", SetFlag<SW_FIELD(Settings().Shortest)>},
      {"isync", SetFlag<SW_FIELD(Settings().InputSync)>},
      {"copyinkf", SetInt<SW_FIELD(Settings().CopyInitialNonKeyFrames)>},
      {"dframes", SetInt<SW_FIELD(Settings().MaxFrames[AVMEDIA_TYPE_DATA])>},
      {"vframes", SetInt<SW_FIELD(Settings().MaxFrames[AVMEDIA_TYPE_VIDEO])>},
      {"aframes", SetInt<SW_FIELD(Settings().MaxFrames[AVMEDIA_TYPE_AUDIO])>},
      {"muxdelay", SetDecimal<SW_FIELD(Options().MuxDelay)>},
      {"muxpreload", SetDecimal<SW_FIELD(Options().MuxPreload)>},
      {"vc", SetInt<SW_FIELD(Options().InputChannel)>},
      {"tvstd", SetText<SW_FIELD(Options().TvStandard)>},
      // Video
      {"b", Call<&TFFmpeg::OptBitRate>},
      {"vb", Call<&TFFmpeg::OptBitRate>},
      {"r", Call<&TFFmpeg::OptFrameRate>},
      {"s", Call<&TFFmpeg::OptFrameSize>},
      {"aspect", Call<&TFFmpeg::OptAspect>},
      {"pix_fmt", Call<&TFFmpeg::OptPixelFormat>},
      {"croptop", Call<&TFFmpeg::OptCrop>},
      {"cropbottom", Call<&TFFmpeg::OptCrop>},
      {"cropleft", Call<&TFFmpeg::OptCrop>},
      {"cropright", Call<&TFFmpeg::OptCrop>},
      {"padtop", RefusePad}, {"padbottom", RefusePad}, {"padleft", RefusePad}, {"padright", RefusePad},
      {"padcolor", RefusePad},
      {"intra", SetFlag<SW_FIELD(Options().IntraOnly)>},
      {"vn", SetFlag<SW_FIELD(Options().VideoDisabled)>},
      {"vdt", SetInt<SW_FIELD(Options().VideoDiscard)>},
      {"qscale", Call<&TFFmpeg::OptQScale>},
      {"rc_override", SetText<SW_FIELD(Options().RateControlOverride)>},
      {"vcodec", Call<&TFFmpeg::OptCodec>},
      {"me_threshold", SetInt<SW_FIELD(Options().MeThreshold)>},
      {"sameq", SetFlag<SW_FIELD(Options().SameQuality)>},
      {"pass", Call<&TFFmpeg::OptPass>},
      {"passlogfile", SetText<SW_FIELD(Settings().PassLogPrefix)>},
      {"deinterlace", SetFlag<SW_FIELD(Settings().Deinterlace)>},
      {"psnr", SetFlag<SW_FIELD(Options().Psnr)>},
      {"vstats", Call<&TFFmpeg::OptVideoStats>},
      {"vstats_file", SetText<SW_FIELD(Settings().VideoStatsFile)>},
      {"vhook", RefuseHook},
      {"vfilters", SetTextIfAny<SW_FIELD(Settings().VideoFilters)>},
      {"vf", SetTextIfAny<SW_FIELD(Settings().VideoFilters)>},
      {"intra_matrix", Call<&TFFmpeg::OptMatrix>},
      {"inter_matrix", Call<&TFFmpeg::OptMatrix>},
      {"top", SetInt<SW_FIELD(Settings().TopFieldFirst)>},
      {"dc", SetInt<SW_FIELD(Options().IntraDcPrecision)>},
      {"vtag", SetTag<SW_FIELD(Options().VideoCodecTag)>},
      {"newvideo", Call<&TFFmpeg::OptNewStream>},
      {"vlang", SetText<SW_FIELD(Options().VideoLanguage)>},
      {"qphist", SetFlag<SW_FIELD(Settings().QuantiserHistogram)>},
      {"force_fps", SetFlag<SW_FIELD(Options().ForceFrameRate)>},
      {"vglobal", SetInt<SW_FIELD(Options().VideoGlobalHeader)>},
      // Audio
      {"ab", Call<&TFFmpeg::OptBitRate>},
      {"aq", SetDecimal<SW_FIELD(Options().AudioQScale)>},
      {"ar", SetPositive<SW_FIELD(Options().AudioSampleRate)>},
      {"ac", SetPositive<SW_FIELD(Options().AudioChannels)>},
      {"an", SetFlag<SW_FIELD(Options().AudioDisabled)>},
      {"acodec", Call<&TFFmpeg::OptCodec>},
      {"atag", SetTag<SW_FIELD(Options().AudioCodecTag)>},
      {"vol", SetInt<SW_FIELD(Settings().AudioVolume)>},
      {"newaudio", Call<&TFFmpeg::OptNewStream>},
      {"alang", SetText<SW_FIELD(Options().AudioLanguage)>},
      {"sample_fmt", Call<&TFFmpeg::OptSampleFormat>},
      // Subtitles
      {"sn", SetFlag<SW_FIELD(Options().SubtitleDisabled)>},
      {"scodec", Call<&TFFmpeg::OptCodec>},
      {"newsubtitle", Call<&TFFmpeg::OptNewStream>},
      {"slang", SetText<SW_FIELD(Options().SubtitleLanguage)>},
      {"stag", SetTag<SW_FIELD(Options().SubtitleCodecTag)>},
      // Bitstream filters and presets
      {"absf", Call<&TFFmpeg::OptBitstreamFilter>},
      {"vbsf", Call<&TFFmpeg::OptBitstreamFilter>},
      {"sbsf", Call<&TFFmpeg::OptBitstreamFilter>},
      {"apre", ApplyPresetOption}, {"vpre", ApplyPresetOption}, {"spre", ApplyPresetOption},
      {"fpre", ApplyPresetOption},
  };
  return table;
}

void TFFmpeg::ApplyOption(const std::string& name, const std::string& value) {
  const auto& table = OptionHandlers();
  const auto handler = table.find(name);
  if (handler != table.end())
    handler->second(*this, name, value);
  else
    OptionSet().SetLibraryOption(name, value);  // an unknown name changes nothing
}

}  // namespace sw
