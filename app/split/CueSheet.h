#pragma once
// A cue sheet's tracks for a split: where each starts (its INDEX 01) with its title and
// performer, and the album's title and performer. The sheet is read by libcue.
#include <string>
#include <vector>

#include "SplitPlan.h"

namespace sw {

struct TCueSheet {
  std::string Title, Performer;  // the album's
  std::vector<TSplitTrack> Tracks;  // Start set; End is the next track's start, 0 for the last
};

// False with the reason when the file cannot be read, is no cue sheet or has no track.
bool ReadCueSheet(const std::string& path, TCueSheet& sheet, std::string& error);
// The same from the sheet's text.
bool ParseCueSheet(const std::string& text, TCueSheet& sheet, std::string& error);

}  // namespace sw
