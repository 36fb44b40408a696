#include "TrackNames.h"

#include <algorithm>
#include <cstring>

namespace sw {

std::string SafeNameField(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F)
      out += ' ';
    else if (std::strchr("/\\:*?\"<>|", c))
      out += '_';
    else
      out += c;
  }
  // A leading dot hides the file; spaces at the ends are lost in most listings.
  const std::size_t first = out.find_first_not_of(" .");
  if (first == std::string::npos) return "";
  const std::size_t last = out.find_last_not_of(' ');
  return out.substr(first, last - first + 1);
}

std::string DefaultTrackPattern(const std::vector<TSplitTrack>& tracks) {
  const bool titled = !tracks.empty() && std::all_of(tracks.begin(), tracks.end(), [](const TSplitTrack& t) {
    return !SafeNameField(t.Title).empty();
  });
  return titled ? "%n %t" : "%s %n";
}

bool TrackName(const std::string& pattern, int number, int count, const TSplitTrack& track,
               const std::string& sourceName, std::string& name, std::string& error) {
  name.clear();
  const std::size_t width = std::to_string(count).size();
  std::string digits = std::to_string(number);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  std::string base = sourceName;
  if (const std::size_t dot = base.rfind('.'); dot != std::string::npos && dot > 0) base.resize(dot);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      name += pattern[i];
      continue;
    }
    const char field = i + 1 < pattern.size() ? pattern[++i] : '\0';
    switch (field) {
      case 'n': name += digits; break;
      case 't': name += SafeNameField(track.Title); break;
      case 'p': name += SafeNameField(track.Performer); break;
      case 's': name += SafeNameField(base); break;
      case '%': name += '%'; break;
      default:
        error = field ? std::string("the name pattern has an unknown field %") + field
                      : "the name pattern ends with a lone %";
        return false;
    }
  }
  return true;
}

}  // namespace sw
