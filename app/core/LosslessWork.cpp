#include "LosslessWork.h"

#include "CutJob.h"
#include "FileInfoText.h"
#include "VolumeScales.h"
#include "media/base/FileKind.h"
#include "media/engine/ConvertThread.h"
#include "media/mp3/LosslessCut.h"

namespace sw {

TLosslessWork::~TLosslessWork() { Stop(true); }

bool TLosslessWork::OpenSource(const std::string& source, std::string& reason) {
  if (const TNotAFile kind = NotAFile(source, false))
    reason = PrintableText(source) + ": " + NotAFileWords(kind);
  else if (!FSource.Open(source))
    reason = "This file cannot be cut without re-encoding: " + PrintableText(FSource.ErrorText()) +
             ". Use the cut with re-encoding instead.";
  if (reason.empty()) return true;
  FReports.Log(true, reason);
  return false;
}

int64_t TLosslessWork::LengthTime() const {
  const int rate = FSource.Header().SampleRate;
  return rate ? FSource.Length() * 1000000 / rate : 0;
}

bool TLosslessWork::Begin(const TCutRequest& request, const std::string& output, bool replace, std::string&) {
  FWorker = std::thread([this, request, output, replace] { Run(request, output, replace); });
  return true;
}

void TLosslessWork::Stop(bool wait) {
  FStop = true;
  if (!wait || !FWorker.joinable()) return;
  WaitPumping(FDone);  // the worker's reports go to this thread meanwhile
  FWorker.join();
}

void TLosslessWork::Run(const TCutRequest& r, const std::string& output, bool replace) {
  mp3::TLosslessCut cut;
  cut.OnLog = [this](const std::string& line) { FReports.Log(false, line); };
  cut.OnQueryStop = [this] { return FStop.load(); };
  int shown = 0;
  cut.OnProgress = [&](int64_t done, int64_t total) {
    const int percent = static_cast<int>(done * 100 / total);
    if (percent != shown) FReports.Progress(shown = percent);
  };
  mp3::TLosslessCutRequest request;
  request.Output = output;
  request.StartTime = r.StartTime;
  request.EndTime = r.EndTime;
  request.Volume = CutVolume(r.Volume);
  request.Replace = replace;
  TCutEnd end;
  if (cut.Run(FSource, request))
    end.Outcome = coFinished;
  else if (FStop)
    end.Outcome = coStopped;
  else
    end.Reason = cut.ErrorText();
  FReports.End(end);
  FDone.Set();
}

}  // namespace sw
