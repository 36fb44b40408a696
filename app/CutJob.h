#pragma once
// The "Start Cut" job without the window: the output path, the settings handed to the
// encoder, the fades, the progress figure and the run-log texts. The window and the
// command-line tool both drive a cut through TCutJob.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "media/encoder/FFEncode.h"
#include "media/gain/SegmentFade.h"
#include "media/info/FileStreamInfo.h"

namespace sw {

// folder + "/" (unless it ends in one; nothing for an empty folder, which is the current
// one) + name, with ".mp3" appended unless the name's extension already is ".mp3" in any case.
std::string BuildOutputPath(const std::string& folder, const std::string& name);

// Why a name typed for the output cannot be used, or empty when it can: the output must
// stay in the chosen folder, so a name may not hold "/" or control characters, nor be
// empty, "." or "..".
std::string OutputNameRefusal(const std::string& name);
// Why the folder and name typed for the output cannot be used, or empty: the name as
// above, and a folder text in the form of a URL ("http://host/...") is no local folder.
std::string OutputRefusal(const std::string& folder, const std::string& name);

// Makes the output's folder when it is missing, one level as the window always did. Empty,
// or the system's reason when it could not be made ("/music/new: Permission denied").
std::string MakeOutputFolder(const std::string& outputPath);

struct TProposedOutput {
  std::string Folder;  // absolute, with its trailing "/"; a bare name's is the current folder
  std::string Name;    // song.mp3 -> song_new.mp3
};
TProposedOutput ProposeOutput(const std::string& sourcePath);

// The volume slider's 0..100 as the encoder's volume (256 would be unity).
int CutVolume(int sliderPosition);

// The settings of the one MP3 output. Segment bounds in µs.
TOutputOptions CutOutputOptions(int64_t segStartTime, int64_t segEndTime, int sliderVolume, int sourceBitRate,
                                const TFileStreamInfo& sourceTags);

// Percent for the progress bar, or -1 when the bar is not to move.
int ProgressPercent(int64_t currentTime, int64_t totalDuration);

// One cut: the job's steps on an encoder, with the run-log lines it writes.
class TCutJob {
 public:
  struct TRequest {
    std::string Source;
    std::string Folder, Name;
    int64_t SegStart = 0, SegEnd = 0;  // seconds
    // µs past those seconds: the command line's fractions; the window leaves them 0.
    int64_t SegStartFraction = 0, SegEndFraction = 0;
    int Volume = 70;                   // slider 0..100
    int SourceBitRate = 0;             // bits per second, 0: the encoder's default
    TFileStreamInfo SourceTags;
    std::string StartLabel, EndLabel;  // as the window shows them
    // The user allowed a file of the output's name to be replaced. Without, a file that
    // appears there during the cut is kept and the cut fails.
    bool Replace = false;

    int64_t SegStartTime() const { return SegStart * 1000000 + SegStartFraction; }
    int64_t SegEndTime() const { return SegEnd * 1000000 + SegEndFraction; }
    void SetSegment(int64_t startTime, int64_t endTime) {
      SegStart = startTime / 1000000, SegStartFraction = startTime % 1000000;
      SegEnd = endTime / 1000000, SegEndFraction = endTime % 1000000;
    }
  };
  // error: false for the information level, true for the error level.
  using TRunLog = std::function<void(bool error, const std::string& text)>;

  TCutJob(TFFEncoder& encoder, TRunLog runLog, std::string libraryFolder);

  std::string OutputPath(const TRequest& r) const { return BuildOutputPath(r.Folder, r.Name); }
  // Logs the request, loads the libraries, sets up task 0 and starts it on a worker.
  // False with the text for the user when nothing was started (a refused name, a source
  // that cannot be opened, or "Failed to convert audio." with the reason on its next line).
  bool Start(const TRequest& request, std::string& userMessage);
  // The encoder's events, to be connected by the caller.
  void AudioHook(int64_t pts, uint8_t* samples, int size, int rate, int channels, int format) const;
  // Logs a task's end; true when the task finished and the output can be shown.
  bool Terminated(const TTerminateInfo& info) const;

 private:
  bool SetupCutTask(int taskIndex, const TRequest& request, std::string& userMessage);

  TFFEncoder& FEncoder;
  TRunLog FLog;
  std::string FLibraryFolder;
  TFadeShaper FShaper{0, 0};
};

// The four lines a cut starts with in the run log: the segment, the output, the volume.
void LogCutRequest(const TCutJob::TRequest& request, const TCutJob::TRunLog& log);

}  // namespace sw
