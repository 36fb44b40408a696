#include "LosslessCutCommand.h"

#include <cstdio>

#include "CutOutput.h"
#include "StopSignals.h"
#include "app/FileInfoText.h"
#include "app/LosslessCutJob.h"

namespace sw::cli {

int LosslessCutCommand(TCutJob::TRequest request, const std::string& folder, const std::optional<std::string>& name,
                       bool replace) {
  // No media library is loaded: the frames are read and written by our own MP3 code.
  TLosslessCutJob job([](bool, const std::string& text) { std::printf("%s\n", text.c_str()); });
  std::string userMessage;
  if (!job.Open(request.Source, userMessage)) return 1;
  const std::string output = PrepareCutOutput(request, job.LengthTime(), folder, name, replace);
  if (output.empty()) return 1;
  // A stop leaves no partial file.
  CatchStopSignals();
  job.OnQueryStop = [] { return StopRequested(); };
  // The reason is in the run log already.
  if (!job.Run(request, userMessage)) return 1;
  std::printf("%s\n", PrintableText(output).c_str());
  return 0;
}

}  // namespace sw::cli
