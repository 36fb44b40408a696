#pragma once
// Decodes a whole file's first stream of a kind, independently of the engine: video
// frames with their luma planes, subtitle packets with their times.
#include <string>
#include <vector>

#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"

struct TDecodedVideo {
  int StreamCount = 0;
  std::vector<AVMediaType> StreamTypes;
  AVCodecID Codec = AV_CODEC_ID_NONE;
  int Width = 0, Height = 0;
  int Frames = 0;
  std::vector<int64_t> Times;                // µs of each frame
  std::vector<std::vector<uint8_t>> Luma;    // first frames' Y planes, rows packed
  int Y(int frame, int x, int y) const { return Luma[frame][static_cast<size_t>(y) * Width + x]; }
};

// format: forced input format (e.g. "lavfi"), or nullptr. keep: how many Y planes to keep.
inline bool DecodeVideo(const std::string& name, TDecodedVideo& out, const char* format = nullptr, int keep = 3) {
  using namespace sw;
  AVFormatContext* ctx = nullptr;
  const AVInputFormat* in = format ? ff::av_find_input_format(format) : nullptr;
  if (OpenInputFormat(&ctx, format ? name : MediaUrl(name), in, nullptr) < 0) return false;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&ctx, CloseInputFormat);
  if (ff::avformat_find_stream_info(ctx, nullptr) < 0) return false;
  out.StreamCount = static_cast<int>(ctx->nb_streams);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) out.StreamTypes.push_back(ctx->streams[i]->codecpar->codec_type);
  const int index = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return true;
  const AVStream* st = ctx->streams[index];
  out.Codec = st->codecpar->codec_id;
  const AVCodec* codec = ff::avcodec_find_decoder(st->codecpar->codec_id);
  TCodecContextPtr dec(ff::avcodec_alloc_context3(codec));
  ff::avcodec_parameters_to_context(dec.get(), st->codecpar);
  dec->pkt_timebase = st->time_base;
  if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return false;
  TPacketPtr packet(ff::av_packet_alloc());
  TFramePtr frame(ff::av_frame_alloc());
  TFramePtr yuv(ff::av_frame_alloc());
  TScalerPtr toYuv;
  const auto drain = [&] {
    while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
      out.Width = frame->width;
      out.Height = frame->height;
      out.Times.push_back(frame->best_effort_timestamp == AV_NOPTS_VALUE
                              ? -1
                              : ff::av_rescale_q(frame->best_effort_timestamp, st->time_base, AVRational{1, 1000000}));
      if (out.Frames++ < keep) {
        const AVFrame* planar = frame.get();
        if (frame->format != AV_PIX_FMT_YUV420P) {
          toYuv.reset(ff::sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                         frame->width, frame->height, AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr,
                                         nullptr));
          ff::av_frame_unref(yuv.get());
          yuv->width = frame->width;
          yuv->height = frame->height;
          yuv->format = AV_PIX_FMT_YUV420P;
          ff::av_frame_get_buffer(yuv.get(), 0);
          ff::sws_scale(toYuv.get(), frame->data, frame->linesize, 0, frame->height, yuv->data, yuv->linesize);
          planar = yuv.get();
        }
        auto& plane = out.Luma.emplace_back(static_cast<size_t>(out.Width) * out.Height);
        for (int y = 0; y < out.Height; ++y)
          std::copy_n(planar->data[0] + static_cast<ptrdiff_t>(y) * planar->linesize[0], out.Width,
                      plane.begin() + static_cast<ptrdiff_t>(y) * out.Width);
      }
      ff::av_frame_unref(frame.get());
    }
  };
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    if (packet->stream_index == index && ff::avcodec_send_packet(dec.get(), packet.get()) >= 0) drain();
    ff::av_packet_unref(packet.get());
  }
  ff::avcodec_send_packet(dec.get(), nullptr);
  drain();
  return true;
}
