#include "CutPlan.h"

#include <algorithm>

namespace sw::mp3 {

namespace {

// The smallest frame whose main data holds that many bytes; -1 when none does.
int CarrierBitrate(const TMp3Source& source, int bytes) {
  const TMp3Header& h = source.Header();
  const int overhead = h.HeaderSize() + h.SideInfoSize();
  if (source.FreeFormatSize()) return source.FreeFormatSize() - overhead >= bytes ? 0 : -1;
  for (int index = 1; index < 15; ++index)
    if (h.FrameSizeAt(index) - overhead >= bytes) return index;
  return -1;
}

}  // namespace

bool PlanCut(const TMp3Source& source, int64_t start, int64_t end, TCutPlan& plan, std::string& error) {
  plan = TCutPlan{};
  end = std::min(end, source.Length());
  if (start < 0 || end <= start) {
    error = "the segment is empty or outside the file";
    return false;
  }
  const int64_t spf = source.SamplesPerFrame();
  const int64_t frames = static_cast<int64_t>(source.Frames().size());
  // Positions in the decoder's raw output of the whole source.
  const int64_t rawStart = source.RawStart() + start;
  if (rawStart < DecoderDelay) {
    // Without gapless fields in the source its decoded output begins with the decoder's
    // own delay, which no encoder delay can reach back into; after a silent frame (the
    // decoder's state is all zero again at its end) every sample is one frame later.
    plan.Lead = true;
    plan.CarrierBitrateIndex = CarrierBitrate(source, 0);
  }
  const int64_t rawEnd = source.RawStart() + end;
  const int64_t first = rawStart / spf;
  plan.LastFrame = std::min(frames - 1, (rawEnd - 1) / spf);
  // A granule's output overlaps the next two granules' (transform overlap and synthesis
  // filter), so the two granules before the first kept one must decode exactly too.
  plan.DecodeFrom = std::max<int64_t>(0, first - (source.Header().Granules() == 2 ? 1 : 2));
  // ... and every frame from there on needs its main data, which may begin in earlier frames.
  int64_t from = plan.DecodeFrom;
  int64_t carried = 0;  // main data of the frames from DecodeFrom before frame i
  int64_t needed = 0;   // bytes of main data before DecodeFrom's that the frames draw on
  for (int64_t i = plan.DecodeFrom; i <= plan.LastFrame && carried < 512; ++i) {
    // main_data_begin is at most 511 bytes, so once that much lies between, no later
    // frame can reach further back.
    const int64_t r = source.ReservoirFrame(i);
    if (r < from) from = std::max<int64_t>(0, r);
    needed = std::max<int64_t>(needed, source.Frames()[static_cast<std::size_t>(i)].MainDataBegin - carried);
    carried += source.Frames()[static_cast<std::size_t>(i)].MainDataSize;
  }
  int64_t delay = rawStart - DecoderDelay - (from - (plan.Lead ? 1 : 0)) * spf;
  const int carrier = !plan.Lead && plan.DecodeFrom > 0 && delay > MaxDelay ? CarrierBitrate(source, static_cast<int>(needed)) : -1;
  if (carrier >= 0) {
    // One frame then stands for all those before DecodeFrom.
    from = plan.DecodeFrom;
    delay = rawStart - DecoderDelay - (from - 1) * spf;
    plan.Lead = true;
    plan.CarrierBytes = static_cast<int>(needed);
    plan.CarrierBitrateIndex = carrier;
    plan.Notes.push_back("The " + std::to_string(needed) +
                         " bytes of bit reservoir the first frames need lie further back than the encoder delay "
                         "can reach; they are carried in one silent frame.");
  }
  if (delay > MaxDelay) {
    plan.Lead = false;
    plan.CarrierBytes = 0;
    delay = rawStart - DecoderDelay - from * spf;
    const int64_t ideal = from;
    from += (delay - MaxDelay + spf - 1) / spf;
    delay = rawStart - DecoderDelay - from * spf;
    plan.ReservoirCovered = false;
    plan.Notes.push_back("The encoder delay cannot reach back over all the bit reservoir the first frames need; the "
                         "cut starts " + std::to_string(from - ideal) + " frame(s) later, at frame " +
                         std::to_string(from) + ", and its first " + std::to_string(spf) +
                         " samples or so may not decode exactly (they lie in the fade-in).");
  }
  plan.Start = start;
  plan.End = end;
  plan.FirstFrame = from;
  plan.Delay = static_cast<int>(delay);
  plan.Padding = static_cast<int>(plan.OutputFrames() * spf - delay - (end - start));
  if (plan.Padding > MaxDelay || plan.Padding < 0) {
    error = "the end of the segment cannot be expressed as padding";
    return false;
  }
  return true;
}

}  // namespace sw::mp3
