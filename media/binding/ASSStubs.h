#pragma once
// Slots of libass, the text-subtitle renderer. It is optional: the player draws text
// subtitles only when it can be loaded, and nothing else depends on it.
extern "C" {
#include <ass/ass.h>
}
#include <string>

#include "EntryPoints.h"

#define SW_ASS_ENTRY_POINTS(X) \
  X(ass_library_init) X(ass_library_done) X(ass_set_message_cb) X(ass_renderer_init) \
  X(ass_renderer_done) X(ass_set_frame_size) X(ass_set_storage_size) X(ass_set_fonts) \
  X(ass_render_frame) X(ass_new_track) X(ass_free_track) X(ass_process_codec_private) \
  X(ass_process_chunk) X(ass_flush_events)

namespace ff {
SW_ASS_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {

inline constexpr const char* ASSLibraryFile = "libass.so.9";

// Loads and binds libass on the first call (from the loader's library folder when it
// holds the file, else through the normal search) and keeps it for the rest of the
// process. Later calls give the first answer; why holds the reason of a failure.
bool LoadASSLibrary(std::string& why);

}  // namespace sw
