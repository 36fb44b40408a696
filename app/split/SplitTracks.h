#pragma once
// What a split writes and how each track ended, whichever way its tracks are made.
#include <string>
#include <utility>
#include <vector>

#include "SplitPlan.h"

namespace sw {

enum TTrackOutcome {
  toPending,  // not started (the split was stopped before it)
  toWritten,  // complete at its place
  toFailed,   // nothing written; Reason says why
  toStopped,  // stopped while it was written; nothing of it is left
};

struct TTrackResult {
  TTrackOutcome Outcome = toPending;
  std::string Reason;
};

struct TTrackTags {
  std::string Title, Performer, Album, Year, Genre;
  int Number = 0, Count = 0;  // "n/total"
};

// The tags of track `index` (0-based): its title ("Track n" without one), its performer
// (else the source's), its number of the count, and the source's album, year and genre.
TTrackTags TrackTags(const TSplitPlan& plan, std::size_t index);
// The same as ID3v2.4 text frames.
std::vector<std::pair<std::string, std::string>> Id3TextFrames(const TTrackTags& tags);

}  // namespace sw
