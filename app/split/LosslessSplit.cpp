#include "LosslessSplit.h"

#include "media/mp3/Id3Writer.h"
#include "media/mp3/LosslessCut.h"

namespace sw {

bool TLosslessSplit::Open(const std::string& source, std::string& reason) {
  if (FSource.Open(source)) return true;
  reason = "Cannot split without re-encoding: " + FSource.ErrorText() + ".";
  return false;
}

int64_t TLosslessSplit::LengthTime() const {
  const int rate = FSource.Header().SampleRate;
  return rate ? (FSource.Length() * 1000000 + rate / 2) / rate : 0;
}

std::vector<TTrackResult> TLosslessSplit::Run(const TSplitPlan& plan, const std::vector<std::string>& outputs,
                                              bool replace, int64_t fadeTime) {
  std::vector<TTrackResult> results(plan.Tracks.size());
  bool stopped = false;
  for (std::size_t i = 0; i < plan.Tracks.size() && !stopped; ++i) {
    mp3::TLosslessCut cut;
    cut.OnQueryStop = [&] { return stopped = stopped || (OnQueryStop && OnQueryStop()); };
    mp3::TLosslessCutRequest r;
    r.Output = outputs[i];
    // Both sides of a boundary meet at the same sample: each time goes to the nearest.
    r.StartTime = plan.Tracks[i].Start;
    r.EndTime = plan.Tracks[i].End;
    r.FadeTime = fadeTime;
    r.Replace = replace;
    r.Id3v2Tag = mp3::BuildId3v2Tag(Id3TextFrames(TrackTags(plan, i)));
    TTrackResult& result = results[i];
    if (cut.Run(FSource, r))
      result.Outcome = toWritten;
    else if (stopped)
      result.Outcome = toStopped;
    else
      result = {toFailed, cut.ErrorText()};
    if (OnTrackEnd) OnTrackEnd(i, result);
  }
  return results;
}

}  // namespace sw
