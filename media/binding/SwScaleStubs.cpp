#include "SwScaleStubs.h"

namespace sw {

void BindSwScale(const std::string& file, void* handle) {
  SW_SWSCALE_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindSwScale() {
  SW_SWSCALE_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
