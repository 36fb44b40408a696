// Option handlers for formats, times, maps, metadata, targets and extra streams.
#include <cmath>
#include <tuple>
#include <utility>

#include "FFmpegTask.h"
#include "OptionText.h"

namespace sw {

namespace {

// Two leading integers with one separator character between them.
std::pair<int, int> LeadingPair(const char*& p) {
  const int first = LeadingInt(p);
  if (*p) ++p;
  return {first, LeadingInt(p)};
}

}  // namespace

void TFFmpeg::OptFormat(const std::string&, const std::string& value) {
  if (value.empty()) return;
  std::string format = value;
  if (format == "pgmyuv") {
    Options().ImageFormat = true;
    format = "image2";
    Log(llInfo, "pgmyuv format is deprecated, use image2");
  }
  Options().ForcedFormat = format;
}

void TFFmpeg::OptDuration(const std::string& name, const std::string& value) {
  const int64_t time = ParseTimeValue(name, value, true);
  if (name == "t" && time < 0) RaiseFFmpeg("The duration t must not be negative: %s", value.c_str());
  if (name == "ss") {
    Settings().StartTime = time;
  } else if (name == "itsoffset") {
    Options().InputTimestampOffset = time;
  } else {
    Settings().RecordingTime = time;
    Settings().TotalDuration = time;
  }
}

void TFFmpeg::OptTimestamp(const std::string& name, const std::string& value) {
  Options().OutputTimestamp = std::llround(static_cast<double>(ParseTimeValue(name, value, false)) / AV_TIME_BASE);
}

void TFFmpeg::OptTimestampScale(const std::string&, const std::string& value) {
  const char* p = value.c_str();
  const int stream = LeadingInt(p);
  if (stream < 0 || stream >= MaxStreams) RaiseFFmpeg("stream index over MAX_STREAMS(%d)", MaxStreams);
  if (*p) ++p;
  Options().InputTimestampScales[stream] = std::strtod(p, nullptr);
}

void TFFmpeg::OptMap(const std::string&, const std::string& value) {
  if (static_cast<int>(Settings().StreamMaps.size()) >= MaxStreamMaps)
    RaiseFFmpeg("Too many stream maps (at most %d)", MaxStreamMaps);
  const char* p = value.c_str();
  TStreamMap map;
  std::tie(map.FileIndex, map.StreamIndex) = LeadingPair(p);
  // Without a sync part the stream syncs to itself.
  std::tie(map.SyncFileIndex, map.SyncStreamIndex) =
      *p == ':' ? LeadingPair(++p) : std::pair<int, int>(map.FileIndex, map.StreamIndex);
  Settings().StreamMaps.push_back(map);
}

void TFFmpeg::OptMetadataMap(const std::string&, const std::string& value) {
  if (static_cast<int>(Settings().MetaDataMaps.size()) >= MaxMetaDataMaps)
    RaiseFFmpeg("Too many metadata maps (at most %d)", MaxMetaDataMaps);
  const char* p = value.c_str();
  TMetaDataMap map;
  std::tie(map.OutFile, map.InFile) = LeadingPair(p);
  Settings().MetaDataMaps.push_back(map);
}

void TFFmpeg::OptMetadata(const std::string&, const std::string& value) {
  const size_t eq = value.find('=');
  if (eq == std::string::npos) RaiseFFmpeg("Missing =");
  AddMetadata(value.substr(0, eq), value.substr(eq + 1));
}

void TFFmpeg::OptTarget(const std::string&, const std::string& value) {
  std::string target = TrimText(value), norm = "auto";
  for (const char* prefix : {"pal-", "ntsc-", "film-"}) {
    const std::string p = prefix;
    if (target.compare(0, p.size(), p) == 0) {
      norm = p.substr(0, p.size() - 1);
      target.erase(0, p.size());
      break;
    }
  }
  ApplyTarget(target, norm, "ntsc");
}

void TFFmpeg::OptStreamId(const std::string& name, const std::string& value) {
  const size_t colon = value.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == value.size())
    RaiseFFmpeg("Invalid value \"%s\" for option \"%s\", required syntax is \"index:value\"", value.c_str(),
                name.c_str());
  const int index = ToInt(value.substr(0, colon));
  if (index < 0 || index >= MaxStreams) RaiseFFmpeg("stream index over MAX_STREAMS(%d)", MaxStreams);
  Options().StreamIds[index] = ToInt(value.substr(colon + 1));
}

void TFFmpeg::OptNewStream(const std::string& name, const std::string&) {
  if (OutputFileCount() == 0) RaiseFFmpeg("At least one output file must be specified");
  TOutputFile& file = *OutputFile(OutputFileCount() - 1);
  if (name == "newaudio")
    NewAudioStream(file);
  else if (name == "newvideo")
    NewVideoStream(file);
  else
    NewSubtitleStream(file);
}

}  // namespace sw
