#include "CutJob.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "FileInfoText.h"
#include "media/base/MyUtils.h"

namespace sw {

std::string BuildOutputPath(const std::string& folder, const std::string& name) {
  std::string path = (folder.empty() ? std::string() : WideIncludeTrailingBackslash(folder)) + name;
  std::string ext = WideExtractFileExt(path);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext != ".mp3") path += ".mp3";
  return path;
}

std::string OutputNameRefusal(const std::string& name) {
  const bool control = std::any_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
  });
  if (name.empty() || name == "." || name == ".." || control || name.find('/') != std::string::npos)
    return "The file name \"" + PrintableText(name) +
           "\" cannot be used: a name must not be empty, \".\" or \"..\", nor hold \"/\" or control characters.";
  return {};
}

std::string OutputRefusal(const std::string& folder, const std::string& name) {
  const auto scheme = folder.find("://");
  const bool url = scheme != std::string::npos && scheme > 0 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                   std::all_of(folder.begin(), folder.begin() + static_cast<std::ptrdiff_t>(scheme), [](char c) {
                     return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
                   });
  if (url)
    return "The folder \"" + PrintableText(folder) +
           "\" is not a local folder: the new file can only be written to a folder on this computer.";
  return OutputNameRefusal(name);
}

std::string MakeOutputFolder(const std::string& outputPath) {
  const std::string folder = WideExtractFilePath(outputPath);
  if (folder.empty() || WideDirectoryExists(folder)) return {};
  std::error_code ec;
  std::filesystem::create_directory(folder, ec);
  // A file of that name, a missing parent: the output's own open says so.
  if (!ec || ec == std::errc::file_exists || ec == std::errc::no_such_file_or_directory) return {};
  return (folder.size() > 1 ? folder.substr(0, folder.size() - 1) : folder) + ": " + ec.message();
}

TProposedOutput ProposeOutput(const std::string& sourcePath) {
  const std::string name = WideExtractFileName(sourcePath);
  const std::string ext = WideExtractFileExt(name);
  std::error_code ec;
  std::string folder = std::filesystem::absolute(sourcePath, ec).parent_path().string();
  if (ec) folder = WideExtractFilePath(sourcePath);
  return {WideIncludeTrailingBackslash(folder), name.substr(0, name.size() - ext.size()) + "_new" + ext};
}

int CutVolume(int sliderPosition) { return sliderPosition * 255 / 100; }

TOutputOptions CutOutputOptions(int64_t segStartTime, int64_t segEndTime, int sliderVolume, int sourceBitRate,
                                const TFileStreamInfo& tags) {
  TOutputOptions o;
  o.FileFormat = "mp3";
  o.AudioCodec = "libmp3lame";
  o.AudioHook = true;
  o.StartTime = segStartTime;
  o.RecordingTime = segEndTime - segStartTime;
  o.AudioVolume = CutVolume(sliderVolume);
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

int ProgressPercent(int64_t currentTime, int64_t totalDuration) {
  if (totalDuration <= 0) return -1;
  return static_cast<int>(std::min<int64_t>(currentTime * 100 / totalDuration, 100));
}

TCutJob::TCutJob(TFFEncoder& encoder, TRunLog runLog, std::string libraryFolder)
    : FEncoder(encoder), FLog(std::move(runLog)), FLibraryFolder(std::move(libraryFolder)) {}

void LogCutRequest(const TCutJob::TRequest& r, const TCutJob::TRunLog& log) {
  log(false, "Begin Time:" + r.StartLabel);
  log(false, "End Time:" + r.EndLabel);
  log(false, "Output:" + PrintableText(BuildOutputPath(r.Folder, r.Name)));
  log(false, "Volume:" + std::to_string(CutVolume(r.Volume)));
}

bool TCutJob::Start(const TRequest& r, std::string& userMessage) {
  userMessage = OutputRefusal(r.Folder, r.Name);
  if (!userMessage.empty()) {
    FLog(true, userMessage);
    return false;
  }
  LogCutRequest(r, FLog);
  if (!FEncoder.LibrariesReady() && !FEncoder.LoadLibrariesFrom(FLibraryFolder)) {
    userMessage = FEncoder.ErrorText();
    FLog(true, "Failed to load audio library, error message: " + PrintableText(userMessage));
    return false;
  }
  FEncoder.ClearTasks();
  const TInputOptions input;
  FEncoder.AddTask(r.Source, &input);
  if (!SetupCutTask(0, r, userMessage)) return false;
  FEncoder.StartTask(1);
  return true;
}

bool TCutJob::SetupCutTask(int taskIndex, const TRequest& r, std::string& userMessage) {
  const std::string path = OutputPath(r);
  TOutputOptions options = CutOutputOptions(r.SegStartTime(), r.SegEndTime(), r.Volume, r.SourceBitRate, r.SourceTags);
  options.ReplaceExisting = r.Replace;
  FShaper = TFadeShaper(r.SegStartTime(), r.SegEndTime());  // the markers may move while the job runs
  const std::string folderFailure = MakeOutputFolder(path);
  if (taskIndex >= FEncoder.TaskCount()) {
    FLog(false, "None task. task count:" + std::to_string(FEncoder.TaskCount()) + " <=" + std::to_string(taskIndex));
    // The source was read when it was chosen: it has been moved, deleted or spoilt since.
    userMessage = "The source file \"" + PrintableText(r.Source) + "\" cannot be opened:\n" +
                  PrintableText(FEncoder.ErrorText());
    return false;
  }
  if (!FEncoder.SetOutputFile(taskIndex, path, &options)) {
    // The reason follows the designed text: a read-only or missing folder, a long name;
    // a folder that could not be made tells why rather than that it is missing.
    const std::string reason = PrintableText(folderFailure.empty() ? FEncoder.ErrorText() : folderFailure);
    FEncoder.RemoveTask(taskIndex);
    FLog(true, "Failed to convert audio.");
    FLog(true, reason);
    userMessage = "Failed to convert audio.\n" + reason;
    return false;
  }
  return true;
}

void TCutJob::AudioHook(int64_t pts, uint8_t* samples, int size, int rate, int channels, int format) const {
  if (format == AV_SAMPLE_FMT_S16 && channels > 0)
    FShaper.Apply(pts, reinterpret_cast<int16_t*>(samples), size / 2 / channels, rate, channels);
}

bool TCutJob::Terminated(const TTerminateInfo& info) const {
  if (info.TaskIndex < 0) return false;
  if (info.Finished) {
    FLog(false, "Completed to cut mp3 file.");
    return true;
  }
  if (info.Exception) {
    FLog(false, "Failed to cut file.");
    FLog(false, "Error Message:");
    FLog(false, PrintableText(info.ExceptionMsg));
  }
  return false;
}

}  // namespace sw
