#include "AVCoreStubs.h"

namespace sw {

void BindAVCore(const std::string& file, void* handle) {
  SW_AVCORE_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindAVCore() {
  SW_AVCORE_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
