#pragma once
// The cut without re-encoding, driven like TCutJob: the same request, output path and
// run-log lines, the frames copied by the MP3 module instead of a re-encoding task. It
// runs on the caller's thread: an hour of audio takes well under a second.
#include <functional>
#include <string>

#include "CutJob.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

class TLosslessCutJob {
 public:
  explicit TLosslessCutJob(TCutJob::TRunLog runLog) : FLog(std::move(runLog)) {}

  // Asked while the frames are copied; true stops the cut with nothing written.
  std::function<bool()> OnQueryStop;

  // Scans the source; false with the text for the user when it cannot be cut this way.
  bool Open(const std::string& source, std::string& userMessage);
  // The length of the source's gapless output, µs.
  int64_t LengthTime() const;
  // Logs the request, cuts, logs the end. False with the text for the user; nothing is
  // written then.
  bool Run(const TCutJob::TRequest& request, std::string& userMessage);

 private:
  TCutJob::TRunLog FLog;
  mp3::TMp3Source FSource;
};

}  // namespace sw
