#pragma once
// A split that copies the MP3 frames: one track after another, each a lossless cut whose
// encoder delay and padding make a gapless decoder give exactly its samples, so the
// tracks played back to back give the source's samples. An hour takes about a second, so
// it runs on the caller's thread.
#include <functional>
#include <string>
#include <vector>

#include "SplitTracks.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

class TLosslessSplit {
 public:
  // Asked between frames; true stops the track being written (nothing of it is kept)
  // and the split.
  std::function<bool()> OnQueryStop;
  // After each track, with its index and how it ended.
  std::function<void(std::size_t index, const TTrackResult& result)> OnTrackEnd;

  // Scans the source; false with the reason for the user when it cannot be split this way.
  bool Open(const std::string& source, std::string& reason);
  // The length of the source's gapless output, µs.
  int64_t LengthTime() const;
  // Writes track i of the plan to outputs[i], with fades of fadeTime µs (0: none); a
  // track that fails leaves the others to be written. One result a track.
  std::vector<TTrackResult> Run(const TSplitPlan& plan, const std::vector<std::string>& outputs, bool replace,
                                int64_t fadeTime = 0);

 private:
  mp3::TMp3Source FSource;
};

}  // namespace sw
