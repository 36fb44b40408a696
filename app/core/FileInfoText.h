#pragma once
// The texts the window shows for an opened file; the command-line tool prints the same.
#include <cstdint>
#include <string>
#include <vector>

#include "media/info/FileStreamInfo.h"

namespace sw {
class TCustomDecoder;
}

namespace sw {

// Text from a file (tags, names, messages naming files) as it may be shown: control
// characters become visible escapes ("\n", "\t", "\x1b", "\u0085"), so no tag can
// start a new line or a terminal sequence. Every place that shows such text uses it.
std::string PrintableText(const std::string& text);

// "HH:MM:SS" of whole seconds; the hours are not limited to two digits.
std::string FormatSeconds(int64_t seconds);
// The clock text of the whole seconds of a duration in microseconds, followed by ".".
std::string FormatDuration(int64_t microseconds);
// A segment's start or end as the run log shows it: the clock text, with ".mmm" (or
// ".uuuuuu") when there is a fraction of a second.
std::string FormatSegmentTime(int64_t microseconds);

struct TFileFacts {
  std::string Path;
  std::string TypeName;  // the detected input format's long name
  int64_t FileSize = -1;
  TFileStreamInfo Info;
};

// What the information reader has of the file it opened from path.
TFileFacts ReadFileFacts(TCustomDecoder& reader, const std::string& path);

// "File Name", "Type", "Title", "Artist", "Album", "Year", "File Size", "Duration", "Bit Rate".
std::vector<std::string> FileInfoLines(const TFileFacts& facts);

}  // namespace sw
