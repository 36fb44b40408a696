#pragma once
// Slots of libavformat: demuxers, muxers and I/O contexts.
extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_AVFORMAT_ENTRY_POINTS(X) \
  X(avformat_alloc_context) X(avformat_free_context) X(avformat_open_input) \
  X(avformat_close_input) X(avformat_find_stream_info) X(av_find_input_format) \
  X(av_find_best_stream) X(av_read_frame) X(av_seek_frame) X(avformat_seek_file) \
  X(av_add_index_entry) X(avformat_index_get_entries_count) X(avformat_index_get_entry) \
  X(av_read_play) X(av_read_pause) X(av_guess_frame_rate) X(avformat_alloc_output_context2) X(av_guess_format) \
  X(av_guess_codec) X(avformat_new_stream) X(av_new_program) X(avformat_write_header) \
  X(av_interleaved_write_frame) X(av_write_frame) X(av_write_trailer) X(av_dump_format) \
  X(av_demuxer_iterate) X(av_muxer_iterate) X(av_codec_get_id) X(av_codec_get_tag) \
  X(av_filename_number_test) X(av_sdp_create) X(avformat_query_codec) X(avformat_get_class) \
  X(avio_open) X(avio_open2) X(avio_closep) X(avio_size) X(avio_alloc_context) \
  X(avio_context_free) X(avio_flush) X(avio_seek) X(avio_feof) X(avio_write) \
  X(av_pkt_dump_log2) X(av_stream_get_codec_timebase)

namespace ff {
SW_AVFORMAT_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {
void BindAVFormat(const std::string& file, void* handle);
void UnbindAVFormat();
}  // namespace sw
