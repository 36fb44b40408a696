#pragma once
// Fitting a video encoder context to what its encoder supports.
#include "media/engine/FFmpeg.h"

namespace sw {

// Keeps the context's pixel format when the encoder lists it (or lists none); otherwise the
// encoder's first listed format. An unset format becomes that first one, or YUV 4:2:0.
void ChoosePixelFormat(AVCodecContext* codec, const AVCodec* encoder);
// The listed frame rate nearest to rate; rate itself when the encoder lists none.
AVRational ChooseFrameRate(AVRational rate, const AVCodec* encoder);

}  // namespace sw
