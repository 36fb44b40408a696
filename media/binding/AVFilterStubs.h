#pragma once
// Slots of libavfilter: filter graphs.
extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersrc.h>
#include <libavfilter/buffersink.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_AVFILTER_ENTRY_POINTS(X) \
  X(avfilter_get_by_name) X(avfilter_graph_alloc) X(avfilter_graph_create_filter) \
  X(avfilter_graph_parse_ptr) X(avfilter_graph_config) X(avfilter_graph_free) \
  X(avfilter_inout_alloc) X(avfilter_inout_free) X(avfilter_link) \
  X(av_buffersrc_add_frame_flags) X(av_buffersink_get_frame) X(av_buffersink_get_w) X(av_buffersink_get_h) \
  X(av_buffersink_get_time_base)

namespace ff {
SW_AVFILTER_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindAVFilter(const std::string& file, void* handle);
void UnbindAVFilter();
}  // namespace sw
