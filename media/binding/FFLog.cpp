#include "FFLog.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "AVUtilStubs.h"
#include "CRTStubs.h"
#include "media/base/MainThread.h"

// Locking: the log lock guards the line assembly, the repeat state and the queue of
// events for the main thread, and is never held while a handler runs or while waiting
// for the main thread. Holding it there would deadlock as soon as the main thread logs
// while a worker waits in CallInMainThread (and a handler that logs would lock itself
// out). Events meant for the main thread go into one queue under the lock and only the
// main thread takes them out, so they arrive in the order they were made; the other
// events run on their own thread right after the lock is released, in that thread's order.

namespace sw {

// The handler as seen under the log lock.
struct TLogAccess {
  static const TLogEvent& Handler(const TFFLogger* logger) { return logger->OnLog.FHandler; }
};

struct TFFLogger::TRelease {
  std::mutex Lock;
  std::condition_variable Done;
  bool Released = false;
  bool Referenced = false;  // a reference was made: the destructor has one to wait for
};

namespace {

constexpr size_t LogBufferSize = 2048;  // library text, prefix included

// The unfinished line of each thread. Keyed by a per-thread serial that is never reused:
// a kernel thread id comes back for a later thread, which would inherit a dead thread's
// fragment. A record goes as soon as its line is complete, so the list stays small.
class TLogList {
 public:
  std::string& Pending(uint64_t thread) { return FPending[thread]; }
  void Release(uint64_t thread) {
    auto it = FPending.find(thread);
    if (it != FPending.end() && it->second.empty()) FPending.erase(it);
  }

