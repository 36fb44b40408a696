#include "KorLog.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace sw {

namespace fs = std::filesystem;

std::unique_ptr<TKorLog> RunLog;

TKorLog::TKorLog(std::string fileName) : FFileName(std::move(fileName)) {
  if (std::FILE* f = std::fopen(FFileName.c_str(), "ab")) {
    std::fclose(f);
  }
}

std::string TKorLog::FormatLine(const std::tm& when, bool error, const std::string& message) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &when);
  return std::string(stamp) + (error ? "  " : "          ") + message;
}

void TKorLog::Write(bool error, const std::string& message) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string line = FormatLine(local, error, message) + "\r\n";
  std::FILE* f = std::fopen(FFileName.c_str(), "ab");
  if (!f) {
    Failed(std::strerror(errno));
    return;
  }
  const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  const int writeError = errno;
  if (std::fclose(f) != 0 || !written) Failed(std::strerror(written ? errno : writeError));
}

void TKorLog::Failed(const std::string& reason) {
  if (FReported) return;
  FReported = true;
  if (OnWriteFailed) OnWriteFailed(FFileName + ": " + reason);
}

void RotateRunLogs(const std::string& folder) {
  std::error_code ec;
  const auto name = [&](int n) { return fs::path(folder) / ("log" + std::to_string(n) + ".txt"); };
  for (int n = 10; n >= 1; --n) {
    if (!fs::is_regular_file(name(n), ec)) continue;
    if (n == 10)
      fs::remove(name(n), ec);
    else
      fs::rename(name(n), name(n + 1), ec);
  }
}

namespace {

// The folder exists (made when missing) and files can be created in it.
bool UsableFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directory(folder, ec);
  return fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string ChooseLogFolder(const std::string& programFolder, const std::string& fallback) {
  const fs::path beside = fs::path(programFolder) / "Log";
  if (UsableFolder(beside)) return beside.string();
  std::error_code ec;
  if (!fallback.empty()) {
    const fs::path user = fs::path(fallback) / "Log";
    fs::create_directories(user, ec);
    if (UsableFolder(user)) return user.string();
  }
  return {};
}

bool OpenRunLog(const std::string& programFolder, const std::string& fallback) {
  const std::string folder = ChooseLogFolder(programFolder, fallback);
  if (folder.empty()) return false;
  RotateRunLogs(folder);
  RunLog = std::make_unique<TKorLog>((fs::path(folder) / "log1.txt").string());
  return true;
}

}  // namespace sw
