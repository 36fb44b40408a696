#include "PlayerEvents.h"

#include "media/base/MainThread.h"
#include "media/binding/SDLStubs.h"

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

TEventThread::TEventThread(TCustomPlayer& player, std::shared_ptr<TPlayerEvents> events, bool inMainThread,
                           unsigned run)
    : FShared(std::make_shared<TShared>()) {
  FShared->Player = &player;
  FShared->Events = std::move(events);
  FShared->InMainThread = inMainThread;
  FShared->Run = run;
  FThread = std::thread([shared = FShared] { Run(shared); });
}

TEventThread::~TEventThread() { Finish(); }

void TEventThread::Finish() {
  if (!FThread.joinable()) return;
  FShared->Terminated = true;
  FShared->Events->Wake();
  // Waiting here would wait for the handler that called us.
  if (FShared->Delivering.load() == std::this_thread::get_id()) {
    FShared->Detached = true;
    FThread.detach();
    return;
  }
  while (!FShared->Done.load()) {
    if (IsMainThread()) WaitForPendingMessages(5ms);
    else std::this_thread::sleep_for(1ms);
  }
  FThread.join();
}

void TEventThread::Run(const std::shared_ptr<TShared>& shared) {
  TShared& s = *shared;
  while (!s.Terminated.load()) {
    const TPlayerEvent event = s.Events->Take();
    // An entry of an earlier file (its psStop, posted while its handler ran) is delivered
    // but does not end the thread of this one.
    const bool own = event.Run == s.Run;
    if (event.Kind == ekEnd && own) break;
    if (event.Kind == ekPosition || event.Kind == ekState) Deliver(s, event);
    if (event.Kind == ekState && event.State == psStop && own) break;
    while (!s.Terminated.load() && !s.Events->WaitReady(100ms)) {
    }
  }
  // A handler may have opened a file from here: SDL keeps its error text per thread, and
  // frees it only for threads of its own.
  if (ff::SDL_TLSCleanup) ff::SDL_TLSCleanup();
  s.Terminated = true;
  s.Done = true;
}

void TEventThread::Deliver(TShared& s, const TPlayerEvent& event) {
  const auto call = [&s, event] {
    // The handlers are read where they run; a player being destroyed delivers nothing.
    if (s.Detached.load() || !s.Player->FDeliver.load()) return;
    TCustomPlayer* player = s.Player;
    // Copies: a handler may destroy the player, and with it the handlers.
    const TPositionEvent onPosition = event.Kind == ekPosition ? player->OnPosition : nullptr;
    const TPlayStateEvent onState = event.Kind == ekState ? player->OnState : nullptr;
    s.Delivering = std::this_thread::get_id();
    try {
      if (onPosition) onPosition(player, event.Position);
      if (onState) onState(player, event.State);
    } catch (...) {
      s.Delivering = std::thread::id();
      throw;
    }
    s.Delivering = std::thread::id();
  };
  try {
    if (s.InMainThread) CallInMainThread(call);
    else call();
  } catch (...) {
    // A handler's failure is the host's; the player goes on delivering.
  }
}

}  // namespace sw
