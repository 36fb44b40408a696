#pragma once
// Hands one end notice of the encoder to its handler on a thread of its own, so that a
// task's thread never waits for the handler. The final notice waits until every other
// notice has been delivered.
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "EncoderTypes.h"
#include "media/base/ManualResetEvent.h"

namespace sw {

class TTerminateDeliveries {
 public:
  ~TTerminateDeliveries() { WaitAll(); }

  // With afterOthers the handler runs once no other delivery is under way. A handler may
  // even destroy the encoder: the thread shares what it needs.
  void Deliver(TTerminateEvent handler, TCustomEncoder* sender, TTerminateInfo info, bool afterOthers);
  // Waits for every delivery (running the main thread's queue meanwhile) and joins them.
  void WaitAll();

 private:
  struct TDelivery {
    std::thread Thread;
    TManualResetEvent Done{false};
  };
  std::mutex FLock;
  std::vector<std::shared_ptr<TDelivery>> FDeliveries;
  std::shared_ptr<std::atomic<int>> FUnderWay = std::make_shared<std::atomic<int>>(0);
};

}  // namespace sw
