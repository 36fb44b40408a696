#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

#include "Commands.h"
#include "StopSignals.h"
#include "TimeArgument.h"
#include "app/core/OutputPreparation.h"
#include "app/core/FileInfoText.h"
#include "app/split/CueSheet.h"
#include "app/split/LosslessSplit.h"
#include "app/split/ReencodeSplit.h"
#include "app/split/SilenceFinder.h"
#include "app/split/TrackNames.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "media/base/SafeOutput.h"
#include "media/binding/FFLog.h"
#include "media/info/FFDecode.h"

namespace sw::cli {

namespace {

struct TSplitArgs {
  std::string Source, At, Cue, Folder;
  std::optional<std::string> Name;
  int64_t Every = 0, Fade = 0;  // µs
  bool Silence = false, Lossless = false, Replace = false;
  TSilenceOptions SilenceOptions;
  int Modes = 0;
};

bool ParseDecibels(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && !*end && value <= 0 && value >= -120;
}

// 2 and the reason for a wrong call; -1 when the arguments hold together.
int ParseSplitArgs(const TArgs& args, TSplitArgs& s) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    int64_t time = 0;
    if (a == "--at" && hasValue) {
      s.At = args[++i];
      ++s.Modes;
    } else if (a == "--every" && hasValue) {
      if (!ParseTimeArgument(args[++i], time) || time <= 0) return ValueError("split", a, args[i], TimeExpected);
      s.Every = time;
      ++s.Modes;
    } else if (a == "--cue" && hasValue) {
      s.Cue = args[++i];
      ++s.Modes;
    } else if (a == "--silence") {
      s.Silence = true;
      ++s.Modes;
    } else if (a == "--threshold" && hasValue) {
      if (!ParseDecibels(args[++i], s.SilenceOptions.ThresholdDb))
        return ValueError("split", a, args[i], "decibels from -120 to 0, such as -50");
    } else if (a == "--min-gap" && hasValue) {
      if (!ParseTimeArgument(args[++i], time) || time <= 0) return ValueError("split", a, args[i], TimeExpected);
      s.SilenceOptions.MinGap = time;
    } else if (a == "--fade" && hasValue) {
      if (!ParseTimeArgument(args[++i], s.Fade)) return ValueError("split", a, args[i], TimeExpected);
    } else if (a == "--folder" && hasValue) {
      s.Folder = args[++i];
    } else if (a == "--name" && hasValue) {
      s.Name = args[++i];
    } else if (a == "--yes") {
      s.Replace = true;
    } else if (a == "--lossless") {
      s.Lossless = true;
    } else if (s.Source.empty() && a.rfind("--", 0) != 0) {
      s.Source = a;
    } else {
      return UsageError("split");
    }
  }
  if (s.Source.empty() || s.Modes != 1) return UsageError("split");
  return -1;
}

// The tracks of the plan from the way asked for; false with the reason printed.
bool PlanTracks(const TSplitArgs& s, int64_t length, TSplitPlan& plan) {
  std::vector<int64_t> starts;
  std::string error;
  TCueSheet sheet;
  if (!s.At.empty() && !ParseTrackStarts(s.At, starts, error)) {
    std::printf("Cannot split: %s.\n", error.c_str());
    return false;
  }
  if (s.Every) starts = EveryStarts(s.Every, length);
  if (!s.Cue.empty()) {
    if (!ReadCueSheet(s.Cue, sheet, error)) {
      std::printf("Cannot read the cue sheet: %s.\n", PrintableText(error).c_str());
      return false;
    }
    for (std::size_t i = 1; i < sheet.Tracks.size(); ++i) starts.push_back(sheet.Tracks[i].Start);
  }
  if (s.Silence) {
    std::vector<TSilence> silences;
    const std::atomic<bool> stop{false};
    if (!FindSilences(s.Source, length, s.SilenceOptions, stop, silences)) {
      std::printf("Cannot split: the source's sound cannot be decoded.\n");
      return false;
    }
    std::printf("Found %zu silence(s) of at least %s below %g dB:\n", silences.size(),
                FormatSegmentTime(s.SilenceOptions.MinGap).c_str(), s.SilenceOptions.ThresholdDb);
    for (const TSilence& gap : silences) {
      std::printf("  %s to %s, a track starts at %s\n", FormatSegmentTime(gap.Start).c_str(),
                  FormatSegmentTime(gap.End).c_str(), FormatSegmentTime(gap.Middle()).c_str());
      starts.push_back(gap.Middle());
    }
  }
  if (!TracksFromStarts(starts, length, plan.Tracks, error)) {
    std::printf("Cannot split: %s.\n", error.c_str());
    return false;
  }
  for (std::size_t i = 0; i < sheet.Tracks.size() && i < plan.Tracks.size(); ++i) {
    plan.Tracks[i].Title = sheet.Tracks[i].Title;
    plan.Tracks[i].Performer = sheet.Tracks[i].Performer.empty() ? sheet.Performer : sheet.Tracks[i].Performer;
  }
  if (plan.Album.empty()) plan.Album = sheet.Title;
  return true;
}

