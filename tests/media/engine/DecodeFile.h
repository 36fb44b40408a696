#pragma once
// Decodes a whole file's first audio stream to interleaved 16-bit samples, as a player
// would (the decoder trims the encoder delay that the file's header announces), or to
// the decoder's own values as interleaved floats.
#include <string>
#include <vector>

#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"

struct TDecodedAudio {
  int SampleRate = 0;
  int Channels = 0;
  int StreamCount = 0;
  std::vector<int16_t> Samples;  // interleaved
  std::vector<float> Floats;     // interleaved, instead of Samples when asked for
  int64_t Frames() const {
    return Channels ? static_cast<int64_t>(Samples.empty() ? Floats.size() : Samples.size()) / Channels : 0;
  }
  double Seconds() const { return SampleRate ? static_cast<double>(Frames()) / SampleRate : 0; }
};

inline bool DecodeFile(const std::string& name, TDecodedAudio& out, bool floats = false) {
  using namespace sw;
  AVFormatContext* ctx = nullptr;
  if (OpenInputFormat(&ctx, MediaUrl(name), nullptr, nullptr) < 0) return false;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> owner(&ctx, CloseInputFormat);
  if (ff::avformat_find_stream_info(ctx, nullptr) < 0) return false;
  out.StreamCount = static_cast<int>(ctx->nb_streams);
  const int index = ff::av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) return false;
  const AVCodecParameters* par = ctx->streams[index]->codecpar;
  const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
  TCodecContextPtr dec(ff::avcodec_alloc_context3(codec));
  ff::avcodec_parameters_to_context(dec.get(), par);
  dec->pkt_timebase = ctx->streams[index]->time_base;
  if (ff::avcodec_open2(dec.get(), codec, nullptr) < 0) return false;
  TPacketPtr packet(ff::av_packet_alloc());
  TFramePtr frame(ff::av_frame_alloc());
  TResamplerPtr convert;
  const AVSampleFormat format = floats ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S16;
  const auto drain = [&] {
    while (ff::avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
      out.SampleRate = frame->sample_rate;
      out.Channels = frame->ch_layout.nb_channels;
      if (!convert) {
        SwrContext* s = nullptr;
        ff::swr_alloc_set_opts2(&s, &frame->ch_layout, format, frame->sample_rate, &frame->ch_layout,
                                static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        convert.reset(s);
        ff::swr_init(s);
      }
      const size_t count = static_cast<size_t>(frame->nb_samples) * out.Channels;
      uint8_t* dst;
      if (floats) {
        out.Floats.resize(out.Floats.size() + count);
        dst = reinterpret_cast<uint8_t*>(out.Floats.data() + out.Floats.size() - count);
      } else {
        out.Samples.resize(out.Samples.size() + count);
        dst = reinterpret_cast<uint8_t*>(out.Samples.data() + out.Samples.size() - count);
      }
      ff::swr_convert(convert.get(), &dst, frame->nb_samples, const_cast<const uint8_t**>(frame->extended_data),
                      frame->nb_samples);
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
