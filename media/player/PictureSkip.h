#pragma once
// How many decoded pictures the video thread passes over so that a slow display catches
// up: each picture shown too late to keep (dropped) raises the factor by 5 %, each shown
// in time brings it back towards 1 by as much, and a seek starts again at 1. With a
// factor f the thread keeps one picture in f. Not thread-safe: the play context holds
// its picture lock around every call.
#include <algorithm>

namespace sw {

class TPictureSkip {
 public:
  static constexpr float Step = 1.05f;

  void Dropped() { FFactor *= Step; }
  void InTime() { FFactor = std::max(1.0f, FFactor / Step); }
  void Reset() { FFactor = 1, FCount = 0; }
  float Factor() const { return FFactor; }
  // Whether the next decoded picture is kept.
  bool Keep() {
    FCount += 1;
    if (FCount < FFactor) return false;
    FCount -= FFactor;
    return true;
  }

 private:
  float FFactor = 1;
  float FCount = 0;
};

}  // namespace sw
