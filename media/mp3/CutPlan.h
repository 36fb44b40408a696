#pragma once
// Which frames a lossless cut copies and what it tells gapless decoders: the samples
// before the segment become encoder delay, those after it padding.
#include <cstdint>
#include <string>
#include <vector>

#include "Mp3Source.h"

namespace sw::mp3 {

struct TCutPlan {
  int64_t Start = 0, End = 0;    // the segment in samples of the source's gapless output
  int64_t FirstFrame = 0;        // source audio frames copied: FirstFrame .. LastFrame
  int64_t LastFrame = -1;
  int64_t DecodeFrom = 0;        // the first frame that must decode exactly
  int Delay = 0, Padding = 0;    // for the new encoder tag
  bool ReservoirCovered = true;  // every byte the exact frames need is copied
  // When the frames holding the reservoir lie further back than the encoder delay can
  // say, their last CarrierBytes bytes of main data go into one silent frame put before
  // FirstFrame, at this bit-rate index (0 in a free-format stream).
  // A source without gapless fields decodes from its first raw sample, before the decoder's
  // own delay: a silent frame put before FirstFrame makes the encoder delay reach it.
  bool Lead = false;  // one silent frame (carrying CarrierBytes) comes before FirstFrame
  int CarrierBytes = 0;
  int CarrierBitrateIndex = 0;
  std::vector<std::string> Notes;

  int64_t FrameCount() const { return LastFrame - FirstFrame + 1; }
  // Frames written after the tag frame.
  int64_t OutputFrames() const { return FrameCount() + (Lead ? 1 : 0); }
  int64_t Samples() const { return End - Start; }
};

// Plans the cut of samples [start, end) of the source's gapless output; the end is
// clamped to the source's length. False with the reason when there is nothing to cut.
bool PlanCut(const TMp3Source& source, int64_t start, int64_t end, TCutPlan& plan, std::string& error);

}  // namespace sw::mp3
