#pragma once
// The run log: one time-stamped line per call, in Log/log1.txt; the logs of the last ten
// runs stay on disk, the newest in log1.txt.
#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace sw {

class TKorLog {
 public:
  // Stores the name; creates the file empty when it does not exist.
  explicit TKorLog(std::string fileName);

  const std::string& FileName() const { return FFileName; }
  void WriteInfo(const std::string& message) { Write(false, message); }
  void WriteError(const std::string& message) { Write(true, message); }

  // Called once, at the first write that fails, with the reason; the run goes on and
  // later lines that cannot be written are dropped silently.
  std::function<void(const std::string& reason)> OnWriteFailed;

  // "YYYY-MM-DD HH:NN:SS", ten blanks (information) or two (error), the message; no line end.
  static std::string FormatLine(const std::tm& when, bool error, const std::string& message);

 private:
  void Write(bool error, const std::string& message);
  void Failed(const std::string& reason);

  std::string FFileName;
  bool FReported = false;
};

// For n from 10 down to 1: log10.txt is deleted, logn.txt becomes log(n+1).txt.
void RotateRunLogs(const std::string& folder);

// The "Log" folder beside the program when it can be written there, else the per-user
// fallback folder; created when missing. Empty when neither can be used.
std::string ChooseLogFolder(const std::string& programFolder, const std::string& fallback);

// The process-wide run log; writers skip it when it is not there.
extern std::unique_ptr<TKorLog> RunLog;

// The folder chosen, rotated, and RunLog opened on log1.txt. False when no folder could be used.
bool OpenRunLog(const std::string& programFolder, const std::string& fallback);

}  // namespace sw
