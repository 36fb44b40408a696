#pragma once
// The pending events of a player: a small ring that collapses repeats, and the thread
// that delivers them to the host's handlers.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "FFPlay.h"
#include "media/common/ManualResetEvent.h"

namespace sw {

enum TPlayerEventKind : int { ekNone = 0, ekPosition = 1, ekState = 2, ekEnd = 3 };

struct TPlayerEvent {
  TPlayerEventKind Kind = ekNone;
  TPlayState State = psPlay;
  int64_t Position = 0;  // microseconds
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
// after delivering psStop, on an end entry, or when finished.
class TEventThread {
 public:
  TEventThread(TCustomPlayer& player, TPlayerEvents& events, bool inMainThread);
  ~TEventThread();  // Finish()
  // Asks the thread to end and waits for it, running the main thread's calls meanwhile
  // (the thread may be waiting in one).
  void Finish();

 private:
  void Run();
  void Deliver(const TPlayerEvent& event);

  TCustomPlayer& FPlayer;
  TPlayerEvents& FEvents;
  const bool FInMainThread;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FDone{false};
  std::thread FThread;
};

}  // namespace sw
