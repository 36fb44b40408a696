#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "Commands.h"
#include "StopSignals.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "app/FileInfoText.h"
#include "media/encoder/FFmpegTask.h"
#include "media/engine/Previewer.h"
#include "widgets/previewer/PreviewWidget.h"

#include <QApplication>
#include <cstdlib>
#include <exception>

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

// The output path of an output-options record that only has option lines: defaults,
// general lines (a "target" among them), the output, then the extra streams.
bool CreateOutput(TFFmpeg& task, const std::string& name, const std::string& lines) {
  TDefaultsList defaults;
  BuildDefaults({}, lines, defaults);
  task.ApplyStreamDefaults(defaults);
  task.ApplyOptionLines(lines, false);
  task.ApplyFrameDefaults(defaults);
  if (task.OpenOutputFile(name, false) < 0) return false;
  task.ApplyNewStreamLines(lines, defaults);
  return true;
}

// Runs the conversion on a worker while this thread paints the previewer's pictures.
void TranscodeWithPreview(TFFmpeg& task) {
  int argc = 1;
  char name[] = "snipwave-cli";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  SetMainThread();
  InstallPreviewWindows();
  task.SetPreviewFlag(PreviewWindowFlag, true);
  std::atomic<bool> done{false};
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      task.Transcode();
    } catch (...) {
      failure = std::current_exception();
    }
    done = true;
  });
  while (!done) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    WaitForPendingMessages(std::chrono::milliseconds(10));
  }
  worker.join();
  task.SetPreviewFlag(PreviewWindowFlag, false);  // the window goes while Qt is still there
  SetPreviewWindowFactory(nullptr);
  if (failure) std::rethrow_exception(failure);
}

bool DisplayExists() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
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
  if (!FFLoader().LoadLibrarySet(EncoderLibraries)) {
    std::fprintf(stderr, "%s\n", FFLoader().GetLastErrorText().c_str());
    return 1;
  }
  // Devices such as lavfi are inputs too when their library is there.
  FFLoader().LoadLibrarySet(LibraryBit(flAVDevice));

  TFFmpeg task;
  task.ClearTask();
  task.OnProgress = [](TCustomFFmpeg*, int file, int, int, float, float bitRate, int64_t size, int64_t time,
                       int64_t total) {
    std::fprintf(stderr, "file %d: %.2f s of %.2f s, %lld bytes, %.1f kbit/s\n", file, time / 1e6,
                 total < 0 ? 0.0 : total / 1e6, static_cast<long long>(size), bitRate);
  };
  try {
    task.ApplyOptionLines(JoinLines(inputLines), true);
    task.Options().ReplaceOutput = replace;  // else a file that appears meanwhile is kept
    if (!task.OpenInputFile(files[0]) || !CreateOutput(task, files[1], JoinLines(outputLines))) {
      std::fprintf(stderr, "%s\n", task.ErrorText().c_str());
      return 1;
    }
    const TStopOnSignal stopOnSignal(task);
    if (preview && !DisplayExists()) std::fprintf(stderr, "No display: the preview window is not shown.\n");
    if (preview && DisplayExists())
      TranscodeWithPreview(task);
    else
      task.Transcode();
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
