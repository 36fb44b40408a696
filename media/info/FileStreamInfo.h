#pragma once
// What the information reader reports about an opened file.
#include <cstdint>
#include <string>

namespace sw {

struct TFileStreamInfo {
  int64_t StartTime = -1;  // microseconds; -1 when unknown
  int64_t Duration = -1;   // microseconds; -1 when unknown
  int32_t BitRate = -1;    // bits per second
  int64_t Timestamp = -1;  // creation time, microseconds since 1970; 0 when none
  int32_t Year = -1;       // leading number of the "date" tag; 0 when none
  int32_t Track = -1;      // leading number of the "track" tag; 0 when none
  std::string Title;
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;
};

}  // namespace sw
