#include "LosslessCutJob.h"


#include "media/base/FileKind.h"
#include "media/mp3/LosslessCut.h"

namespace sw {

namespace {

std::string Refusal(const std::string& reason) {
  return "This file cannot be cut without re-encoding: " + reason + ". Use the cut with re-encoding instead.";
}

}  // namespace

bool TLosslessCutJob::Open(const std::string& source, std::string& userMessage) {
  if (const TNotAFile kind = NotAFile(source, false)) {
    userMessage = source + ": " + NotAFileWords(kind);
    FLog(true, userMessage);
    return false;
  }
  if (FSource.Path() == source && !FSource.Frames().empty()) return true;
  if (FSource.Open(source)) return true;
  userMessage = Refusal(FSource.ErrorText());
  FLog(true, userMessage);
  return false;
}

int64_t TLosslessCutJob::LengthTime() const {
  const int rate = FSource.Header().SampleRate;
  return rate ? FSource.Length() * 1000000 / rate : 0;
}

bool TLosslessCutJob::Run(const TCutJob::TRequest& r, std::string& userMessage) {
  userMessage = OutputRefusal(r.Folder, r.Name);
  if (!userMessage.empty()) {
    FLog(true, userMessage);
    return false;
  }
  LogCutRequest(r, FLog);
  if (!Open(r.Source, userMessage)) return false;
  const std::string path = BuildOutputPath(r.Folder, r.Name);
  userMessage = MakeOutputFolder(path);
  if (!userMessage.empty()) {
    FLog(true, userMessage);
    FLog(true, "Failed to cut file.");
    return false;
  }
  mp3::TLosslessCut cut;
  cut.OnLog = [this](const std::string& line) { FLog(false, line); };
  cut.OnQueryStop = OnQueryStop;
  mp3::TLosslessCutRequest request;
  request.Output = path;
  request.StartTime = r.SegStartTime();
  request.EndTime = r.SegEndTime();
  request.Volume = CutVolume(r.Volume);
  request.Replace = r.Replace;
  if (!cut.Run(FSource, request)) {
    userMessage = cut.ErrorText();
    FLog(true, "Failed to cut file.");
    return false;
  }
  FLog(false, "Completed to cut mp3 file.");
  return true;
}

}  // namespace sw
