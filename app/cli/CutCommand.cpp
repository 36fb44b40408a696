#include <cstdio>
#include <cstdlib>
#include <optional>

#include "Commands.h"
#include "CutOutput.h"
#include "LosslessCutCommand.h"
#include "StopSignals.h"
#include "TimeArgument.h"
#include "app/CutJob.h"
#include "app/FileInfoText.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "media/binding/FFLog.h"

namespace sw::cli {

namespace {

bool ParseVolume(const std::string& text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end || v < 0 || v > 100) return false;
  value = static_cast<int>(v);
  return true;
}

void DrawProgress(int percent) {
  const int filled = percent / 5;
  std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "####################", 20 - filled, "", percent);
  std::fflush(stderr);
}

}  // namespace

int CutCommand(const TArgs& args) {
  TCutJob::TRequest request;
  bool haveStart = false, haveEnd = false, replace = false, lossless = false;
  std::string folder;
  std::optional<std::string> name;
  int64_t start = 0, end = 0;  // µs
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((a == "--start" || a == "--end") && hasValue) {
      if (!ParseTimeArgument(args[++i], a == "--start" ? start : end)) return ValueError("cut", a, args[i], TimeExpected);
      (a == "--start" ? haveStart : haveEnd) = true;
    } else if (a == "--volume" && hasValue) {
      if (!ParseVolume(args[++i], request.Volume)) return ValueError("cut", a, args[i], "a whole number from 0 to 100");
    } else if (a == "--folder" && hasValue) {
      folder = args[++i];
    } else if (a == "--name" && hasValue) {
      name = args[++i];
    } else if (a == "--yes") {
      replace = true;
    } else if (a == "--lossless") {
      lossless = true;
    } else if (request.Source.empty() && a.rfind("--", 0) != 0) {
      request.Source = a;
    } else {
      return UsageError("cut");
    }
  }
  if (request.Source.empty() || !haveStart || !haveEnd) return UsageError("cut");
  request.SetSegment(start, end);
  if (lossless) return LosslessCutCommand(request, folder, name, replace);

  // A stop leaves no partial file: the output's temporary file is removed.
  CatchStopSignals();
  SetMainThread();
  TFFLogger logger;
  logger.SetLogLevel(llQuiet);
  TFFDecoder reader;
  if (!reader.LibrariesReady() && !reader.LoadLibrariesFrom(ExecutableFolder())) {
    std::printf("Failed to load audio library, error message: %s\n", reader.ErrorText().c_str());
    return 1;
  }
  if (!reader.OpenMediaFile(request.Source, "")) {
    std::printf("Failed to load file, error message: %s\n", PrintableText(reader.ErrorText()).c_str());
    return 1;
  }
  reader.FillStreamInfo(request.SourceTags);
  const int64_t length = std::max<int64_t>(0, request.SourceTags.Duration);
  request.SourceBitRate = request.SourceTags.BitRate;
  const std::string output = PrepareCutOutput(request, length, folder, name, replace);
  if (output.empty()) return 1;

  TFFEncoder encoder;
  TCutJob job(encoder, [](bool, const std::string& text) { std::printf("%s\n", text.c_str()); },
              ExecutableFolder());
  std::atomic<bool> ended{false}, finished{false}, failed{false};
  encoder.OnAudioHook = [&job](TCustomEncoder*, int, int64_t pts, uint8_t* samples, int size, int rate, int ch,
                               int format) { job.AudioHook(pts, samples, size, rate, ch, format); };
  encoder.OnProgress = [](TCustomEncoder*, PProgressInfo info) {
    const int percent = ProgressPercent(info->CurrentTime, info->TotalDuration);
    if (percent >= 0) DrawProgress(percent);
  };
  encoder.OnTerminate = [&](TCustomEncoder*, TTerminateInfo info) {
    // The run log and the outcome belong to the main thread, as in the window.
    CallInMainThread([&] {
      if (info.TaskIndex >= 0) {
        if (info.Finished) DrawProgress(100);
        std::fputs("\n", stderr);
        finished = job.Terminated(info);
        failed = info.Exception;
      } else {
        ended = true;
      }
    });
  };
  if (StopRequested()) {
    std::printf("Stopped: the cut was not completed.\n");
    return 1;
  }
  // The reason of a refusal is in the run log's lines already.
  std::string userMessage;
  if (!job.Start(request, userMessage)) return 1;
  bool stopping = false;
  while (!ended) {
    WaitForPendingMessages(std::chrono::milliseconds(50));
    if (StopRequested() && !stopping) {
      stopping = true;
      encoder.Stop(true);
    }
  }
  if (finished) {
    std::printf("%s\n", PrintableText(output).c_str());
    return 0;
  }
  if (!failed) std::printf("Stopped: the cut was not completed.\n");
  return 1;
}

}  // namespace sw::cli
