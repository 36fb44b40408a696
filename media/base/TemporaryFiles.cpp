#include "TemporaryFiles.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace sw {

namespace {

enum : int { Free, Busy, Held };

struct TSlot {
  std::atomic<int> State{Free};  // the name is read only while Held
  char Name[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

TSlot Slots[32];

}  // namespace

void RememberTemporaryFile(const std::string& name) {
  if (name.size() >= PATH_MAX) return;
  for (TSlot& slot : Slots) {
    int expected = Free;
    if (!slot.State.compare_exchange_strong(expected, Busy)) continue;
    std::memcpy(slot.Name, name.c_str(), name.size() + 1);
    slot.State = Held;
    return;
  }
}

void ForgetTemporaryFile(const std::string& name) {
  for (TSlot& slot : Slots) {
    int expected = Held;
    if (slot.State != Held || name != slot.Name) continue;
    if (slot.State.compare_exchange_strong(expected, Busy)) {
      slot.State = Free;
      return;
    }
  }
}

void RemoveTemporaryFiles() {
  for (TSlot& slot : Slots)
    if (slot.State == Held) ::unlink(slot.Name);
}

}  // namespace sw
