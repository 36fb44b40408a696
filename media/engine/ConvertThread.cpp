#include "ConvertThread.h"

#include "media/base/MainThread.h"

namespace sw {

TConvertThread::TConvertThread(std::function<void()> body, TThreadPriority priority) : FPriority(priority) {
  FThread = std::thread([this, body = std::move(body)] {
    FResumed.Wait();
    if (!FAbandoned) body();
  });
}

TConvertThread::~TConvertThread() {
  if (!FThread.joinable()) return;
  if (FThread.get_id() == std::this_thread::get_id()) {
    FThread.detach();
    return;
  }
  if (Suspended()) Abandon();
  FThread.join();
}

void TConvertThread::Abandon() {
  FAbandoned = true;
  FResumed.Set();
}

void WaitPumping(TManualResetEvent& event) {
  using namespace std::chrono_literals;
  while (!event.WaitFor(20ms))
    if (IsMainThread()) ProcessPendingMessages();
}

}  // namespace sw
