#pragma once
// An event that stays signalled until reset, like the platform events the threads of the
// engine and the encoder wait on.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace sw {

class TManualResetEvent {
 public:
  explicit TManualResetEvent(bool signalled) : FSignalled(signalled) {}

  // Notifies while holding the lock: a waiter that wakes may destroy the event at once.
  void Set() {
    std::lock_guard<std::mutex> g(FLock);
    FSignalled = true;
    FChanged.notify_all();
  }
  void Reset() {
    std::lock_guard<std::mutex> g(FLock);
    FSignalled = false;
  }
  bool IsSet() {
    std::lock_guard<std::mutex> g(FLock);
    return FSignalled;
  }
  void Wait() {
    std::unique_lock<std::mutex> g(FLock);
    FChanged.wait(g, [this] { return FSignalled; });
  }
  // True when signalled within the time.
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> g(FLock);
    return FChanged.wait_for(g, timeout, [this] { return FSignalled; });
  }

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FSignalled;
};

}  // namespace sw
