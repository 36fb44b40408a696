#include "ReencodeWork.h"

#include <algorithm>

#include "CutJob.h"
#include "FileInfoText.h"
#include "VolumeScales.h"
#include "media/engine/ConvertThread.h"
#include "media/info/FFDecode.h"

namespace sw {

TOutputOptions CutOutputOptions(int64_t segStartTime, int64_t segEndTime, int volume, int sourceBitRate,
                                const TFileStreamInfo& tags) {
  TOutputOptions o;
  o.FileFormat = "mp3";
  o.AudioCodec = "libmp3lame";
  o.AudioHook = true;
  o.StartTime = segStartTime;
  o.RecordingTime = segEndTime - segStartTime;
  o.AudioVolume = CutVolume(volume);
  o.AudioBitrate = sourceBitRate;  // applied only when above 0
  o.LocalFile = true;               // a folder text never becomes a network address
  // The new file keeps the source's tags.
  o.StreamInfo.Title = tags.Title;
  o.StreamInfo.Author = tags.Author;
  o.StreamInfo.Album = tags.Album;
  o.StreamInfo.Genre = tags.Genre;
  o.StreamInfo.Comment = tags.Comment;
  o.StreamInfo.Copyright = tags.Copyright;
  o.StreamInfo.Year = tags.Year;
  o.StreamInfo.Track = tags.Track;
  return o;
}

namespace {

std::string CannotOpen(const std::string& source, const std::string& why) {
  return "The source file \"" + PrintableText(source) + "\" cannot be opened:\n" + PrintableText(why);
}

}  // namespace

TReencodeWork::TReencodeWork(TCutReports reports, std::string libraryFolder)
    : TCutWork(std::move(reports)), FLibraryFolder(std::move(libraryFolder)) {
  // The fades belong to every re-encoding cut: the job wires them, no caller can leave them out.
  FEncoder.OnAudioHook = [this](TCustomEncoder*, int, int64_t pts, uint8_t* samples, int size, int rate, int channels,
                                int format) {
    if (format == AV_SAMPLE_FMT_S16 && channels > 0)
      FFade.Apply(pts, reinterpret_cast<int16_t*>(samples), size / 2 / channels, rate, channels);
  };
  FEncoder.OnProgress = [this](TCustomEncoder*, PProgressInfo info) {
    const int percent = ProgressPercent(info->CurrentTime, info->TotalDuration);
    if (percent >= 0) FReports.Progress(percent);
  };
  FEncoder.OnTerminate = [this](TCustomEncoder*, TTerminateInfo info) {
    if (info.TaskIndex < 0) return;  // the notice after all tasks: the one task told already
    TCutEnd end;
    end.Outcome = info.Finished ? coFinished : info.Exception ? coFailed : coStopped;
    if (info.Exception) end.Reason = info.ExceptionMsg;
    FReports.End(end);
    FEnded.Set();
  };
}

TReencodeWork::~TReencodeWork() { FEncoder.Stop(true); }

bool TReencodeWork::OpenSource(const std::string& source, std::string& reason) {
  TFFDecoder reader;
  const auto load = [&](auto& component) {
    if (component.LibrariesReady() || component.LoadLibrariesFrom(FLibraryFolder)) return true;
    reason = component.ErrorText();
    FReports.Log(true, "Failed to load audio library, error message: " + PrintableText(reason));
    return false;
  };
  if (!load(FEncoder) || !load(reader)) return false;
  if (!reader.OpenMediaFile(source, "")) {
    reason = CannotOpen(source, reader.ErrorText());
    FReports.Log(true, reason);
    return false;
  }
  reader.FillStreamInfo(FSourceInfo);
  return true;
}

int64_t TReencodeWork::LengthTime() const { return std::max<int64_t>(0, FSourceInfo.Duration); }

bool TReencodeWork::Begin(const TCutRequest& r, const std::string& output, bool replace, std::string& reason) {
  FEncoder.ClearTasks();
  const TInputOptions input;
  FEncoder.AddTask(r.Source, &input);
  if (FEncoder.TaskCount() == 0) {
    // Read a moment ago: it has been moved, deleted or spoilt since.
    FReports.Log(false, "None task. task count:0 <=0");
    reason = CannotOpen(r.Source, FEncoder.ErrorText());
    FReports.Log(true, reason);
    return false;
  }
  TOutputOptions options =
      CutOutputOptions(r.StartTime, r.EndTime, r.Volume, FSourceInfo.BitRate, r.Tags ? *r.Tags : FSourceInfo);
  options.StreamInfo.TrackTotal = r.TrackTotal;
  if (r.KeepLevel) options.AudioVolume = 256;
  options.ReplaceExisting = replace;
  FFade = TFadeShaper(r.StartTime, r.EndTime, r.FadeTime);
  if (!FEncoder.SetOutputFile(0, output, &options)) {
    reason = "Failed to convert audio.\n" + PrintableText(FEncoder.ErrorText());
    FEncoder.RemoveTask(0);
    FReports.Log(true, reason);
    return false;
  }
  FEncoder.StartTask(1);
  FStarted = true;
  return true;
}

void TReencodeWork::Stop(bool wait) {
  FEncoder.Stop(wait);
  // The end is told on a thread of the encoder's own; the reports go to this thread meanwhile.
  if (wait && FStarted) WaitPumping(FEnded);
}

}  // namespace sw
