#pragma once
// The conversion of convert, with its pictures in the previewer window when asked for.
#include "media/encoder/FFmpegTask.h"

namespace sw::cli {

// Runs the task to its end. With preview the pictures go to the previewer window, whose
// module is loaded now; without a display or without the module one line on standard
// error says so and the conversion goes on without pictures. Errors of the task reach
// the caller.
void RunConversion(TFFmpeg& task, bool preview);

}  // namespace sw::cli
