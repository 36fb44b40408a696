#include "SplitPlan.h"

#include "app/cli/TimeArgument.h"
#include "app/core/FileInfoText.h"

namespace sw {

bool ParseTrackStarts(const std::string& text, std::vector<int64_t>& starts, std::string& error) {
  starts.clear();
  std::size_t from = 0;
  while (true) {
    const std::size_t comma = text.find(',', from);
    const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
    int64_t time = 0;
    if (!cli::ParseTimeArgument(item, time)) {
      error = "\"" + item + "\" is not a time";
      return false;
    }
    starts.push_back(time);
    if (comma == std::string::npos) return true;
    from = comma + 1;
  }
}

std::vector<int64_t> EveryStarts(int64_t every, int64_t length) {
  std::vector<int64_t> starts;
  if (every <= 0) return starts;
  for (int64_t t = every; t < length; t += every) starts.push_back(t);
  return starts;
}

bool TracksFromStarts(const std::vector<int64_t>& starts, int64_t length, std::vector<TSplitTrack>& tracks,
                      std::string& error) {
  tracks.clear();
  int64_t previous = 0;
  for (const int64_t start : starts) {
    if (start <= previous || start >= length) {
      error = "the track start " + FormatSegmentTime(start) +
              (start >= length ? " is not before the end of the source (" + FormatSegmentTime(length) + ")"
                               : " does not come after the one before it");
      return false;
    }
    tracks.push_back({previous, start, {}, {}});
    previous = start;
  }
  tracks.push_back({previous, length, {}, {}});
  return true;
}

}  // namespace sw
