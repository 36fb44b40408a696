#include "AVFilterStubs.h"

namespace sw {

void BindAVFilter(const std::string& file, void* handle) {
  SW_AVFILTER_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindAVFilter() {
  SW_AVFILTER_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
