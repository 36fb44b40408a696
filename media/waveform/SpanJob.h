#pragma once
// Reads spans of one file on a worker thread of its own, so that the thread that asks
// never waits for a decode. The newest request wins: requests made while a read runs
// are merged into one, read next.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "SpanRead.h"

namespace sw {

class TSpanJob {
 public:
  TSpanJob() = default;
  ~TSpanJob();
  TSpanJob(const TSpanJob&) = delete;
  TSpanJob& operator=(const TSpanJob&) = delete;

  // The file the next requests read; a read of the file before is stopped.
  void SetFile(const std::string& fileName);
  // Asks for the sound from `from` to `to` (µs).
  void Request(int64_t from, int64_t to);
  // Stops the worker and waits for it; no event is called once this returns.
  void Cancel();

  // Called on the worker thread with what a request gave (an empty span when nothing
  // could be read); must not wait for the thread that cancels.
  std::function<void(int64_t from, int64_t to, const TSpan& span)> OnSpan;

 private:
  void Run();

  std::thread FThread;
  std::mutex FLock;
  std::condition_variable FWake;
  // Under FLock:
  std::string FFile;
  int FFileRun = 0;  // counts SetFile calls; the worker opens the file again when it changed
  bool FPending = false, FQuit = false;
  int64_t FFrom = 0, FTo = 0;
  // Set to end the read in progress (a new file, or the end); read on the worker.
  std::atomic<bool> FStop{false};
  std::mutex FDeliveryLock;
  bool FDeliver = true;  // under FDeliveryLock
};

}  // namespace sw
