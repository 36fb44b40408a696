#include "SpanJob.h"

namespace sw {

TSpanJob::~TSpanJob() { Cancel(); }

void TSpanJob::SetFile(const std::string& fileName) {
  std::lock_guard<std::mutex> lock(FLock);
  FFile = fileName;
  ++FFileRun;
  FPending = false;
  FStop = true;  // the worker clears it before its next read
  // The file is opened (its frame index scanned) now, so the first span needs only its read.
  if (!FQuit && !FThread.joinable()) FThread = std::thread(&TSpanJob::Run, this);
  FWake.notify_one();
}

void TSpanJob::Request(int64_t from, int64_t to) {
  {
    std::lock_guard<std::mutex> lock(FLock);
    if (FQuit) return;
    FFrom = from, FTo = to;
    FPending = true;
    if (!FThread.joinable()) FThread = std::thread(&TSpanJob::Run, this);
  }
  FWake.notify_one();
}

void TSpanJob::Cancel() {
  {
    std::lock_guard<std::mutex> lock(FLock);
    FQuit = true;
    FStop = true;
  }
  FWake.notify_one();
  {
    // Waits for a delivery in progress; none starts after this.
    std::lock_guard<std::mutex> lock(FDeliveryLock);
    FDeliver = false;
  }
  if (FThread.joinable()) FThread.join();
}

void TSpanJob::Run() {
  TSpanReader reader;
  int openRun = -1;
  bool opened = false;
  for (;;) {
    int64_t from, to;
    std::string file;
    int run;
    {
      std::unique_lock<std::mutex> lock(FLock);
      FWake.wait(lock, [&] { return FQuit || FPending || FFileRun != openRun; });
      if (FQuit) return;
      FStop = false;
      from = FFrom, to = FTo, file = FFile, run = FFileRun;
    }
    if (run != openRun) {
      opened = reader.Open(file, FStop);
      openRun = opened || !FStop ? run : -1;  // an open that was stopped is tried again
    }
    {
      std::lock_guard<std::mutex> lock(FLock);
      if (!FPending || FFileRun != run) continue;
      FPending = false;
      from = FFrom, to = FTo;
    }
    TSpan span;
    if (!opened || reader.Read(from, to, FStop, span) == erStopped) span = TSpan{};
    if (FStop) continue;  // a new file or the end: this span is no one's
    std::lock_guard<std::mutex> lock(FDeliveryLock);
    if (FDeliver && OnSpan) OnSpan(from, to, span);
  }
}

}  // namespace sw
