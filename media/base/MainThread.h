#pragma once
// Calls handed to the main thread. A worker that needs something done on the main thread
// enqueues it and waits; the main thread runs the queue from its event loop (the window
// installs a waker that schedules ProcessPendingMessages; programs without a window call
// it from their own loop).
#include <chrono>
#include <functional>
#include <thread>

namespace sw {

// The thread that counts as the main thread: the first one to ask, unless set.
void SetMainThread(std::thread::id id = std::this_thread::get_id());
bool IsMainThread();

// Runs call on the main thread: directly when the caller is the main thread, otherwise
// queued, and the caller waits until it has run. An exception thrown by the call is
// raised again in the caller.
void CallInMainThread(const std::function<void()>& call);

// Runs every call waiting for the main thread; returns how many ran.
int ProcessPendingMessages();

// Waits up to timeout for a call to arrive, then runs what is waiting.
int WaitForPendingMessages(std::chrono::milliseconds timeout);

// Called (on the enqueuing thread) whenever a call is queued.
void SetMainThreadWaker(std::function<void()> waker);

}  // namespace sw
