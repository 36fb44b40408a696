#pragma once
// The pending events of a player: a small ring that collapses repeats, and the thread
// that delivers them to the host's handlers.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "FFPlay.h"
#include "media/base/ManualResetEvent.h"

namespace sw {

enum TPlayerEventKind : int { ekNone = 0, ekPosition = 1, ekState = 2, ekEnd = 3 };

struct TPlayerEvent {
  TPlayerEventKind Kind = ekNone;
  TPlayState State = psPlay;
  int64_t Position = 0;  // microseconds
  unsigned Run = 0;      // the file it belongs to (the player's count of opens)
};

// Fully thread-safe.
class TPlayerEvents {
 public:
  static constexpr int RingSize = 10;  // at most RingSize - 1 entries are pending

  // An entry of the same kind as the newest pending one replaces it, so a slow handler
  // sees the latest position rather than a backlog; a full ring drops its oldest entry.
  void Post(const TPlayerEvent& event);
  TPlayerEvent Take();  // kind ekNone when nothing is pending
  int Pending();
  // True when entries are pending within the time (or Wake was called).
  bool WaitReady(std::chrono::milliseconds timeout) { return FReady.WaitFor(timeout); }
  void Wake() { FReady.Set(); }

 private:
  std::mutex FEventLock;
  // --- protected by FEventLock
  TPlayerEvent FRing[RingSize];
  int FRead = 0, FWrite = 0;
  TManualResetEvent FReady{false};  // set while entries are pending
};

// Takes the player's entries one at a time and calls OnPosition / OnState, through
// CallInMainThread when the player's TriggerEventInMainThread was set at its start. Ends
// after delivering the psStop of its own file, on an end entry of it, or when finished.
class TEventThread {
 public:
  TEventThread(TCustomPlayer& player, std::shared_ptr<TPlayerEvents> events, bool inMainThread, unsigned run);
  ~TEventThread();  // Finish()
  // Asks the thread to end and waits for it, running the main thread's calls meanwhile
  // (the thread may be waiting in one). Called from inside a handler this thread is
  // running, it does not wait: the thread ends by itself once the handler returns,
  // touching nothing of the player from then on.
  void Finish();

 private:
  // What the thread reads: it outlives this object when the thread is left to end alone.
  struct TShared {
    TCustomPlayer* Player;
    std::shared_ptr<TPlayerEvents> Events;
    bool InMainThread;
    unsigned Run;
    std::atomic<bool> Terminated{false};
    std::atomic<bool> Done{false};
    std::atomic<bool> Detached{false};  // left to end alone: the player may be gone
    // The thread a handler runs on right now (the main thread or the event thread).
    std::atomic<std::thread::id> Delivering{};
  };
  static void Run(const std::shared_ptr<TShared>& shared);
  static void Deliver(TShared& shared, const TPlayerEvent& event);

  std::shared_ptr<TShared> FShared;
  std::thread FThread;
};

}  // namespace sw
