#include "OutputPreparation.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "FileInfoText.h"
#include "media/base/MyUtils.h"
#include "media/base/SafeOutput.h"

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
  // The cut writes an MP3 whatever it reads: a FLAC's proposal ends in ".mp3" too.
  std::string lower = ext;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return {WideIncludeTrailingBackslash(folder),
          name.substr(0, name.size() - ext.size()) + "_new" + (lower == ".mp3" || ext.empty() ? ext : ".mp3")};
}

TPreparedOutput PrepareOutput(const TCutRequest& request, const TAskReplace& askReplace) {
  TPreparedOutput out;
  out.Path = BuildOutputPath(request.Folder, request.Name);
  if (SameRegularFile(request.Source, out.Path)) {
    out.Refusal = "The output file \"" + PrintableText(out.Path) +
                  "\" is the source itself: a cut may not overwrite its source.";
    return out;
  }
  if (WideFileExists(out.Path)) {
    out.Replace = askReplace && askReplace(out.Path);
    out.Declined = !out.Replace;
    if (out.Declined) return out;
  }
  // The reason follows the designed text of an output that cannot be set up.
  const std::string folderFailure = MakeOutputFolder(out.Path);
  if (!folderFailure.empty()) out.Refusal = "Failed to convert audio.\n" + PrintableText(folderFailure);
  return out;
}

}  // namespace sw
