// Adding an output file to a task: the output record becomes options, defaults, presets
// and target settings, then the file and its streams are created.
#include <cmath>
#include <cstring>
#include <ctime>

#include "FFEncode.h"
#include "OptionDefaults.h"

namespace sw {

namespace {

constexpr int MaxOutputFiles = 20;

// Seconds since 1970 (UTC) of a local date-time counted in days since 1899-12-30.
int64_t UnixTime(double days) {
  ::tzset();
  const double biasMinutes = static_cast<double>(::timezone) / 60;  // standard time, west positive
  return std::llround((days - 25569 + biasMinutes / 1440) * 86400);
}

}  // namespace

void TCustomEncoder::ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& o) {
  const auto option = [&](const char* name, const std::string& value) {
    if (!value.empty()) task.ApplyOption(name, value);
  };
  const auto positive = [&](const char* name, double value) {
    if (value > 0) task.ApplyOption(name, FormatText("%g", value));
  };
  const auto flag = [&](const char* name, bool value) {
    if (value) task.ApplyOption(name, "1");
  };
  TEngineSettings& s = task.Settings();
  option("f", o.FileFormat);
  positive("packetsize", o.PacketSize);
  positive("muxrate", o.MuxRate);
  positive("muxdelay", o.MuxDelay);
  positive("muxpreload", o.MuxPreload);
  flag("an", o.DisableAudio);
  if (o.AudioVolume >= 0) s.AudioVolume = o.AudioVolume;
  positive("ac", o.AudioChannels);
  positive("ar", o.AudioSampleRate);
  positive("ab", o.AudioBitrate);
  positive("abt", o.AudioBitrateTolerance);
  task.ApplyOption("alang", o.AudioLanguage);
  s.AudioSyncMethod = o.AudioSync;
  option("atag", o.AudioTag);
  flag("vn", o.DisableVideo);
  option("r", o.FrameRate);
  option("aspect", o.AspectRatio);
  positive("croptop", o.CropTop);
  positive("cropbottom", o.CropBottom);
  positive("cropleft", o.CropLeft);
  positive("cropright", o.CropRight);
  positive("g", o.GOPSize);
  positive("vb", o.VideoBitrate);
  positive("maxrate", o.VideoMaxRate);
  positive("minrate", o.VideoMinRate);
  positive("bt", o.VideoBitrateTolerance);
  positive("bufsize", o.VideoBufSize);
  s.VideoSyncMethod = o.VideoSync;
  option("vtag", o.VideoTag);
  task.ApplyOption("vlang", o.VideoLanguage);
  flag("sn", o.DisableSubtitle);
  task.ApplyOption("slang", o.SubtitleLanguage);
  s.InputSync = o.InputSync;
  flag("copyts", o.CopyTimestamps);
  if (o.StartTime != INT64_MIN) s.StartTime = o.StartTime;
  if (o.RecordingTime != INT64_MIN) s.RecordingTime = s.TotalDuration = o.RecordingTime;
  task.Options().ReplaceOutput = o.ReplaceExisting;
  task.Options().LocalOutput = o.LocalFile;

  const TStreamInfo& info = o.StreamInfo;
  if (info.TimeStamp == 0)
    task.Options().OutputTimestamp = static_cast<int64_t>(std::time(nullptr));
  else if (info.TimeStamp > 0)
    task.Options().OutputTimestamp = UnixTime(info.TimeStamp);
  // The muxers of this library generation know the performer as "artist" and the year
  // as "date"; under the old keys the tags would end up as private text frames.
  if (info.Year > 0) task.AddMetadata("date", std::to_string(info.Year));
  if (info.Track > 0)
    task.AddMetadata("track", std::to_string(info.Track) +
                                  (info.TrackTotal > 0 ? "/" + std::to_string(info.TrackTotal) : ""));
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &info.Title},     {"artist", &info.Author}, {"copyright", &info.Copyright},
      {"comment", &info.Comment}, {"album", &info.Album},   {"genre", &info.Genre}};
  for (const auto& [key, value] : texts)
    if (!value->empty()) task.AddMetadata(key, *value);
}

bool TCustomEncoder::SetOutputFile(int taskIndex, const std::string& fileName, const TOutputOptions* options) {
  CheckWorking("SetOutputFile");
  if (taskIndex < 0 || taskIndex >= FTasks.Count()) {
    FErrorText = FormatText("Task index %d out of range", taskIndex);
    return false;
  }
  TEncoderTask& entry = FTasks.Item(taskIndex);
  TFFmpeg& task = *entry.Engine;
  if (task.OutputFileCount() >= MaxOutputFiles) {
    FErrorText = FormatText("max output files %d reached", MaxOutputFiles);
    return false;
  }
  const size_t slot = static_cast<size_t>(task.OutputFileCount());
  entry.OutputOptions.resize(slot + 1);
  try {
    TDefaultsList defaults;
    bool join = false;
    if (options) {
      TOutputOptions copy = *options;
      if (copy.FileName.empty()) copy.FileName = fileName;
      entry.OutputOptions[slot] = copy;
      BuildDefaults({copy.AudioCodec, copy.VideoCodec, copy.SubtitleCodec, copy.AudioPreset, copy.VideoPreset,
                     copy.SubtitlePreset, copy.FrameSize, copy.VideoFilters},
                    copy.ExtOptions, defaults);
      if (copy.Target >= 1 && copy.Target <= 3) {
        static const char* const targets[] = {"vcd", "svcd", "dvd"};
        const char* norm = copy.TargetNorm == 1 ? "pal" : copy.TargetNorm == 2 ? "ntsc" : "auto";
        task.ApplyTarget(targets[copy.Target - 1], norm, copy.FilmNorm == 1 ? "pal" : "ntsc");
      }
      task.ApplyStreamDefaults(defaults);
      task.ApplyOptionLines(copy.ExtOptions, false);
      ApplyOutputOptions(task, copy);
      task.ApplyFrameDefaults(defaults);
      if (copy.AudioHook)
        task.OnAudioHook = [this](TCustomFFmpeg* e, uint8_t* s, int64_t t, int size, int rate, int ch, int fmt) {
          AudioHooked(e, s, t, size, rate, ch, fmt);
        };
      ConnectVideoHooks(task, copy);
      join = copy.Join;
    } else {
      entry.OutputOptions[slot] = TOutputOptions{};
    }
    if (task.OpenOutputFile(fileName, join) < 0) {
      FErrorText = task.ErrorText();
      entry.OutputOptions.resize(slot);
      return false;
    }
    // ID3v2.3 is what every player reads.
    AVFormatContext* ctx = task.OutputFile(task.OutputFileCount() - 1)->Context;
    if (ctx->oformat && std::strcmp(ctx->oformat->name, "mp3") == 0 && ctx->priv_data)
      ff::av_opt_set(ctx->priv_data, "id3v2_version", "3", 0);
    if (options) task.ApplyNewStreamLines(options->ExtOptions, defaults);
    return true;
  } catch (const std::exception& e) {
    FErrorText = e.what();
    if (entry.OutputOptions.size() > static_cast<size_t>(task.OutputFileCount()))
      entry.OutputOptions.resize(task.OutputFileCount());
    return false;
  }
}

}  // namespace sw
