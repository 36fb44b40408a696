#include "EnvelopeDecode.h"

#include <mutex>
#include <vector>

#include "SampleMix.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFHandles.h"
#include "media/common/MyUtils.h"
#include "media/common/UnicodeProtocol.h"
#include "media/info/DurationProbe.h"

namespace sw {

namespace {

using Clock = std::chrono::steady_clock;

int StopRequested(void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; }

int FirstAudioStream(const AVFormatContext* ctx) {
  for (unsigned i = 0; i < ctx->nb_streams; ++i)
    if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
  return -1;
}

// The length the reader reports for this stream: the container's, measured from the
// packets when that is only an estimate.
int64_t ReaderLength(AVFormatContext* ctx, int stream, const std::string& fileName, const std::string& url,
                     const std::atomic<bool>& stop) {
  int64_t size = ctx->pb ? ff::avio_size(ctx->pb) : 0;
  if (size <= 0 && WideFileExists(fileName)) size = WideFileSize(fileName);
  if (DurationNeedsMeasuring(ctx, stream, size)) {
    const TMeasuredLength real = MeasureStreamLength(url, stream, [&stop] { return stop.load(); });
    if (real.Duration > 0) return real.Duration;
  }
  return ctx->duration == AV_NOPTS_VALUE ? -1 : ctx->duration;
}

struct TInput {
  AVFormatContext* Context = nullptr;
  TCodecContextPtr Decoder;
  ~TInput() {
    if (Decoder) {
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      Decoder.reset();
    }
    if (Context) CloseInputFormat(&Context);
  }
};

}  // namespace

TEnvelopeResult DecodeEnvelope(const std::string& fileName, const TEnvelopeDecodeOptions& options,
                               const std::atomic<bool>& stop,
                               const std::function<void(const TEnvelope&)>& publish, TEnvelope& result) {
  result = TEnvelope{};
  if (options.Columns <= 0) return erFailed;
  std::string url;
  try {
    url = MediaUrl(fileName);
  } catch (const EMediaUrlError&) {
    return erFailed;
  }
  TInput in;
  if (!(in.Context = ff::avformat_alloc_context())) return erFailed;
  in.Context->interrupt_callback = {StopRequested, const_cast<std::atomic<bool>*>(&stop)};
  if (OpenInputFormat(&in.Context, url, nullptr, nullptr) < 0) {
    in.Context = nullptr;  // the library freed it
    return stop ? erStopped : erFailed;
  }
  if (ff::avformat_find_stream_info(in.Context, nullptr) < 0) return stop ? erStopped : erFailed;
  const int stream = FirstAudioStream(in.Context);
  if (stream < 0) return erFailed;
  const int64_t duration = ReaderLength(in.Context, stream, fileName, url, stop);
  if (stop) return erStopped;
  if (duration <= 0) return erFailed;

  const AVCodecParameters* par = in.Context->streams[stream]->codecpar;
  const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
  if (!codec) return erFailed;
  {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    in.Decoder.reset(ff::avcodec_alloc_context3(codec));
    if (!in.Decoder || ff::avcodec_parameters_to_context(in.Decoder.get(), par) < 0) return erFailed;
    in.Decoder->pkt_timebase = in.Context->streams[stream]->time_base;
    if (ff::avcodec_open2(in.Decoder.get(), codec, nullptr) < 0) return erFailed;
  }
  for (unsigned i = 0; i < in.Context->nb_streams; ++i)
    if (static_cast<int>(i) != stream) in.Context->streams[i]->discard = AVDISCARD_ALL;

  TEnvelopeBuilder builder(options.Columns, duration);
  TPacketPtr packet(ff::av_packet_alloc());
  TFramePtr frame(ff::av_frame_alloc());
  if (!packet || !frame) return erFailed;
  std::vector<float> mixed;
  bool decodedAny = false;
  int published = 0;
  Clock::time_point nextPublish = Clock::now();
  const auto drain = [&] {
    while (ff::avcodec_receive_frame(in.Decoder.get(), frame.get()) >= 0) {
      if (MixDown(*frame, mixed)) {
        builder.Add(mixed.data(), frame->nb_samples, frame->sample_rate);
        decodedAny = true;
      }
      ff::av_frame_unref(frame.get());
    }
  };
  while (!stop) {
    const int read = ff::av_read_frame(in.Context, packet.get());
    if (read < 0) break;
    if (packet->stream_index == stream) {
      // A damaged packet is skipped; the decoder goes on with the next one.
      ff::avcodec_send_packet(in.Decoder.get(), packet.get());
      drain();
    }
    ff::av_packet_unref(packet.get());
    const int filled = builder.Envelope().Filled;
    if (filled > published && Clock::now() >= nextPublish) {
      if (stop) break;
      publish(builder.Envelope());
      published = filled;
      nextPublish = Clock::now() + options.PublishInterval;
    }
  }
  if (stop) return erStopped;
  ff::avcodec_send_packet(in.Decoder.get(), nullptr);
  drain();
  if (!decodedAny) return erFailed;
  builder.Finish();
  result = builder.Envelope();
  return erDone;
}

}  // namespace sw
