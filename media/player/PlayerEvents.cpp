#include "PlayerEvents.h"

#include "media/common/MainThread.h"

namespace sw {

using namespace std::chrono_literals;

void TPlayerEvents::Post(const TPlayerEvent& event) {
  {
    std::lock_guard<std::mutex> g(FEventLock);
    const int newest = (FWrite + RingSize - 1) % RingSize;
    if (FRead == FWrite || FRing[newest].Kind != event.Kind) {
      FWrite = (FWrite + 1) % RingSize;
      if (FWrite == FRead) FRead = (FRead + 1) % RingSize;
    }
    FRing[(FWrite + RingSize - 1) % RingSize] = event;
  }
  FReady.Set();
}

TPlayerEvent TPlayerEvents::Take() {
  std::lock_guard<std::mutex> g(FEventLock);
  TPlayerEvent event;
  if (FRead != FWrite) {
    event = FRing[FRead];
    FRead = (FRead + 1) % RingSize;
  }
  // Reset under the lock: a post cannot slip in between the test and the reset.
  if (FRead == FWrite) FReady.Reset();
  return event;
}

int TPlayerEvents::Pending() {
  std::lock_guard<std::mutex> g(FEventLock);
  return (FWrite - FRead + RingSize) % RingSize;
}

TEventThread::TEventThread(TCustomPlayer& player, TPlayerEvents& events, bool inMainThread)
    : FPlayer(player), FEvents(events), FInMainThread(inMainThread), FThread([this] { Run(); }) {}

TEventThread::~TEventThread() { Finish(); }

void TEventThread::Finish() {
  FTerminated = true;
  FEvents.Wake();
  while (!FDone.load()) {
    if (IsMainThread()) WaitForPendingMessages(5ms);
    else std::this_thread::sleep_for(1ms);
  }
  if (FThread.joinable()) FThread.join();
}

void TEventThread::Run() {
  while (!FTerminated.load()) {
    const TPlayerEvent event = FEvents.Take();
    if (event.Kind == ekEnd) break;
    if (event.Kind != ekNone) Deliver(event);
    if (event.Kind == ekState && event.State == psStop) break;
    while (!FTerminated.load() && !FEvents.WaitReady(100ms)) {
    }
  }
  FTerminated = true;
  FDone = true;
}

void TEventThread::Deliver(const TPlayerEvent& event) {
  const auto call = [this, event] {
    // The handlers are read where they run; a player being destroyed delivers nothing.
    if (!FPlayer.FDeliver.load()) return;
    if (event.Kind == ekPosition && FPlayer.OnPosition) FPlayer.OnPosition(&FPlayer, event.Position);
    if (event.Kind == ekState && FPlayer.OnState) FPlayer.OnState(&FPlayer, event.State);
  };
  try {
    if (FInMainThread) CallInMainThread(call);
    else call();
  } catch (...) {
    // A handler's failure is the host's; the player goes on delivering.
  }
}

}  // namespace sw
