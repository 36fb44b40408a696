#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "media/base/MainThread.h"

using namespace sw;
using namespace std::chrono_literals;

TEST(MainThread, WorkerWaitsUntilTheMainThreadRanItsCall) {
  SetMainThread();
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::atomic<int> wakes{0};
  SetMainThreadWaker([&] { ++wakes; });
  std::thread worker([&] {
    CallInMainThread([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
  });
  // Nothing runs until the main thread looks at its queue.
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(returned);
  int ran = 0;
  while (ran == 0) ran = WaitForPendingMessages(1000ms);
  worker.join();
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(returned);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(wakes, 1);
  SetMainThreadWaker(nullptr);
}

TEST(MainThread, MainThreadCallsRunDirectlyAndErrorsReachTheCaller) {
  SetMainThread();
  bool ran = false;
  CallInMainThread([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_EQ(ProcessPendingMessages(), 0);

  std::string caught;
  std::thread worker([&] {
    try {
      CallInMainThread([] { throw std::runtime_error("refused"); });
    } catch (const std::exception& e) {
      caught = e.what();
    }
  });
  while (WaitForPendingMessages(1000ms) == 0) {}
  worker.join();
  EXPECT_EQ(caught, "refused");
}

TEST(MainThread, CallsFromSeveralWorkersAllRunOnce) {
  SetMainThread();
  int total = 0;  // touched only on the main thread
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i)
    workers.emplace_back([&] {
      for (int k = 0; k < 25; ++k) CallInMainThread([&] { ++total; });
    });
  int ran = 0;
  while (ran < 100) ran += WaitForPendingMessages(1000ms);
  for (auto& w : workers) w.join();
  EXPECT_EQ(total, 100);
}
