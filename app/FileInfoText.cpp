#include "FileInfoText.h"

#include <cstdio>

#include "media/common/FFUtils.h"

namespace sw {

namespace {

std::string Clock(int64_t s) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2lld:%.2lld:%.2lld", static_cast<long long>(s / 60 / 60),
                static_cast<long long>((s / 60) % 60), static_cast<long long>(s % 60));
  return text;
}

}  // namespace

std::string FormatSeconds(int64_t seconds) { return Clock(seconds); }

// The window's duration text has always ended in a period right after the seconds.
std::string FormatDuration(int64_t microseconds) { return Clock(microseconds / 1000000) + "."; }

std::vector<std::string> FileInfoLines(const TFileFacts& facts) {
  const TFileStreamInfo& info = facts.Info;
  return {
      "File Name: " + facts.Path,
      "Type: " + facts.TypeName,
      "Title: " + info.Title,
      "Artist: " + info.Author,
      "Album: " + info.Album,
      "Year: " + std::to_string(info.Year),
      "File Size: " + FormatFileSize(facts.FileSize),
      "Duration: " + FormatDuration(info.Duration),
      "Bit Rate: " + std::to_string(info.BitRate / 1000) + " kbps",
  };
}

}  // namespace sw
