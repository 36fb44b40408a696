#pragma once
// Cuts a segment out of an MP3 file without decoding: copies the frames that cover it
// (and the bit reservoir they draw on), writes a new Info frame whose encoder delay and
// padding make gapless decoders give exactly the segment, keeps the ID3 tags, and shapes
// the fades and the volume by lowering the granules' global gains.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CutPlan.h"
#include "Mp3Source.h"
#include "media/gain/SegmentFade.h"

namespace sw::mp3 {

struct TLosslessCutRequest {
  std::string Output;
  int64_t StartTime = 0, EndTime = 0;  // µs on the source's gapless time line
  int64_t FadeTime = sw::FadeTime;     // µs, each ramp; 0: none
  int Volume = 256;                    // 256 leaves the loudness as it is
  bool Replace = false;                // a file at Output may be replaced (else it is kept)
  // The output's own ID3v2 tag in place of the source's tags (both ID3v2 and ID3v1).
  std::optional<std::vector<uint8_t>> Id3v2Tag;
};

class TLosslessCut {
 public:
  // Each line worth the run log (what was planned, what could not be done exactly).
  std::function<void(const std::string&)> OnLog;
  // Asked between frames; true ends the run with nothing written.
  std::function<bool()> OnQueryStop;
  // After each frame copied: how many of how many.
  std::function<void(int64_t done, int64_t total)> OnProgress;

  // Writes the output beside its target and renames it over the target when complete;
  // false with ErrorText (not logged: the caller tells it) and nothing written otherwise.
  bool Run(const TMp3Source& source, const TLosslessCutRequest& request);
  const std::string& ErrorText() const { return FErrorText; }
  const TCutPlan& Plan() const { return FPlan; }
  int64_t ChangedFrames() const { return FChangedFrames; }

 private:
  bool Fail(const std::string& text);
  void Log(const std::string& text) const {
    if (OnLog) OnLog(text);
  }

  std::string FErrorText;
  TCutPlan FPlan;
  int64_t FChangedFrames = 0;
};

}  // namespace sw::mp3
