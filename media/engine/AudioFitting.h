#pragma once
// Fitting an audio encoder context to what its encoder supports.
#include "media/engine/FFmpeg.h"

namespace sw {

// The encoder's first listed sample format when the context's format is not among them.
void ChooseSampleFormat(AVCodecContext* codec, const AVCodec* encoder);
// The listed rate nearest to the context's (the first on a tie); a rate that is not an
// exact match is logged as a warning of the engine.
void ChooseSampleRate(AVCodecContext* codec, const AVCodec* encoder, TCustomFFmpeg& engine);

}  // namespace sw
