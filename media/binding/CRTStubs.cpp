#include "CRTStubs.h"

namespace sw {

void BindCRT(const std::string& file, void* handle) {
  SW_CRT_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindCRT() {
  SW_CRT_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
