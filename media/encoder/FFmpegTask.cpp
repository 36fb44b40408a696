#include "FFmpegTask.h"

namespace sw {

void TFFmpeg::ResetOptions() { FOptions = TOptionSettings{}; }

void TFFmpeg::ResetSettings() {
  TCustomFFmpeg::ResetSettings();
  ResetOptions();
}

}  // namespace sw
