// Starting, running, stopping a task and delivering its end.
#include "FFmpeg.h"

namespace sw {

std::string TCustomFFmpeg::ErrorMessage() const {
  std::lock_guard<std::mutex> g(FStateLock);
  return FErrorMessage;
}

void TCustomFFmpeg::SetError(const std::string& message) {
  Log(llQuiet, "%s", message.c_str());
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FErrorMessage = message;
  }
  FErrorRaised = true;
}

TConvertThread* TCustomFFmpeg::Start(bool threaded, TThreadPriority priority) {
  if (FRunning || FTerminateDelivered) return nullptr;
  const char* refusal = OutputFileCount() == 0  ? "At least one output file must be specified"
                        : InputFileCount() == 0 ? "At least one input file must be specified"
                                                : nullptr;
  if (refusal) {
    CleanUp();
    SetError(refusal);
    DeliverTerminate();
    return nullptr;
  }
  FRunning = true;
  FStopRequested = false;
  FFinishedNormally = false;
  FTerminateDelivered = false;
  if (!threaded) {
    Run();
    return nullptr;
  }
  std::lock_guard<std::mutex> g(FStateLock);
  FWorker.reset();  // the previous run's thread, long finished
  FConversionFinished.Reset();
  FWorkerLive = true;
  FWorker = std::make_unique<TConvertThread>(
      [this] {
        Run();
        FConversionFinished.Set();
      },
      priority);
  return FWorker.get();
}

void TCustomFFmpeg::Run() {
  const auto guarded = [this](auto step) {
    try {
      step();
    } catch (const std::exception& e) {
      SetError(e.what());
    }
  };
  guarded([this] {
    FFinishedNormally = false;
    Transcode();
  });
  guarded([this] { CloseOpenedEncoders(); });
  guarded([this] { CloseOpenedDecoders(); });
  guarded([this] { CleanUp(); });
  guarded([this] { DeliverTerminate(); });
}

void TCustomFFmpeg::DeliverTerminate() {
  FRunning = false;
  FTerminateDelivered = true;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    FWorkerLive = false;
  }
  if (OnTerminate) OnTerminate(this);
}

void TCustomFFmpeg::Stop(bool wait) {
  if (FRunning) {
    RequestStop(wait);
    return;
  }
  if (FTerminateDelivered) return;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    if (!FTerminateFinished.IsSet()) return;  // a delivery is on its way already
    if (FTerminateThread.joinable()) FTerminateThread.join();
    FTerminateFinished.Reset();
    FTerminateThread = std::thread([this] {
      DeliverTerminate();
      FTerminateFinished.Set();
    });
  }
  if (wait) WaitPumping(FTerminateFinished);
}

void TCustomFFmpeg::RequestStop(bool wait) {
  FStopRequested = true;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    if (!FWorker || !FWorkerLive) return;
    if (FWorker->Suspended()) FWorker->Resume();
  }
  if (wait) WaitPumping(FConversionFinished);
}

void TCustomFFmpeg::WaitForThreads() {
  RequestStop(true);
  WaitPumping(FTerminateFinished);
  std::unique_ptr<TConvertThread> worker;
  std::thread terminate;
  {
    std::lock_guard<std::mutex> g(FStateLock);
    worker = std::move(FWorker);
    terminate = std::move(FTerminateThread);
  }
  worker.reset();
  if (terminate.joinable()) {
    if (terminate.get_id() == std::this_thread::get_id())
      terminate.detach();
    else
      terminate.join();
  }
}

}  // namespace sw
