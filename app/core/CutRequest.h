#pragma once
// What a person asks of a cut, in the units below every front end: the window turns its
// track bar's whole seconds into it, the command line its time text.
#include <cstdint>
#include <optional>
#include <string>

#include "media/info/FileStreamInfo.h"

namespace sw {

enum TCutMode {
  cmReencode,  // decoded, faded and encoded again by LAME at the source's bit rate
  cmLossless,  // the MP3 frames copied, the fades and volume taken off their gains
};

struct TCutRequest {
  std::string Source;
  int64_t StartTime = 0, EndTime = 0;  // µs on the source's time line
  int Volume = 70;                     // 0..100, the window's volume slider
  std::string Folder, Name;            // of the new file; ".mp3" is added to a name without it
  TCutMode Mode = cmReencode;
  int64_t FadeTime = 5000000;  // µs, each ramp of a re-encoding cut; 0: none (a split's tracks)
  // The new file's tags in place of the source's (a split's tracks), and the count of
  // tracks its track number is one of (0: none).
  std::optional<TFileStreamInfo> Tags;
  int TrackTotal = 0;
  bool KeepLevel = false;  // the sound's level left as it is, whatever Volume says (a split's tracks)
};

}  // namespace sw
