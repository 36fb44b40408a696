#include "SplitTracks.h"

namespace sw {

std::vector<std::pair<std::string, std::string>> TrackTags(const TSplitPlan& plan, std::size_t index) {
  const TSplitTrack& t = plan.Tracks[index];
  const std::string number = std::to_string(index + 1);
  return {{"TIT2", t.Title.empty() ? "Track " + number : t.Title},
          {"TPE1", t.Performer.empty() ? plan.SourcePerformer : t.Performer},
          {"TRCK", number + "/" + std::to_string(plan.Tracks.size())},
          {"TALB", plan.Album},
          {"TDRC", plan.Year},
          {"TCON", plan.Genre}};
}

}  // namespace sw
