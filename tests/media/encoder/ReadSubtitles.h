#pragma once
// Every subtitle of a file's first stream, decoded on its own by the file's decoder.
#include <functional>
#include <string>

#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"

// codec: the stream's codec. each(packet, stream, subtitle) for every decoded subtitle.
inline void ForEachSubtitle(const std::string& name, AVCodecID& codec,
                            const std::function<void(const AVPacket&, const AVStream&, const AVSubtitle&)>& each) {
  using namespace sw;
  AVFormatContext* ctx = nullptr;
  if (OpenInputFormat(&ctx, MediaUrl(name), nullptr, nullptr) < 0) return;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&ctx, CloseInputFormat);
  ff::avformat_find_stream_info(ctx, nullptr);
  const AVStream* st = ctx->streams[0];
  codec = st->codecpar->codec_id;
  const AVCodec* decoder = ff::avcodec_find_decoder(codec);
  TCodecContextPtr dec(ff::avcodec_alloc_context3(decoder));
  ff::avcodec_parameters_to_context(dec.get(), st->codecpar);
  dec->pkt_timebase = st->time_base;
  if (ff::avcodec_open2(dec.get(), decoder, nullptr) < 0) return;
  TPacketPtr packet(ff::av_packet_alloc());
  while (ff::av_read_frame(ctx, packet.get()) >= 0) {
    AVSubtitle sub{};
    int got = 0;
    if (packet->stream_index == 0 && ff::avcodec_decode_subtitle2(dec.get(), &sub, &got, packet.get()) >= 0 &&
        got) {
      each(*packet, *st, sub);
      ff::avsubtitle_free(&sub);
    }
    ff::av_packet_unref(packet.get());
  }
}
