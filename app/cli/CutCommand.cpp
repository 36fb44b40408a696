#include <cstdio>
#include <cstdlib>
#include <optional>

#include "Commands.h"
#include "StopSignals.h"
#include "TimeArgument.h"
#include "VolumeArgument.h"
#include "app/core/CutJob.h"
#include "app/core/FileInfoText.h"
#include "media/binding/FFLog.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"

namespace sw::cli {

namespace {

void DrawProgress(int percent) {
  const int filled = percent / 5;
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "####################", 20 - filled, "", percent);
  std::fflush(stderr);
}

}  // namespace

int CutCommand(const TArgs& args) {
  TCutRequest request;
  bool haveStart = false, haveEnd = false, replace = false;
  std::optional<std::string> folder, name;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((a == "--start" || a == "--end") && hasValue) {
      // The time text becomes the request's microseconds here, once.
      if (!ParseTimeArgument(args[++i], a == "--start" ? request.StartTime : request.EndTime))
        return ValueError("cut", a, args[i], TimeExpected);
      (a == "--start" ? haveStart : haveEnd) = true;
    } else if (a == "--volume" && hasValue) {
      if (!ParseVolumeArgument(args[++i], request.Volume)) return ValueError("cut", a, args[i], VolumeExpected);
    } else if (a == "--folder" && hasValue) {
      folder = args[++i];
    } else if (a == "--name" && hasValue) {
      name = args[++i];
    } else if (a == "--yes") {
      replace = true;
    } else if (a == "--lossless") {
      request.Mode = cmLossless;
    } else if (request.Source.empty() && a.rfind("--", 0) != 0) {
      request.Source = a;
    } else {
      return UsageError("cut");
    }
  }
  if (request.Source.empty() || !haveStart || !haveEnd) return UsageError("cut");
  // Where none is given: beside the source, its name with "_new" (an empty --folder too).
  const TProposedOutput proposed = ProposeOutput(request.Source);
  request.Folder = folder.value_or("").empty() ? proposed.Folder : *folder;
  request.Name = name.value_or(proposed.Name);

  // A stop leaves no partial file: the output's temporary file is removed.
  CatchStopSignals();
  SetMainThread();
  TFFLogger logger;  // the libraries' own log lines stay out of the report
  logger.SetLogLevel(llQuiet);
  TCutJob job(ExecutableFolder());
  // The run log is the standard output; every report comes to this thread.
  job.OnLog = [](bool, const std::string& line) { std::printf("%s\n", line.c_str()); };
  // The command line has no one to ask.
  job.OnAskReplace = [replace](const std::string& output) {
    if (!replace)
      std::printf("The file exists, do you want to replace it? Add --yes to replace %s\n",
                  PrintableText(output).c_str());
    return replace;
  };
  job.OnProgress = [](int percent) { DrawProgress(percent); };
  std::optional<TCutEnd> end;
  job.OnEnd = [&](const TCutEnd& e) {
    if (e.Outcome == coFinished) DrawProgress(100);
    std::fputs("\n", stderr);
    end = e;
  };
  if (StopRequested()) {
    std::printf("Stopped: the cut was not completed.\n");
    return 1;
  }
  // The reason of a refusal is in the run log's lines already.
  std::string refusal;
  if (!job.Start(request, refusal)) {
    if (StopRequested()) std::printf("Stopped: the cut was not completed.\n");  // the stop ended the reading
    return 1;
  }
  bool stopping = false;
  while (!end) {
    WaitForPendingMessages(std::chrono::milliseconds(50));
    if (StopRequested() && !stopping) {
      stopping = true;
      job.Stop(false);
    }
  }
  if (end->Outcome == coFinished) {
    std::printf("%s\n", PrintableText(end->Output).c_str());
    return 0;
  }
  if (end->Outcome == coStopped) std::printf("Stopped: the cut was not completed.\n");
  return 1;
}

}  // namespace sw::cli
