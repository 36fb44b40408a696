#pragma once
// A split that encodes its tracks again, as the cut does: the tracks wait in a queue and
// as many cuts as there are cores (two at least) take them one after another, each on an
// encoder and worker of its own. Everything it reports comes on the main thread, the
// one that calls Start and Pump.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SplitTracks.h"

namespace sw {

class TCutJob;

class TReencodeSplit {
 public:
  explicit TReencodeSplit(std::string libraryFolder, int workers = 0);  // 0: one per core, two at least
  ~TReencodeSplit();  // stops the cuts under way and waits for them
  TReencodeSplit(const TReencodeSplit&) = delete;
  TReencodeSplit& operator=(const TReencodeSplit&) = delete;

  // A run-log line of a track's cut (error: the error level).
  std::function<void(std::size_t index, bool error, const std::string& line)> OnLog;
  // After each track, with its index and how it ended.
  std::function<void(std::size_t index, const TTrackResult& result)> OnTrackEnd;
  // Asked before each track starts and as one ends: a stop may come between two calls of
  // Pump, and the inputs of the cuts started after it cannot be read any more.
  std::function<bool()> OnQueryStop;

  // Queues track i of the plan for outputs[i] (whose files were checked by the caller:
  // replace tells whether one there may be replaced), with fades of fadeTime µs, and
  // starts the first cuts.
  void Start(const std::string& source, const TSplitPlan& plan, const std::vector<std::string>& outputs, bool replace,
             int64_t fadeTime);
  // Starts queued tracks on the cuts that have ended; to be called while the main thread
  // waits for messages.
  void Pump();
  // Stops the cuts under way (nothing of their tracks is kept) and starts no more.
  void Stop();
  bool Done() const;
  const std::vector<TTrackResult>& Results() const { return FResults; }

 private:
  struct TWorker;
  void StartNext(TWorker& worker);
  bool Stopping() const { return FStopping || (OnQueryStop && OnQueryStop()); }
  // A track that ends otherwise than written while a stop is asked was stopped.
  TTrackOutcome Unwritten() const { return Stopping() ? toStopped : toFailed; }

  std::string FLibraryFolder, FSource;
  TSplitPlan FPlan;
  std::vector<std::string> FOutputs;
  bool FReplace = false, FStopping = false;
  int64_t FFadeTime = 0;
  std::size_t FNext = 0;  // the first track not started
  std::vector<TTrackResult> FResults;
  std::vector<std::unique_ptr<TWorker>> FWorkers;  // last: their jobs report into the fields above
};

}  // namespace sw
