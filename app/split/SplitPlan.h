#pragma once
// The tracks a split makes of one source: where each starts and ends, its title and
// performer, from the times given (--at), a fixed length (--every), a cue sheet or the
// silences found.
#include <cstdint>
#include <string>
#include <vector>

namespace sw {

struct TSplitTrack {
  int64_t Start = 0, End = 0;  // µs on the source's time line; the next track starts at End
  std::string Title, Performer;
};

struct TSplitPlan {
  std::vector<TSplitTrack> Tracks;
  // From the source's tags, the same on every track.
  std::string Album, Year, Genre, SourcePerformer;
};

// "TIME,TIME,..." (each as the commands take a time) into the starts of the second and
// later tracks; false with what is wrong.
bool ParseTrackStarts(const std::string& text, std::vector<int64_t>& starts, std::string& error);
// The starts of the second and later tracks for tracks of `every` µs.
std::vector<int64_t> EveryStarts(int64_t every, int64_t length);
// Tracks from 0 to `length` (µs) cut at the starts, which must rise and lie inside;
// false with the reason otherwise.
bool TracksFromStarts(const std::vector<int64_t>& starts, int64_t length, std::vector<TSplitTrack>& tracks,
                      std::string& error);

}  // namespace sw
