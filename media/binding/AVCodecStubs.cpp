#include "AVCodecStubs.h"

namespace sw {

void BindAVCodec(const std::string& file, void* handle) {
  SW_AVCODEC_ENTRY_POINTS(SW_BIND_SLOT)
}

void UnbindAVCodec() {
  SW_AVCODEC_ENTRY_POINTS(SW_CLEAR_SLOT)
}

}  // namespace sw
