// The defaults list of an output file and the extra streams that take from it.
#include <algorithm>

#include "FFmpegTask.h"
#include "OptionDefaults.h"
#include "OptionText.h"

namespace sw {

std::string TDefaultsList::Value(const std::string& name) const {
  for (const auto& [key, value] : FEntries)
    if (key == name) return value;
  return {};
}

bool TDefaultsList::Has(const std::string& name) const {
  return std::any_of(FEntries.begin(), FEntries.end(), [&](const auto& e) { return e.first == name; });
}

void TDefaultsList::Append(const std::string& name, const std::string& value) { FEntries.emplace_back(name, value); }

bool TDefaultsList::TakeFirst(const std::string& name, std::string& value) {
  const auto entry = std::find_if(FEntries.begin(), FEntries.end(), [&](const auto& e) { return e.first == name; });
  if (entry == FEntries.end()) return false;
  value = entry->second;
  FEntries.erase(entry);
  return true;
}

void BuildDefaults(const TStreamDefaults& fields, const std::string& extOptions, TDefaultsList& list) {
  const std::pair<const char*, const std::string*> defaults[] = {
      {"def_acodec", &fields.AudioCodec},   {"def_vcodec", &fields.VideoCodec},   {"def_scodec", &fields.SubtitleCodec},
      {"def_apre", &fields.AudioPreset},    {"def_vpre", &fields.VideoPreset},    {"def_spre", &fields.SubtitlePreset},
      {"def_s", &fields.FrameSize},         {"def_vf", &fields.VideoFilters}};
  for (const auto& [name, value] : defaults)
    if (!value->empty()) list.Append(name, *value);

  static const char* const Kept[] = {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"};
  for (TOptionLine line : SplitOptionLines(extOptions)) {
    if (line.Value.empty() || std::find(std::begin(Kept), std::end(Kept), line.Name) == std::end(Kept)) continue;
    if (line.Name == "vfilters") line.Name = "vf";
    if (list.Value("def_" + line.Name).empty()) list.Append("def_" + line.Name, line.Value);
    list.Append(line.Name, line.Value);
  }
}

void TFFmpeg::ApplyStreamDefaults(const TDefaultsList& list) {
  for (const char* name : {"acodec", "vcodec", "scodec", "apre", "vpre", "spre"})
    ApplyOption(name, list.Value(std::string("def_") + name));
}

void TFFmpeg::ApplyFrameDefaults(const TDefaultsList& list) {
  ApplyOption("s", list.Value("def_s"));
  ApplyOption("vf", list.Value("def_vf"));
}

void TFFmpeg::Take(const std::string& key, TDefaultsList& list) {
  std::string value;
  if (!list.TakeFirst(key, value)) value = list.Value("def_" + key);
  ApplyOption(key, value);
}

void TFFmpeg::ApplyNewStreamLines(const std::string& text, TDefaultsList& list) {
  for (const TOptionLine& line : SplitOptionLines(text)) {
    if (line.Name == "newaudio") {
      for (const char* key : {"acodec", "apre"}) Take(key, list);
    } else if (line.Name == "newvideo") {
      for (const char* key : {"vcodec", "vpre", "s", "vf"}) Take(key, list);
    } else if (line.Name == "newsubtitle") {
      for (const char* key : {"scodec", "spre"}) Take(key, list);
    } else {
      continue;
    }
    ApplyOption(line.Name, line.Value);
  }
}

}  // namespace sw
