#pragma once
// Slots of LAME, the MP3 encoder inside the codec library, for reading back the settings
// of an encoder the codec library has set up (the encoder tag of the files we write
// records them). Only bound when the codec library has loaded LAME.
#include <lame/lame.h>

#include <string>

#include "EntryPoints.h"

#define SW_LAME_ENTRY_POINTS(X) \
  X(get_lame_short_version) X(lame_get_in_samplerate) X(lame_get_num_channels) X(lame_get_quality) \
  X(lame_get_mode) X(lame_get_force_ms) X(lame_get_brate) X(lame_get_VBR) X(lame_get_VBR_q) \
  X(lame_get_VBR_mean_bitrate_kbps) X(lame_get_VBR_min_bitrate_kbps) X(lame_get_lowpassfreq) \
  X(lame_get_ATHtype) X(lame_get_exp_nspsytune) X(lame_get_encoder_delay)

namespace ff {
SW_LAME_ENTRY_POINTS(SW_DECLARE_SLOT)
}  // namespace ff

namespace sw {

inline constexpr const char* LameLibraryFile = "libmp3lame.so.0";

// Binds the LAME that is already loaded into the process (it is never loaded from here:
// only the codec library's own instance knows its encoders). The first success is kept;
// a failure is tried again next time. False with the reason when LAME is not there.
bool BindLoadedLame(std::string& why);

}  // namespace sw
