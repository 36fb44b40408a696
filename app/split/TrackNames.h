#pragma once
// The file names of a split's tracks from a pattern: %n the track number, zero-padded to
// the width of the count, %t the title, %p the performer, %s the source's name without
// its extension, %% a percent sign.
#include <string>
#include <vector>

#include "SplitPlan.h"

namespace sw {

// A text made fit to stand in a file name: no "/" or characters that other systems'
// file names refuse (\ : * ? " < > |), no control characters, no leading dots, no
// spaces at either end.
std::string SafeNameField(const std::string& text);

// The pattern when none is given: "%n %t" when every track has a title, else "%s %n".
std::string DefaultTrackPattern(const std::vector<TSplitTrack>& tracks);

// One track's name (without folder and without ".mp3", which the output path adds). False
// with the reason when the pattern holds an unknown field.
bool TrackName(const std::string& pattern, int number, int count, const TSplitTrack& track,
               const std::string& sourceName, std::string& name, std::string& error);

}  // namespace sw
