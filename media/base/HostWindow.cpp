#include "HostWindow.h"

#include <mutex>

namespace sw {

namespace {

std::mutex QueryLock;
THostWindowSizeQuery Query;  // guarded by QueryLock

}  // namespace

void SetHostWindowSizeQuery(THostWindowSizeQuery query) {
  std::lock_guard<std::mutex> g(QueryLock);
  Query = std::move(query);
}

bool HostWindowSize(uintptr_t window, int& width, int& height) {
  THostWindowSizeQuery query;
  {
    std::lock_guard<std::mutex> g(QueryLock);
    query = Query;
  }
  int w = 0, h = 0;
  if (!window || !query || !query(window, w, h) || w <= 0 || h <= 0) return false;
  width = w, height = h;
  return true;
}

}  // namespace sw
