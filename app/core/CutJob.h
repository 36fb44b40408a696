#pragma once
// One cut, the same for the window and the command line: the request checked, the
// output prepared (OutputPreparation.h), the run log's lines written, and the cut run on a
// worker thread by the work of its mode, which attaches the fades itself. A front end
// turns its inputs into a TCutRequest, answers the replace question and shows progress
// and the end; it never sees an encoder, an audio hook or a fade.
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "CutRequest.h"
#include "OutputPreparation.h"

namespace sw {

class TCutWork;

enum TCutOutcome {
  coFinished,  // the new file is complete at its place
  coFailed,    // nothing was written; Reason says why
  coStopped,   // stopped on request; nothing was written
};

struct TCutEnd {
  TCutOutcome Outcome = coFailed;
  std::string Reason;  // printable, for the user; empty unless failed
  std::string Output;  // the file the cut wrote (or was to write)
};

// Percent for a progress bar, or -1 when there is nothing to show yet.
int ProgressPercent(int64_t currentTime, int64_t totalDuration);

class TCutJob {
 public:
  // libraryFolder: where the media libraries are looked for first.
  explicit TCutJob(std::string libraryFolder);
  ~TCutJob();  // stops a running cut and waits for it
  TCutJob(const TCutJob&) = delete;
  TCutJob& operator=(const TCutJob&) = delete;

  // The handlers run on the main thread (the one that calls Start), never on a worker;
  // they may be cleared there at any time, also while a cut runs. None may start a cut
  // or destroy the job.
  // One run-log line; error: the error level, else the information level.
  std::function<void(bool error, const std::string& line)> OnLog;
  // A file of the output's name exists: true lets the cut replace it once it is complete.
  // Without a handler nothing is replaced.
  TAskReplace OnAskReplace;
  // 0 when the work starts, then up to 100.
  std::function<void(int percent)> OnProgress;
  // Once for every cut that Start started.
  std::function<void(const TCutEnd& end)> OnEnd;

  // Checks the request, prepares its output, logs it and starts the cut on a worker.
  // False when nothing was started, with the reason for the user in refusal (logged too;
  // empty when the user kept a file of the output's name).
  bool Start(const TCutRequest& request, std::string& refusal);
  // Asks a running cut to stop; with wait, returns once it has (OnEnd may run meanwhile).
  void Stop(bool wait);
  bool Running() const { return FRunning; }

 private:
  bool Refuse(const std::string& reason, std::string& refusal);
  void Log(bool error, const std::string& text);
  void Progress(int percent);
  void End(const TCutEnd& end);

  std::string FLibraryFolder;
  std::atomic<bool> FRunning{false};  // from a started cut to its end's delivery
  std::string FOutput;                // the running cut's file (main thread)
  std::unique_ptr<TCutWork> FWork;    // the last cut's (main thread)
};

}  // namespace sw