 private:
  std::unordered_map<uint64_t, std::string> FPending;
};

struct TQueuedEvent {
  TFFLogger* Target;
  void* Sender;
  uint32_t ThreadID;
  TLogLevel Level;
  std::string Text;
};

// What one call made under the lock, delivered after it is released.
struct TBatch {
  std::vector<std::pair<TLogEvent, TQueuedEvent>> Direct;
  bool ToMainThread = false;
};

struct TLogState {
  std::mutex Lock;  // the log lock; guards everything below but LibraryLevel
  std::atomic<int> LibraryLevel{AV_LOG_INFO};
  TFFLogger* Singleton = nullptr;
  TLoggerRef SingletonRef;        // the reference GetLogger copies
  TFFLogger* OnDemand = nullptr;  // owned: made by GetLogger
  std::string LastMessage;
  int RepeatCount = 0;
  TLogList List;
  std::deque<TQueuedEvent> MainQueue;
  bool Draining = false;  // the main thread is delivering the queue
};

// Never destroyed: library threads may still log while the process exits.
TLogState& State() {
  static TLogState* state = new TLogState;
  return *state;
}

uint32_t ThreadID() { return static_cast<uint32_t>(::gettid()); }

uint64_t ThreadSerial() {
  static std::atomic<uint64_t> next{1};
  thread_local const uint64_t serial = next++;
  return serial;
}

// The libraries' C runtime when it is bound; avutil may be loaded without it, and the
// components log before anything is loaded.
int FormatV(char* buffer, size_t size, const char* format, va_list args) {
  auto formatter = ff::vsnprintf ? ff::vsnprintf : &std::vsnprintf;
  return formatter(buffer, size, format, args);
}

int Format(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int Format(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = FormatV(buffer, size, format, args);
  va_end(args);
  return n;
}

// Length written, cut to what the buffer holds.
size_t Written(int n, size_t room) { return n < 0 ? 0 : std::min(static_cast<size_t>(n), room - 1); }

const char* ItemName(void* context) {
  const AVClass* cls = *static_cast<const AVClass* const*>(context);
  const char* name = cls->item_name ? cls->item_name(context) : cls->class_name;
  return name ? name : "";
}

// "[parent @ address] [item @ address]" for a context whose first member is its class.
size_t WriteContextPrefix(char* buffer, size_t size, void* context) {
  const AVClass* cls = *static_cast<const AVClass* const*>(context);
  if (!cls) return 0;
  size_t len = 0;
  if (cls->version > 0x320F02 && cls->parent_log_context_offset) {
    void* parent = *reinterpret_cast<void* const*>(static_cast<const uint8_t*>(context) +
                                                   cls->parent_log_context_offset);
    if (parent && *static_cast<const AVClass* const*>(parent))
      len = Written(Format(buffer, size, "[%s @ %p] ", ItemName(parent), parent), size);
  }
  return len + Written(Format(buffer + len, size - len, "[%s @ %p]", ItemName(context), context), size - len);
}

// Under the log lock. Nothing is made for a logger without a handler, so a worker never
// waits for a main thread that has nobody to call.
void Emit(TBatch& batch, TFFLogger* target, void* sender, uint32_t thread, TLogLevel level, std::string text) {
  if (!target || !TLogAccess::Handler(target)) return;
  TQueuedEvent event{target, sender, thread, level, std::move(text)};
  if (target->TriggerEventInMainThread()) {
    State().MainQueue.push_back(std::move(event));
    batch.ToMainThread = true;
  } else {
    batch.Direct.emplace_back(TLogAccess::Handler(target), std::move(event));
  }
}

// Main thread only. A drain started by a handler on this thread leaves the rest to the
// one already running, which keeps the order.
void DrainMainQueue() {
  TLogState& s = State();
  std::unique_lock<std::mutex> lock(s.Lock);
  if (s.Draining) return;
  s.Draining = true;
  try {
    while (!s.MainQueue.empty()) {
      TQueuedEvent event = std::move(s.MainQueue.front());
      s.MainQueue.pop_front();
      // The target is alive: its destructor purges the queue.
      TLogEvent handler = TLogAccess::Handler(event.Target);
      lock.unlock();
      if (handler) handler(event.Sender, event.ThreadID, event.Level, event.Text);
      lock.lock();
    }
  } catch (...) {
    if (!lock.owns_lock()) lock.lock();
    s.Draining = false;
    throw;
  }
  s.Draining = false;
}

void Deliver(TBatch& batch) {
  for (auto& [handler, event] : batch.Direct) handler(event.Sender, event.ThreadID, event.Level, event.Text);
  if (batch.ToMainThread) CallInMainThread(DrainMainQueue);
}

void LibraryCallback(void* context, int level, const char* format, va_list args) {
  TLogState& s = State();
  if (level > s.LibraryLevel.load(std::memory_order_relaxed)) return;
  // Nothing may unwind into the library's C frames.
  try {
    TBatch batch;
    {
      std::lock_guard<std::mutex> lock(s.Lock);
      const uint64_t serial = ThreadSerial();
      std::string& pending = s.List.Pending(serial);
      const bool lineStart = pending.empty();

      char buffer[LogBufferSize];
      buffer[0] = '\0';
      size_t len = context && lineStart ? WriteContextPrefix(buffer, sizeof buffer, context) : 0;
      const int n = FormatV(buffer + len, sizeof buffer - len, format, args);
      const bool cut = n >= 0 && len + static_cast<size_t>(n) >= sizeof buffer;
      len += Written(n, sizeof buffer - len);
      // A cut message still ends its line, or the next message would run on inside it.
      if (cut) buffer[len - 1] = '\n';
      std::string text(buffer, len);

      // Only a whole line counts as a repeat: a fragment that ends another line of this
      // thread must not be swallowed because another thread just logged the same text.
      if (lineStart && !text.empty() && text.back() == '\n' && text == s.LastMessage) {
        ++s.RepeatCount;
        s.List.Release(serial);
        return;
      }
      TFFLogger* logger = s.Singleton;
      const TLogLevel logLevel = LibraryToLogLevel(level);
      const uint32_t thread = ThreadID();
      if (s.RepeatCount > 0) {
        char notice[64];
        Format(notice, sizeof notice, "    Last message repeated %d times", s.RepeatCount);
        Emit(batch, logger, logger, thread, logLevel, notice);
        s.RepeatCount = 0;
      }
      s.LastMessage = text;
      pending += text;
      for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
        Emit(batch, logger, logger, thread, logLevel, pending.substr(0, end));
        pending.erase(0, end + 1);
      }
      s.List.Release(serial);
    }
    Deliver(batch);
  } catch (...) {
  }
}

}  // namespace

int LogLevelToLibrary(TLogLevel level) { return static_cast<int>(level) * 8 - 8; }

TLogLevel LibraryToLogLevel(int level) {
  if (level < 0) level += 7;
  if (level < -8) return llQuiet;
  if (level < 48) return static_cast<TLogLevel>((level >> 3) + 1);
  return llDebug;
}

TLogHandler& TLogHandler::operator=(TLogEvent handler) {
  {
    std::lock_guard<std::mutex> lock(State().Lock);
    std::swap(FHandler, handler);
  }
  return *this;  // the old handler goes now, outside the lock: its captures may log
}

TLogEvent TLogHandler::Get() const {
  std::lock_guard<std::mutex> lock(State().Lock);
  return FHandler;
}

TFFLogger::TFFLogger(TOnDemand)
    : FLogLevel(LibraryToLogLevel(State().LibraryLevel)), FRelease(std::make_shared<TRelease>()) {}

TFFLogger::TFFLogger() : TFFLogger(TOnDemand{}) {
  TLogState& s = State();
  TFFLogger* replaced = nullptr;
  TLoggerRef dropped;
  {
    std::lock_guard<std::mutex> lock(s.Lock);
    replaced = std::exchange(s.OnDemand, nullptr);
    dropped = std::exchange(s.SingletonRef, MakeRef());
    s.Singleton = this;
  }
  dropped.reset();  // outside the lock: the last reference wakes a waiting destructor
  delete replaced;
}

TFFLogger::~TFFLogger() {
  TLogState& s = State();
  TLoggerRef mine;
  {
    std::lock_guard<std::mutex> lock(s.Lock);
    if (s.Singleton == this) {
      s.Singleton = nullptr;
      mine = std::move(s.SingletonRef);
    }
    if (s.OnDemand == this) s.OnDemand = nullptr;
  }
  mine.reset();
  WaitForRelease();
  std::lock_guard<std::mutex> lock(s.Lock);
  std::erase_if(s.MainQueue, [this](const TQueuedEvent& e) { return e.Target == this; });
}

TLoggerRef TFFLogger::MakeRef() {
  {
    std::lock_guard<std::mutex> g(FRelease->Lock);
    FRelease->Referenced = true;
  }
  return TLoggerRef(std::shared_ptr<TFFLogger>(this, [release = FRelease](TFFLogger*) {
    {
      std::lock_guard<std::mutex> g(release->Lock);
      release->Released = true;
    }
    release->Done.notify_all();
  }));
}

void TFFLogger::WaitForRelease() {
  std::unique_lock<std::mutex> g(FRelease->Lock);
  if (!FRelease->Referenced) return;
  while (!FRelease->Released) {
    if (!IsMainThread()) {
      FRelease->Done.wait(g);
      continue;
    }
    // A holder may be waiting for the main thread to deliver its event.
    g.unlock();
    ProcessPendingMessages();
    g.lock();
    FRelease->Done.wait_for(g, std::chrono::milliseconds(2));
  }
}

TLoggerRef GetLogger() {
  TLogState& s = State();
  std::lock_guard<std::mutex> lock(s.Lock);
  if (!s.SingletonRef) {
    s.Singleton = s.OnDemand = new TFFLogger(TFFLogger::TOnDemand{});
    s.SingletonRef = s.Singleton->MakeRef();
  }
  return s.SingletonRef;
}

void InstallLogBridgeCallback() { GetLogger()->InstallCallback(); }

void TFFLogger::SetLogLevel(TLogLevel v) {
  if (FLogLevel.exchange(v) != v) ApplyLevel();
}

void TFFLogger::SetLogLevelText(const std::string& text) {
  static const char* const names[] = {"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug"};
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (int i = llQuiet; i <= llDebug; ++i)
    if (lower == names[i]) return SetLogLevel(static_cast<TLogLevel>(i));
  int level = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, level);
  if (text.empty() || error != std::errc() || stop != end)
    throw EConvertError("'" + text + "' is not a valid integer value");
  SetLogLevel(LibraryToLogLevel(level));
}

void TFFLogger::InstallCallback() {
  if (ff::av_log_set_callback) ff::av_log_set_callback(LibraryCallback);
  ApplyLevel();
}

void TFFLogger::ApplyLevel() {
  if (!ff::av_log_set_level) return;
  const int level = LogLevelToLibrary(LogLevel());
  State().LibraryLevel = level;
  ff::av_log_set_level(level);
}

bool TFFLogger::Passes(TLogLevel level) const {
  const TLogLevel limit = LogLevel();
  return level <= limit || (level == llVerbose && limit != llQuiet);
}

void TFFLogger::Log(void* sender, TLogLevel level, const std::string& text) {
  if (!Passes(level)) return;
  TBatch batch;
  {
    std::lock_guard<std::mutex> lock(State().Lock);
    Emit(batch, this, sender, ThreadID(), level, text);
  }
  Deliver(batch);
}

void TFFLogger::LogFmt(void* sender, TLogLevel level, const char* format, ...) {
  if (!Passes(level)) return;  // spare the formatting of what is dropped anyway
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = FormatV(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) FormatV(text.data(), text.size() + 1, format, again);
  va_end(again);
  Log(sender, level, text);
}

}  // namespace sw
