// Streams copied without decoding.
#include <climits>

#include "CodecFrameRate.h"
#include "RunTables.h"

namespace sw {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};

// Copied video of a fine-grained container clock is timed by its pictures, so that
// muxers that store a picture per tick of the stream's time base (AVI) need not fill
// hundreds of empty ticks per picture. Only when every timestamp the container showed
// falls on that picture grid: otherwise irregular times would be rounded onto each other.
AVRational CopyTimeBase(const AVStream* in) {
  const AVRational tb = in->time_base;
  if (in->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) return tb;
  const AVRational frame = CodecTiming(in).FrameDuration;
  if (frame.num <= 0 || av_cmp_q(frame, tb) <= 0 || av_cmp_q(tb, AVRational{1, 1000}) >= 0) return tb;
  const AVRational rate = in->r_frame_rate;
  if (rate.num > 0 && rate.den > 0 &&
      (static_cast<int64_t>(rate.den) * frame.den) % (static_cast<int64_t>(rate.num) * frame.num) != 0)
    return tb;
  return frame;
}

}  // namespace

void TCustomFFmpeg::TRun::StreamCopySetup(TOutputStream& ost, TInputStream& ist) {
  const AVCodecParameters* in = ist.Stream->codecpar;
  AVCodecParameters* out = ost.Stream->codecpar;
  if (in->extradata_size > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE)
    RaiseFFmpeg("icodec.extradata_size is invalid (too large)");
  switch (in->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
      if (S.AudioVolume != 256) RaiseFFmpeg("-acodec copy and -vol are incompatible (frames are not decoded)");
      if (E.OnAudioHook) RaiseFFmpeg("-acodec copy and AudioHook are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_VIDEO:
      if (E.OnVideoInputHook || E.OnVideoOutputHook)
        RaiseFFmpeg("-vcodec copy and VideoHook are incompatible (frames are not decoded)");
      if (E.PreviewFlags() != 0) RaiseFFmpeg("-vcodec copy and PostHooks are incompatible (frames are not decoded)");
      break;
    case AVMEDIA_TYPE_SUBTITLE:
      break;
    default:
      RaiseFFmpeg("invalid codec_type of output stream");
  }
  const uint32_t wantedTag = out->codec_tag;
  if (ff::avcodec_parameters_copy(out, in) < 0) RaiseFFmpeg("av_mallocz fail");
  // The input's tag goes along when the output format agrees with it.
  const AVCodecTag* const* table = ost.Setup && E.OutputFile(ost.FileIndex)->Context->oformat
                                       ? E.OutputFile(ost.FileIndex)->Context->oformat->codec_tag
                                       : nullptr;
  if (wantedTag) {
    out->codec_tag = wantedTag;
  } else if (table && ff::av_codec_get_id(table, in->codec_tag) != in->codec_id &&
             ff::av_codec_get_tag(table, in->codec_id) != 0) {
    out->codec_tag = 0;
  }
  if (in->codec_type == AVMEDIA_TYPE_AUDIO &&
      ((out->block_align == 1 && out->codec_id == AV_CODEC_ID_MP3) || out->codec_id == AV_CODEC_ID_AC3))
    out->block_align = 0;
  ost.Stream->time_base = CopyTimeBase(ist.Stream);
  ost.EncodingNeeded = false;
}

void TCustomFFmpeg::TRun::StreamCopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* packet) {
  const AVRational inTb = ist.Stream->time_base, outTb = ost.Stream->time_base;
  const int64_t outStart = ff::av_rescale_q(S.StartTime, Microseconds, outTb);
  if (ost.FrameNumber == 0 && !(packet->flags & AV_PKT_FLAG_KEY) && !S.CopyInitialNonKeyFrames) return;
  if (ist.Stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
    AudioBytes += packet->size;
  } else if (ist.Stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
    VideoBytes += packet->size;
    ++ost.SyncPosition;
  }
  TPacketPtr copy(ff::av_packet_alloc());
  if (!copy || ff::av_packet_ref(copy.get(), packet) < 0) RaiseFFmpeg("av_mallocz fail");
  copy->stream_index = ost.StreamIndex;
  copy->pts = packet->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ff::av_rescale_q(packet->pts, inTb, outTb) - outStart;
  copy->dts = (packet->dts == AV_NOPTS_VALUE ? ff::av_rescale_q(ist.Time, Microseconds, outTb)
                                             : ff::av_rescale_q(packet->dts, inTb, outTb)) -
              outStart;
  copy->duration = ff::av_rescale_q(packet->duration, inTb, outTb);
  WriteFrame(ost, copy.get());
  ++ost.FrameNumber;
}

}  // namespace sw
