#pragma once
// The defaults list of an output file: the codecs, presets, frame size and filters that
// its first stream takes ("def_" entries) and the extra streams take in turn.
#include <string>
#include <utility>
#include <vector>

namespace sw {

class TDefaultsList {
 public:
  // Value of the first entry of that name; empty when none.
  std::string Value(const std::string& name) const;
  bool Has(const std::string& name) const;
  void Append(const std::string& name, const std::string& value);
  // Removes the first entry of that name and answers whether there was one.
  bool TakeFirst(const std::string& name, std::string& value);
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return FEntries; }

 private:
  std::vector<std::pair<std::string, std::string>> FEntries;
};

// The output-record fields that give the first stream its defaults.
struct TStreamDefaults {
  std::string AudioCodec, VideoCodec, SubtitleCodec;
  std::string AudioPreset, VideoPreset, SubtitlePreset;
  std::string FrameSize, VideoFilters;
};

// The fields become "def_" entries; codec, preset, size and filter lines of extOptions are
// appended and fill a "def_" entry still empty (the first such line wins).
void BuildDefaults(const TStreamDefaults& fields, const std::string& extOptions, TDefaultsList& list);

}  // namespace sw

namespace sw {
// Names of the built-in presets, in table order.
std::vector<std::string> BuiltInPresetNames();
}  // namespace sw
