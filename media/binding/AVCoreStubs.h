#pragma once
// Slots of the sample-format conversion and resampling library (libswresample).
extern "C" {
#include <libswresample/swresample.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_AVCORE_ENTRY_POINTS(X) \
  X(swr_alloc_set_opts2) X(swr_init) X(swr_is_initialized) X(swr_free) X(swr_convert) \
  X(swr_set_compensation) X(swr_get_delay)

namespace ff {
SW_AVCORE_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindAVCore(const std::string& file, void* handle);
void UnbindAVCore();
}  // namespace sw
