#pragma once
// Fitting an audio encoder context to what its encoder supports.
#include "media/engine/FFmpeg.h"

namespace sw {

// The encoder's first listed sample format when the context's format is not among them.
void ChooseSampleFormat(AVCodecContext* codec, const AVCodec* encoder);
// The listed rate nearest to the context's (the first on a tie); a rate that is not an
// exact match is logged as a warning of the engine.
void ChooseSampleRate(AVCodecContext* codec, const AVCodec* encoder, TCustomFFmpeg& engine);
// A channel count the encoder does not list becomes its listed layout with the most
// channels not above it (six channels give stereo for MP3), logged as a warning.
void ChooseChannelLayout(AVCodecContext* codec, const AVCodec* encoder, TCustomFFmpeg& engine);

}  // namespace sw

namespace sw {

// The audio path's buffers for one decoded buffer of size bytes: the work buffer (room
// for the converted samples, at least one encoder frame) and the encoder's output.
struct TAudioBufferSizes {
  int64_t WorkSamples = 0;  // per channel
  int64_t WorkBytes = 0;
  int64_t OutputBytes = 0;
};
// Raises when either size leaves the int range.
TAudioBufferSizes AudioBufferSizes(int64_t size, int decBytesPerSample, int decChannels, int decRate, int encRate,
                                   int encBytesPerSample, int encChannels, int encFrameSize, int codedBits);
// The bytes a sample-oriented encoder (frame size 1 or less) writes for size bytes of its
// input; raises when they would not fit the output size.
int64_t SampleCodecBytes(int64_t size, int encBytesPerSample, int codedBits, int64_t outputBytes);

}  // namespace sw
