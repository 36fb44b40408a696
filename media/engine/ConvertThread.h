#pragma once
// The worker thread that runs one conversion task in the background. It is created
// waiting and starts the run when resumed.
#include <atomic>
#include <functional>
#include <thread>

#include "media/base/ManualResetEvent.h"

namespace sw {

// Kept and handed on; the platform's threads here all run at the normal priority.
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TConvertThread {
 public:
  TConvertThread(std::function<void()> body, TThreadPriority priority);
  ~TConvertThread();  // joins (or lets go when called from the thread itself)
  TConvertThread(const TConvertThread&) = delete;
  TConvertThread& operator=(const TConvertThread&) = delete;

  void Resume() { FResumed.Set(); }
  // A thread that is never resumed ends without running its body.
  void Abandon();
  TThreadPriority Priority() const { return FPriority; }
  bool Suspended() { return !FResumed.IsSet(); }

 private:
  TManualResetEvent FResumed{false};
  std::atomic<bool> FAbandoned{false};
  TThreadPriority FPriority;
  std::thread FThread;
};

// Waits for the event; on the main thread the calls that workers queued for it keep
// running meanwhile, so a worker blocked in such a call cannot block the wait.
void WaitPumping(TManualResetEvent& event);

}  // namespace sw
