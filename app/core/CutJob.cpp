#include "CutJob.h"

#include <algorithm>

#include "CutWork.h"
#include "FileInfoText.h"
#include "LosslessWork.h"
#include "ReencodeWork.h"
#include "RunLogLines.h"
#include "media/base/MainThread.h"

namespace sw {

int ProgressPercent(int64_t currentTime, int64_t totalDuration) {
  if (totalDuration <= 0) return -1;
  return static_cast<int>(std::clamp<int64_t>(currentTime * 100 / totalDuration, 0, 100));
}

TCutJob::TCutJob(std::string libraryFolder) : FLibraryFolder(std::move(libraryFolder)) {}

TCutJob::~TCutJob() {
  Stop(true);
  FWork.reset();  // its last reports still reach this job
}

bool TCutJob::Start(const TCutRequest& r, std::string& refusal) {
  refusal.clear();
  if (FRunning) return Refuse("A cut is under way: wait for its end.", refusal);
  if (const std::string why = OutputRefusal(r.Folder, r.Name); !why.empty()) return Refuse(why, refusal);

  TCutReports reports{[this](bool error, const std::string& text) { Log(error, text); },
                      [this](int percent) { Progress(percent); }, [this](const TCutEnd& end) { End(end); }};
  FWork.reset();
  if (r.Mode == cmLossless)
    FWork = std::make_unique<TLosslessWork>(std::move(reports));
  else
    FWork = std::make_unique<TReencodeWork>(std::move(reports), FLibraryFolder);
  if (!FWork->OpenSource(r.Source, refusal)) return false;
  const int64_t length = FWork->LengthTime();
  if (r.StartTime < 0 || r.EndTime <= r.StartTime || r.EndTime > length)
    return Refuse("The segment must end after it starts and lie within the file's " + std::to_string(length / 1000000) +
                      " seconds.",
                  refusal);

  const TPreparedOutput output = PrepareOutput(r, OnAskReplace);
  if (!output.Refusal.empty()) return Refuse(output.Refusal, refusal);
  if (output.Declined) return false;
  for (const std::string& line : CutRequestLines(r, output.Path)) Log(false, line);
  FOutput = output.Path;
  Progress(0);
  FRunning = true;
  if (FWork->Begin(r, output.Path, output.Replace, refusal)) return true;
  FRunning = false;
  return false;
}

void TCutJob::Stop(bool wait) {
  // Not while the end is delivered: the cut is over, and its worker waits for the delivery.
  if (FRunning && FWork) FWork->Stop(wait);
}

bool TCutJob::Refuse(const std::string& reason, std::string& refusal) {
  refusal = reason;
  Log(true, reason);
  return false;
}

void TCutJob::Log(bool error, const std::string& text) {
  CallInMainThread([&] {
    // A reason of several lines is several lines of the log.
    for (std::size_t from = 0;;) {
      const std::size_t end = text.find('\n', from);
      if (OnLog) OnLog(error, text.substr(from, end - from));
      if (end == std::string::npos) break;
      from = end + 1;
    }
  });
}

void TCutJob::Progress(int percent) {
  CallInMainThread([&] {
    if (OnProgress) OnProgress(percent);
  });
}

void TCutJob::End(const TCutEnd& end) {
  CallInMainThread([&] {
    TCutEnd told = end;
    told.Reason = PrintableText(end.Reason);
    told.Output = FOutput;
    FRunning = false;
    if (told.Outcome == coFinished) Log(false, CutCompletedLine);
    if (told.Outcome == coFailed)
      for (const std::string& line : CutFailedLines(told.Reason)) Log(false, line);
    if (OnEnd) OnEnd(told);
  });
}

}  // namespace sw
