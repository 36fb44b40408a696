#include "FFmpegTask.h"

namespace sw {

void TFFmpeg::ResetOptions() { FOptions = TOptionSettings{}; }

}  // namespace sw
