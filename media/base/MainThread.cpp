#include "MainThread.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace sw {

namespace {

struct TPendingCall {
  std::function<void()> Call;
  std::exception_ptr Error;
  bool Done = false;
};

struct TMainQueue {
  std::mutex Lock;
  std::condition_variable Arrived;   // a call was queued
  std::condition_variable Finished;  // a call has run
  std::deque<std::shared_ptr<TPendingCall>> Calls;
  std::function<void()> Waker;
  std::thread::id Main;
  bool MainSet = false;
};

TMainQueue& Queue() {
  static TMainQueue queue;
  return queue;
}

}  // namespace

void SetMainThread(std::thread::id id) {
  std::lock_guard<std::mutex> g(Queue().Lock);
  Queue().Main = id;
  Queue().MainSet = true;
}

bool IsMainThread() {
  TMainQueue& q = Queue();
  std::lock_guard<std::mutex> g(q.Lock);
  if (!q.MainSet) {
    q.Main = std::this_thread::get_id();
    q.MainSet = true;
  }
  return q.Main == std::this_thread::get_id();
}

void SetMainThreadWaker(std::function<void()> waker) {
  std::lock_guard<std::mutex> g(Queue().Lock);
  Queue().Waker = std::move(waker);
}

void CallInMainThread(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  TMainQueue& q = Queue();
  auto pending = std::make_shared<TPendingCall>();
  pending->Call = call;
  std::function<void()> waker;
  {
    std::lock_guard<std::mutex> g(q.Lock);
    q.Calls.push_back(pending);
    waker = q.Waker;
  }
  q.Arrived.notify_all();
  if (waker) waker();
  std::unique_lock<std::mutex> g(q.Lock);
  q.Finished.wait(g, [&] { return pending->Done; });
  if (pending->Error) std::rethrow_exception(pending->Error);
}

int ProcessPendingMessages() {
  TMainQueue& q = Queue();
  int ran = 0;
  for (;;) {
    std::shared_ptr<TPendingCall> pending;
    {
      std::lock_guard<std::mutex> g(q.Lock);
      if (q.Calls.empty()) break;
      pending = q.Calls.front();
      q.Calls.pop_front();
    }
    try {
      pending->Call();
    } catch (...) {
      pending->Error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> g(q.Lock);
      pending->Done = true;
    }
    q.Finished.notify_all();
    ++ran;
  }
  return ran;
}

int WaitForPendingMessages(std::chrono::milliseconds timeout) {
  TMainQueue& q = Queue();
  {
    std::unique_lock<std::mutex> g(q.Lock);
    q.Arrived.wait_for(g, timeout, [&] { return !q.Calls.empty(); });
  }
  return ProcessPendingMessages();
}

}  // namespace sw
