#include "AVUtilStubs.h"

namespace sw {

void BindAVUtil(const std::string& file, void* handle) {
  SW_AVUTIL_ENTRY_POINTS(SW_BIND_SLOT)
  BindDataSymbol(file, handle, "av_util_ffversion", false, ff::av_util_ffversion);
}

void UnbindAVUtil() {
  SW_AVUTIL_ENTRY_POINTS(SW_CLEAR_SLOT)
  ff::av_util_ffversion = nullptr;
}

}  // namespace sw
