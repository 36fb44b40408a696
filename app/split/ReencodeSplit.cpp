#include "ReencodeSplit.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "app/core/CutJob.h"
#include "app/core/OutputPreparation.h"
#include "media/base/MyUtils.h"

namespace sw {

struct TReencodeSplit::TWorker {
  explicit TWorker(const std::string& libraryFolder) : Job(libraryFolder) {}
  TCutJob Job;
  std::size_t Track = 0;
  bool Busy = false;
};

TReencodeSplit::TReencodeSplit(std::string libraryFolder, int workers) : FLibraryFolder(std::move(libraryFolder)) {
  const int count = workers > 0 ? workers : std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
  for (int i = 0; i < count; ++i) FWorkers.push_back(std::make_unique<TWorker>(FLibraryFolder));
}

TReencodeSplit::~TReencodeSplit() {
  FStopping = true;
  for (auto& w : FWorkers) w->Job.Stop(true);
}

void TReencodeSplit::Start(const std::string& source, const TSplitPlan& plan, const std::vector<std::string>& outputs,
                           bool replace, int64_t fadeTime) {
  FSource = source;
  FPlan = plan;
  FOutputs = outputs;
  FReplace = replace;
  FFadeTime = fadeTime;
  FNext = 0;
  FResults.assign(plan.Tracks.size(), TTrackResult{});
  for (auto& w : FWorkers) {
    TWorker* worker = w.get();
    worker->Job.OnLog = [this, worker](bool error, const std::string& line) {
      if (OnLog) OnLog(worker->Track, error, line);
    };
    // The caller asked about every file there before the split began.
    worker->Job.OnAskReplace = [this](const std::string&) { return FReplace; };
    worker->Job.OnEnd = [this, worker](const TCutEnd& end) {
      TTrackResult& result = FResults[worker->Track];
      result.Outcome = end.Outcome == coFinished ? toWritten : end.Outcome == coStopped ? toStopped : Unwritten();
      result.Reason = end.Reason;
      worker->Busy = false;  // the next track starts from Pump, not from inside the job's report
      if (OnTrackEnd) OnTrackEnd(worker->Track, result);
    };
  }
  Pump();
}

void TReencodeSplit::StartNext(TWorker& worker) {
  const std::size_t i = FNext++;
  const TSplitTrack& t = FPlan.Tracks[i];
  TCutRequest r;
  r.Source = FSource;
  r.StartTime = t.Start;
  r.EndTime = t.End;
  r.KeepLevel = true;
  r.Folder = WideExtractFilePath(FOutputs[i]);
  r.Name = WideExtractFileName(FOutputs[i]);
  r.FadeTime = FFadeTime;
  const TTrackTags tags = TrackTags(FPlan, i);
  TFileStreamInfo info;
  info.Title = tags.Title;
  info.Author = tags.Performer;
  info.Album = tags.Album;
  info.Genre = tags.Genre;
  info.Year = std::atoi(tags.Year.c_str());
  info.Track = tags.Number;
  r.Tags = info;
  r.TrackTotal = tags.Count;
  worker.Track = i;
  worker.Busy = true;
  std::string refusal;
  if (!worker.Job.Start(r, refusal)) {
    worker.Busy = false;
    FResults[i] = {Unwritten(), refusal};
    if (OnTrackEnd) OnTrackEnd(i, FResults[i]);
  }
}

void TReencodeSplit::Pump() {
  for (auto& w : FWorkers)
    while (!w->Busy && !Stopping() && FNext < FResults.size()) StartNext(*w);
}

void TReencodeSplit::Stop() {
  FStopping = true;
  for (auto& w : FWorkers) w->Job.Stop(false);
}

bool TReencodeSplit::Done() const {
  return std::none_of(FWorkers.begin(), FWorkers.end(), [](const auto& w) { return w->Busy; }) &&
         (Stopping() || FNext >= FResults.size());
}

}  // namespace sw
