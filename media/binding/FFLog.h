#pragma once
// The log bridge: turns the media libraries' log output and the components' own messages
// into OnLog events, one per whole line, tagged with the reporting thread and a level.
// One logger at a time is the process-wide one; the libraries' lines go to it.
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "media/base/FFBaseComponent.h"

namespace sw {

enum TLogLevel : int { llQuiet, llPanic, llFatal, llError, llWarning, llInfo, llVerbose, llDebug };

// -8, 0, 8 ... 48: the libraries' AV_LOG_* values.
int LogLevelToLibrary(TLogLevel level);
// Any library level, also those between the named ones (47 is still llVerbose).
TLogLevel LibraryToLogLevel(int level);

// A level text that is neither a level name nor a number.
class EConvertError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Sender: the object that logged (the logger itself for library lines); AThreadID: the
// kernel id of the thread that logged, also when the event runs on the main thread.
using TLogEvent =
    std::function<void(void* Sender, uint32_t AThreadID, TLogLevel ALogLevel, const std::string& ALogMsg)>;

// The logger's OnLog: assigned on any thread and copied by the threads that log, both
// under the log lock. A replaced handler is destroyed after the lock is released.
class TLogHandler {
 public:
  TLogHandler() = default;
  TLogHandler(const TLogHandler&) = delete;
  TLogHandler& operator=(const TLogHandler&) = delete;
  TLogHandler& operator=(TLogEvent handler);
  TLogHandler& operator=(std::nullptr_t) { return *this = TLogEvent(); }
  TLogEvent Get() const;
  operator TLogEvent() const { return Get(); }
  explicit operator bool() const { return static_cast<bool>(Get()); }

 private:
  friend struct TLogAccess;
  TLogEvent FHandler;  // guarded by the log lock
};

class TFFLogger;

// Keeps the logger it points to alive: a logger's destruction waits until every TLoggerRef
// to it is gone (on the main thread it serves the main-thread calls meanwhile). It also
// offers the logger's calls, so GetLogger().Log(...) holds the logger for that call.
class TLoggerRef {
 public:
  TLoggerRef() = default;
  explicit TLoggerRef(std::shared_ptr<TFFLogger> logger) : FLogger(std::move(logger)) {}
  TFFLogger* operator->() const { return FLogger.get(); }
  TFFLogger& operator*() const { return *FLogger; }
  TFFLogger* get() const { return FLogger.get(); }
  explicit operator bool() const { return static_cast<bool>(FLogger); }
  bool operator==(const TLoggerRef& other) const { return FLogger == other.FLogger; }
  void reset() { FLogger.reset(); }

  void Log(void* sender, TLogLevel level, const std::string& text) const;
  template <class... TArgs>
  void LogFmt(void* sender, TLogLevel level, const char* format, TArgs... args) const;
  TLogLevel LogLevel() const;
  void SetLogLevel(TLogLevel v) const;
  void SetLogLevelText(const std::string& text) const;

 private:
  std::shared_ptr<TFFLogger> FLogger;
};

class TFFLogger : public TFFBaseComponent {
 public:
  // Becomes the process-wide logger; one that GetLogger created on demand is destroyed.
  TFFLogger();
  // Waits for the references that GetLogger handed out to this logger.
  ~TFFLogger() override;
  TFFLogger(const TFFLogger&) = delete;
  TFFLogger& operator=(const TFFLogger&) = delete;

  TLogLevel LogLevel() const { return FLogLevel; }
  // Also sets the libraries' level when avutil is bound.
  void SetLogLevel(TLogLevel v);
  // A level name ("quiet" ... "debug", any case) or a library level number; anything else
  // raises EConvertError.
  void SetLogLevelText(const std::string& text);
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool v) { FTriggerEventInMainThread = v; }

  // Routes the libraries' log output here and applies LogLevel. Needs avutil bound.
  void InstallCallback();
  void ApplyLevel();

  // The components' own messages: delivered when level <= LogLevel, and llVerbose at any
  // LogLevel but llQuiet.
  void Log(void* sender, TLogLevel level, const std::string& text);
  void LogFmt(void* sender, TLogLevel level, const char* format, ...) __attribute__((format(printf, 4, 5)));

  TLogHandler OnLog;

 private:
  struct TOnDemand {};
  struct TRelease;
  explicit TFFLogger(TOnDemand);
  friend TLoggerRef GetLogger();
  bool Passes(TLogLevel level) const;
  // The one reference that the process-wide state keeps; its end marks the release.
  TLoggerRef MakeRef();
  void WaitForRelease();

  std::atomic<TLogLevel> FLogLevel;
  std::atomic<bool> FTriggerEventInMainThread{true};
  std::shared_ptr<TRelease> FRelease;
};

// The process-wide logger, held for as long as the answer lives; when there is none, one
// is created on demand. Fully thread-safe.
TLoggerRef GetLogger();

inline void TLoggerRef::Log(void* sender, TLogLevel level, const std::string& text) const {
  FLogger->Log(sender, level, text);
}
template <class... TArgs>
void TLoggerRef::LogFmt(void* sender, TLogLevel level, const char* format, TArgs... args) const {
  FLogger->LogFmt(sender, level, format, args...);
}
inline TLogLevel TLoggerRef::LogLevel() const { return FLogger->LogLevel(); }
inline void TLoggerRef::SetLogLevel(TLogLevel v) const { FLogger->SetLogLevel(v); }
inline void TLoggerRef::SetLogLevelText(const std::string& text) const { FLogger->SetLogLevelText(text); }

// Called by the loader whenever avutil has been loaded.
void InstallLogBridgeCallback();

}  // namespace sw
