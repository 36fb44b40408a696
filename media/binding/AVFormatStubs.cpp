#include "AVFormatStubs.h"

namespace sw {

void BindAVFormat(const std::string& file, void* handle) {
  SW_AVFORMAT_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindAVFormat() {
  SW_AVFORMAT_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
