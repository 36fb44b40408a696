#include "SplitTracks.h"

namespace sw {

TTrackTags TrackTags(const TSplitPlan& plan, std::size_t index) {
  const TSplitTrack& t = plan.Tracks[index];
  TTrackTags tags;
  tags.Number = static_cast<int>(index + 1);
  tags.Count = static_cast<int>(plan.Tracks.size());
  tags.Title = t.Title.empty() ? "Track " + std::to_string(tags.Number) : t.Title;
  tags.Performer = t.Performer.empty() ? plan.SourcePerformer : t.Performer;
  tags.Album = plan.Album;
  tags.Year = plan.Year;
  tags.Genre = plan.Genre;
  return tags;
}

std::vector<std::pair<std::string, std::string>> Id3TextFrames(const TTrackTags& tags) {
  return {{"TIT2", tags.Title},
          {"TPE1", tags.Performer},
          {"TRCK", std::to_string(tags.Number) + "/" + std::to_string(tags.Count)},
          {"TALB", tags.Album},
          {"TDRC", tags.Year},
          {"TCON", tags.Genre}};
}

}  // namespace sw
