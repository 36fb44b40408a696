#include "StopReads.h"

#include <atomic>

namespace sw {

namespace {

std::atomic<bool> Stopped{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

}  // namespace

void StopAllReads() { Stopped.store(true); }

bool AllReadsStopped() { return Stopped.load(); }

}  // namespace sw
