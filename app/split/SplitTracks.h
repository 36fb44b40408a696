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

// The text tags of track `index` (0-based): its title ("Track n" without one), its
// performer (else the source's), "n/total", and the source's album, year and genre; as
// pairs of ID3v2.4 frame names and texts.
std::vector<std::pair<std::string, std::string>> TrackTags(const TSplitPlan& plan, std::size_t index);

}  // namespace sw
