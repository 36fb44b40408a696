#include "AVDeviceStubs.h"

namespace sw {

void BindAVDevice(const std::string& file, void* handle) {
  SW_AVDEVICE_ENTRY_POINTS(SW_BIND_SLOT)
  ff::avdevice_register_all();
}

void UnbindAVDevice() {
  SW_AVDEVICE_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
