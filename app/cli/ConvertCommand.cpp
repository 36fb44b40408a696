#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "Commands.h"
#include "ConvertPreview.h"
#include "StopSignals.h"
#include "media/base/MyUtils.h"
#include "media/binding/AVFormatStubs.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "app/core/FileInfoText.h"
#include "media/encoder/FFmpegTask.h"

namespace sw::cli {

namespace {

// Turns a stop signal into a stop request of the task running on this thread; a stopped
// conversion keeps no output.
class TStopOnSignal {
 public:
  explicit TStopOnSignal(TCustomFFmpeg& task) {
    CatchStopSignals();
    FWatcher = std::thread([this, &task] {
      while (!FDone) {
        if (StopRequested()) {
          task.RequestStop();
          return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    });
  }
  ~TStopOnSignal() {
    FDone = true;
    FWatcher.join();
  }

 private:
  std::atomic<bool> FDone{false};
  std::thread FWatcher;
};

std::string JoinLines(const TArgs& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Devices (lavfi, alsa, x11grab...) are formats of the device library, which brings some
// fifty libraries of its own (7 MB resident): it is loaded only for a named format that
// the format library does not have itself. A device is named, never guessed from a file.
void LoadDevicesFor(const std::string& format, bool input) {
  if (format.empty()) return;
  const bool known = input ? ff::av_find_input_format(format.c_str()) != nullptr
                           : ff::av_guess_format(format.c_str(), nullptr, nullptr) != nullptr;
  if (!known) FFLoader().LoadLibrarySet(LibraryBit(flAVDevice));
}

// Pictures may pass through a filter graph (scaling, cropping, "vf"): an input with video
// brings the filter library in. False when it cannot be loaded (the loader says why).
bool LoadFiltersForVideo(const TFFmpeg& task) {
  bool video = false, audio = false, subtitle = false;
  task.CheckInputs(false, video, audio, subtitle);
  return !video || FFLoader().LoadLibrarySet(LibraryBit(flAVFilter));
}

// The output path of an output-options record that only has option lines: defaults,
// general lines (a "target" among them), the output, then the extra streams.
bool CreateOutput(TFFmpeg& task, const std::string& name, const std::string& lines) {
  TDefaultsList defaults;
  BuildDefaults({}, lines, defaults);
  task.ApplyStreamDefaults(defaults);
  task.ApplyOptionLines(lines, false);
  task.ApplyFrameDefaults(defaults);
  LoadDevicesFor(task.Options().ForcedFormat, false);
  if (task.OpenOutputFile(name, false) < 0) return false;
  task.ApplyNewStreamLines(lines, defaults);
  return true;
}

}  // namespace

int ConvertCommand(const TArgs& args) {
  TArgs inputLines, outputLines, files;
  bool preview = false, replace = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--preview")
      preview = true;
    else if (args[i] == "-y" || args[i] == "--yes")
      replace = true;
    else if (args[i] == "--in" && i + 1 < args.size())
      inputLines.push_back(args[++i]);
    else if (files.size() < 2)
      files.push_back(args[i]);
    else
      outputLines.push_back(args[i]);
  }
  if (files.size() < 2) {
    return UsageError("convert");
  }
  // The command line has no one to ask.
  if (WideFileExists(files[1]) && !replace) {
    std::fprintf(stderr, "The file exists, do you want to replace it? Add -y (or --yes) to replace %s\n",
                 PrintableText(files[1]).c_str());
    return 1;
  }
  TFFLogger logger;  // the libraries' own log lines stay out of the report
  logger.SetLogLevel(llQuiet);
  if (!FFLoader().LoadLibrarySet(ConversionLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
    return 1;
  }

  TFFmpeg task;
  task.ClearTask();
  task.OnProgress = [](TCustomFFmpeg*, int file, int, int, float, float bitRate, int64_t size, int64_t time,
                       int64_t total) {
    std::fprintf(stderr, "file %d: %.2f s of %.2f s, %lld bytes, %.1f kbit/s\n", file, time / 1e6,
                 total < 0 ? 0.0 : total / 1e6, static_cast<long long>(size), bitRate);
  };
  try {
    task.ApplyOptionLines(JoinLines(inputLines), true);
    LoadDevicesFor(task.Options().ForcedFormat, true);
    task.Options().ReplaceOutput = replace;  // else a file that appears meanwhile is kept
    if (!task.OpenInputFile(files[0])) {
      std::fprintf(stderr, "%s\n", task.ErrorText().c_str());
      return 1;
    }
    if (!LoadFiltersForVideo(task)) {
      std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
      task.CleanUp();
      return 1;
    }
    if (!CreateOutput(task, files[1], JoinLines(outputLines))) {
      std::fprintf(stderr, "%s\n", task.ErrorText().c_str());
      return 1;
    }
    const TStopOnSignal stopOnSignal(task);
    RunConversion(task, preview);
  } catch (const FFmpegException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    task.CleanUp();
    return 1;
  }
  task.CleanUp();
  if (task.FinishedNormally()) return 0;
  std::fprintf(stderr, "Stopped: the conversion was not completed.\n");
  return 1;
}

}  // namespace sw::cli
