#pragma once
// Slots of libavdevice; its registration call runs after binding.
extern "C" {
#include <libavdevice/avdevice.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_AVDEVICE_ENTRY_POINTS(X) \
  X(avdevice_register_all)

namespace ff {
SW_AVDEVICE_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindAVDevice(const std::string& file, void* handle);
void UnbindAVDevice();
}  // namespace sw
