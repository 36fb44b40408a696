#pragma once
// Slots of libswscale: picture scaling and pixel-format conversion.
extern "C" {
#include <libswscale/swscale.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_SWSCALE_ENTRY_POINTS(X) \
  X(sws_getContext) X(sws_getCachedContext) X(sws_freeContext) X(sws_scale)

namespace ff {
SW_SWSCALE_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindSwScale(const std::string& file, void* handle);
void UnbindSwScale();
}  // namespace sw
