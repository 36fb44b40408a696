#include "TerminateDelivery.h"

#include "media/engine/ConvertThread.h"

namespace sw {

void TTerminateDeliveries::Deliver(TTerminateEvent handler, TCustomEncoder* sender, TTerminateInfo info,
                                   bool afterOthers) {
  auto d = std::make_shared<TDelivery>();
  std::lock_guard<std::mutex> g(FLock);
  FDeliveries.push_back(d);
  const std::shared_ptr<std::atomic<int>> underWay = FUnderWay;
  if (!afterOthers) ++*underWay;
  d->Thread = std::thread([=, handler = std::move(handler), info = std::move(info)] {
    using namespace std::chrono_literals;
    if (afterOthers)
      while (*underWay > 0) std::this_thread::sleep_for(10ms);
    try {
      if (handler) handler(sender, info);
    } catch (...) {
      // A failing handler must not take the process down with it.
    }
    if (!afterOthers) --*underWay;
    d->Done.Set();
  });
}

void TTerminateDeliveries::WaitAll() {
  for (;;) {
    std::vector<std::shared_ptr<TDelivery>> pending;
    {
      std::lock_guard<std::mutex> g(FLock);
      pending.swap(FDeliveries);
    }
    if (pending.empty()) return;
    for (auto& d : pending) {
      if (d->Thread.get_id() == std::this_thread::get_id()) {
        d->Thread.detach();  // the handler waiting here is this delivery's own; it keeps d alive
        continue;
      }
      WaitPumping(d->Done);
      d->Thread.join();
    }
  }
}

}  // namespace sw
