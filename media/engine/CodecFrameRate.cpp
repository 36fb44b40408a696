// The codec's own picture timing. The stream parameters of these libraries carry no time
// base; the demuxer's codec context, which has decoded the first pictures while the
// stream was probed, still tells it.
#include "CodecFrameRate.h"

#include <climits>

#include "media/binding/FFLoad.h"

namespace sw {

namespace {

bool Valid(AVRational q) { return q.num > 0 && q.den > 0; }

// The decoders of these codecs count two ticks per picture (one per field) as soon as
// they have read the first header; the demuxer's context does not show the count.
int TicksPerFrame(AVCodecID codec) {
  return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_MPEG2VIDEO ? 2 : 1;
}

}  // namespace

TCodecTiming CodecTiming(const AVStream* stream) {
  TCodecTiming timing;
  if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
    const AVRational tick = ff::av_stream_get_codec_timebase(stream);
    if (Valid(tick)) {
      timing.TickBase = tick;
      timing.TicksPerFrame = TicksPerFrame(stream->codecpar->codec_id);
    }
  }
  if (Valid(timing.TickBase)) {
    ff::av_reduce(&timing.FrameDuration.num, &timing.FrameDuration.den,
              static_cast<int64_t>(timing.TickBase.num) * timing.TicksPerFrame, timing.TickBase.den, INT_MAX);
  } else if (Valid(stream->r_frame_rate)) {
    timing.FrameDuration = av_inv_q(stream->r_frame_rate);
  } else if (Valid(stream->avg_frame_rate)) {
    timing.FrameDuration = av_inv_q(stream->avg_frame_rate);
  }
  return timing;
}

}  // namespace sw