// The tracks' output paths; empty with the reason printed when the names cannot be used.
std::vector<std::string> TrackOutputs(const TSplitArgs& s, const TSplitPlan& plan) {
  const std::string folder = s.Folder.empty() ? ProposeOutput(s.Source).Folder : s.Folder;
  const std::string pattern = s.Name.value_or(DefaultTrackPattern(plan.Tracks));
  const std::string sourceName = WideExtractFileName(s.Source);
  std::vector<std::string> outputs;
  std::set<std::string> taken;
  const int count = static_cast<int>(plan.Tracks.size());
  for (int n = 1; n <= count; ++n) {
    std::string name, error;
    if (!TrackName(pattern, n, count, plan.Tracks[static_cast<std::size_t>(n - 1)], sourceName, name, error)) {
      std::printf("Cannot split: %s.\n", error.c_str());
      return {};
    }
    const std::string refusal = OutputRefusal(folder, name);
    if (!refusal.empty()) {
      std::printf("Track %d: %s\n", n, refusal.c_str());
      return {};
    }
    const std::string output = BuildOutputPath(folder, name);
    if (!taken.insert(output).second) {
      std::printf("Cannot split: two tracks would both be written to %s; put %%n in --name.\n",
                  PrintableText(output).c_str());
      return {};
    }
    if (SameRegularFile(s.Source, output)) {
      std::printf("Cannot split: track %d would be written over the source %s.\n", n, PrintableText(output).c_str());
      return {};
    }
    outputs.push_back(output);
  }
  std::vector<std::string> existing;
  for (const std::string& output : outputs)
    if (WideFileExists(output)) existing.push_back(output);
  if (!existing.empty() && !s.Replace) {
    std::printf("%zu of the tracks' files exist, do you want to replace them? Add --yes to replace:\n",
                existing.size());
    for (const std::string& output : existing) std::printf("  %s\n", PrintableText(output).c_str());
    return {};
  }
  const std::string folderError = MakeOutputFolder(outputs.front());
  if (!folderError.empty()) {
    std::printf("Cannot make the output folder: %s\n", PrintableText(folderError).c_str());
    return {};
  }
  return outputs;
}

// The end: what was written, what failed, what a stop left out. The exit status.
int ReportTracks(const std::vector<std::string>& outputs, const std::vector<TTrackResult>& results) {
  std::size_t written = 0;
  for (const TTrackResult& r : results) written += r.Outcome == toWritten;
  if (written == results.size()) {
    std::printf("All %zu tracks were written.\n", results.size());
    return 0;
  }
  std::printf("%zu of %zu tracks were written", written, results.size());
  const bool stopped = std::any_of(results.begin(), results.end(), [](const TTrackResult& r) {
    return r.Outcome == toStopped || r.Outcome == toPending;
  });
  std::printf(stopped ? " (stopped):\n" : ":\n");
  for (std::size_t i = 0; i < results.size(); ++i) {
    static const char* const words[] = {"not started", "written", "failed", "stopped, nothing of it kept"};
    std::printf("  track %zu %s: %s\n", i + 1, words[results[i].Outcome], PrintableText(outputs[i]).c_str());
  }
  return 1;
}

}  // namespace

int SplitCommand(const TArgs& args) {
  TSplitArgs s;
  if (const int status = ParseSplitArgs(args, s); status >= 0) return status;
  // A stop keeps the tracks already written and removes the one under way.
  CatchStopSignals();
  TFFLogger logger;
  logger.SetLogLevel(llQuiet);
  TFFDecoder reader;
  if (!reader.LibrariesReady() && !reader.LoadLibrariesFrom(ExecutableFolder())) {
    std::printf("Failed to load audio library, error message: %s\n", reader.ErrorText().c_str());
    return 1;
  }
  if (!reader.OpenMediaFile(s.Source, "")) {
    std::printf("Failed to load file, error message: %s\n", PrintableText(reader.ErrorText()).c_str());
    return 1;
  }
  TFileStreamInfo tags;
  reader.FillStreamInfo(tags);
  reader.CloseMediaFile();
  TSplitPlan plan;
  plan.Album = tags.Album;
  plan.Genre = tags.Genre;
  plan.SourcePerformer = tags.Author;
  if (tags.Year > 0) plan.Year = std::to_string(tags.Year);

  TLosslessSplit lossless;
  std::string reason;
  if (s.Lossless && !lossless.Open(s.Source, reason)) {
    std::printf("%s\n", PrintableText(reason).c_str());
    return 1;
  }
  const int64_t length = s.Lossless ? lossless.LengthTime() : std::max<int64_t>(0, tags.Duration);
  if (!PlanTracks(s, length, plan)) return 1;
  const std::vector<std::string> outputs = TrackOutputs(s, plan);
  if (outputs.empty()) return 1;
  // Each track's path when it is complete; a failure with its reason.
  const auto trackEnd = [&](std::size_t i, const TTrackResult& r) {
    if (r.Outcome == toWritten)
      std::printf("%s\n", PrintableText(outputs[i]).c_str());
    else if (r.Outcome == toFailed)
      std::printf("Track %zu failed: %s\n", i + 1, PrintableText(r.Reason).c_str());
    std::fflush(stdout);
  };
  if (s.Lossless) {
    lossless.OnQueryStop = [] { return StopRequested(); };
    lossless.OnTrackEnd = trackEnd;
    return ReportTracks(outputs, lossless.Run(plan, outputs, s.Replace, s.Fade));
  }
  SetMainThread();
  TReencodeSplit split(ExecutableFolder());
  split.OnTrackEnd = trackEnd;  // a failure's reason comes with it; the cuts' run logs stay out
  split.OnQueryStop = [] { return StopRequested(); };
  split.Start(s.Source, plan, outputs, s.Replace, s.Fade);
  bool stopping = false;
  while (!split.Done()) {
    WaitForPendingMessages(std::chrono::milliseconds(50));
    if (StopRequested() && !stopping) {
      stopping = true;
      split.Stop();
    }
    split.Pump();
  }
  return ReportTracks(outputs, split.Results());
}

}  // namespace sw::cli
