#pragma once
// Records every message of the log bridge on the logging thread, at every level.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "media/binding/FFLog.h"

class TLogCapture {
 public:
  TLogCapture() {
    Logger.SetTriggerEventInMainThread(false);
    Logger.SetLogLevel(sw::llDebug);
    Logger.OnLog = [this](void*, uint32_t, sw::TLogLevel level, const std::string& text) {
      std::lock_guard<std::mutex> g(Lock);
      Lines.emplace_back(level, text);
    };
  }
  ~TLogCapture() { Logger.OnLog = nullptr; }

  bool Logged(sw::TLogLevel level, const std::string& text) {
    std::lock_guard<std::mutex> g(Lock);
    for (const auto& [l, t] : Lines)
      if (l == level && t == text) return true;
    return false;
  }
  // A line that starts with head and ends with tail.
  bool LoggedLike(const std::string& head, const std::string& tail) {
    std::lock_guard<std::mutex> g(Lock);
    for (const auto& line : Lines) {
      const std::string& t = line.second;
      if (t.rfind(head, 0) == 0 && t.size() >= tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0)
        return true;
    }
    return false;
  }
  // How many lines at that level read text.
  size_t Count(sw::TLogLevel level, const std::string& text) {
    std::lock_guard<std::mutex> g(Lock);
    size_t n = 0;
    for (const auto& [l, t] : Lines) n += l == level && t == text;
    return n;
  }
  // Index of the first line that contains part, -1 when none does.
  long Find(const std::string& part) {
    std::lock_guard<std::mutex> g(Lock);
    for (size_t i = 0; i < Lines.size(); ++i)
      if (Lines[i].second.find(part) != std::string::npos) return static_cast<long>(i);
    return -1;
  }
  // The text of line index (from Find).
  std::string Line(long index) {
    std::lock_guard<std::mutex> g(Lock);
    return index >= 0 && index < static_cast<long>(Lines.size()) ? Lines[static_cast<size_t>(index)].second : "";
  }
  size_t LoggedAt(sw::TLogLevel level) {
    std::lock_guard<std::mutex> g(Lock);
    size_t n = 0;
    for (const auto& line : Lines) n += line.first == level;
    return n;
  }
  std::vector<std::pair<sw::TLogLevel, std::string>> All() {
    std::lock_guard<std::mutex> g(Lock);
    return Lines;
  }
  void Clear() {
    std::lock_guard<std::mutex> g(Lock);
    Lines.clear();
  }

 private:
  sw::TFFLogger Logger;
  std::mutex Lock;
  std::vector<std::pair<sw::TLogLevel, std::string>> Lines;
};
