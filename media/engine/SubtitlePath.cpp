// The subtitle path: decoded subtitles encoded again, DVB subtitles as a pair of a
// picture and its clearing at the display end.
#include <cstring>

#include "RunTables.h"
#include "media/binding/FFLoad.h"

namespace sw {

namespace {

constexpr AVRational Microseconds{1, AV_TIME_BASE};
constexpr AVRational Milliseconds{1, 1000};

}  // namespace

void TCustomFFmpeg::TRun::SubtitleEncoderSetup(TOutputStream& ost, TInputStream& ist) {
  AVCodecContext* enc = ost.Encoder();
  const AVCodecParameters* in = ist.Stream->codecpar;
  if (enc->time_base.num <= 0 || enc->time_base.den <= 0) enc->time_base = Microseconds;
  if (enc->width <= 0) enc->width = in->width;
  if (enc->height <= 0) enc->height = in->height;
  // Text encoders need the styles that the decoder announces; the decoder is not open
  // yet, so a short-lived one tells them.
  if (!enc->subtitle_header) {
    const AVCodec* codec = ff::avcodec_find_decoder(in->codec_id);
    TCodecContextPtr probe(codec ? ff::avcodec_alloc_context3(codec) : nullptr);
    if (probe && ff::avcodec_parameters_to_context(probe.get(), in) >= 0) {
      int opened;
      {
        std::lock_guard<std::recursive_mutex> lock(CodecLock());
        opened = ff::avcodec_open2(probe.get(), codec, nullptr);
      }
      if (opened >= 0 && probe->subtitle_header && probe->subtitle_header_size > 0) {
        enc->subtitle_header = static_cast<uint8_t*>(ff::av_mallocz(probe->subtitle_header_size + 1));
        if (!enc->subtitle_header) RaiseFFmpeg("av_mallocz fail");
        std::memcpy(enc->subtitle_header, probe->subtitle_header, probe->subtitle_header_size);
        enc->subtitle_header_size = probe->subtitle_header_size;
      }
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      probe.reset();
    }
  }
  ost.EncodingNeeded = true;
  ist.DecodingNeeded = true;
}

int TCustomFFmpeg::TRun::DecodeSubtitle(int istIndex, AVPacket* packet) {
  if (!packet) return 0;  // subtitle decoders hold nothing back
  TInputStream& ist = Ist[istIndex];
  AVSubtitle subtitle{};
  int got = 0;
  if (ff::avcodec_decode_subtitle2(ist.Decoder.get(), &subtitle, &got, packet) < 0) return -1;
  if (!got) return 0;
  // Freed whatever happens to the outputs.
  std::unique_ptr<AVSubtitle, void (*)(AVSubtitle*)> owner(&subtitle, [](AVSubtitle* s) { ff::avsubtitle_free(s); });
  if (packet->pts != AV_NOPTS_VALUE)
    ist.Time = ff::av_rescale_q(packet->pts, ist.Stream->time_base, Microseconds);
  if (S.StartTime != 0 && ist.Time < S.StartTime) return 0;
  for (TOutputStream& ost : Ost)
    if (ost.SourceIndex == istIndex && ost.EncodingNeeded) {
      if (ost.Encoder()->codec_type != AVMEDIA_TYPE_SUBTITLE) RaiseFFmpeg("invalid codec_type");
      SubtitleOut(ost, ist, subtitle);
    }
  return 0;
}

void TCustomFFmpeg::TRun::SubtitleOut(TOutputStream& ost, TInputStream&, AVSubtitle& subtitle) {
  if (subtitle.pts == AV_NOPTS_VALUE) {
    if (S.ExitOnError) RaiseFFmpeg("Subtitle packets must have a pts");
    E.Log(llError, "Subtitle packets must have a pts");
    return;
  }
  AVCodecContext* enc = ost.Encoder();
  const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const AVRational tb = ost.Stream->time_base;
  const int64_t time = subtitle.pts - S.StartTime + ff::av_rescale_q(subtitle.start_display_time, Milliseconds, Microseconds);
  AVSubtitle shown = subtitle;
  shown.end_display_time -= shown.start_display_time;
  shown.start_display_time = 0;
  shown.pts = time;
  // A DVB picture is followed by a display set without regions that clears it at the
  // display end; a subtitle without regions is such a clearing already.
  const int passes = dvb && shown.num_rects > 0 ? 2 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    if (pass == 1) shown.num_rects = 0;
    const int size = ff::avcodec_encode_subtitle(enc, BitBuffer.data(), static_cast<int>(BitBuffer.size()), &shown);
    if (size < 0) RaiseFFmpeg("Subtitle encoding failed");
    TPacketPtr packet(ff::av_packet_alloc());
    if (!packet || ff::av_new_packet(packet.get(), size) < 0) RaiseFFmpeg("av_mallocz fail");
    std::memcpy(packet->data, BitBuffer.data(), static_cast<size_t>(size));
    packet->stream_index = ost.StreamIndex;
    packet->pts = ff::av_rescale_q(time, Microseconds, tb);
    if (dvb)
      packet->pts += ff::av_rescale_q(pass == 0 ? shown.start_display_time : shown.end_display_time, Milliseconds, tb);
    else
      packet->duration = ff::av_rescale_q(shown.end_display_time, Milliseconds, tb);
    packet->dts = packet->pts;
    if (dvb) {
      // The clearing waits for what comes next: a display set before the display end
      // replaces the page itself, and written at once the clearing would come before it.
      if (ost.PendingClear && ost.PendingClear->pts <= packet->pts) FlushSubtitle(ost);
      ost.PendingClear.reset();
      if (pass == 1) {
        ost.PendingClear = std::move(packet);
        continue;
      }
    }
    WriteFrame(ost, packet.get());
    ++ost.FrameNumber;
  }
}

void TCustomFFmpeg::TRun::FlushSubtitle(TOutputStream& ost) {
  if (!ost.PendingClear) return;
  const TPacketPtr packet = std::move(ost.PendingClear);
  WriteFrame(ost, packet.get());
  ++ost.FrameNumber;
}

}  // namespace sw
