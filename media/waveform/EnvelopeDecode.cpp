#include "EnvelopeDecode.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "SampleMix.h"
#include "media/base/MyUtils.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFHandles.h"
#include "media/common/UnicodeProtocol.h"
#include "media/info/DurationProbe.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

namespace {

using Clock = std::chrono::steady_clock;

// Enough MP3 frames before a later part's first sample to fill the bit reservoir (at most
// 511 bytes back, a few frames even at the lowest rates) and the transform's overlap.
constexpr int64_t PreRollSamples = 16 * 1152;

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
  int Stream = -1;
  ~TInput() {
    if (Decoder) {
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      Decoder.reset();
    }
    if (Context) CloseInputFormat(&Context);
  }
};

// Opens the file and its first audio stream's decoder; every other stream is dropped.
bool OpenInput(TInput& in, const std::string& url, const std::atomic<bool>& stop) {
  if (!(in.Context = ff::avformat_alloc_context())) return false;
  in.Context->interrupt_callback = {StopRequested, const_cast<std::atomic<bool>*>(&stop)};
  if (OpenInputFormat(&in.Context, url, nullptr, nullptr) < 0) {
    in.Context = nullptr;  // the library freed it
    return false;
  }
  if (ff::avformat_find_stream_info(in.Context, nullptr) < 0) return false;
  in.Stream = FirstAudioStream(in.Context);
  if (in.Stream < 0) return false;
  const AVCodecParameters* par = in.Context->streams[in.Stream]->codecpar;
  const AVCodec* codec = ff::avcodec_find_decoder(par->codec_id);
  if (!codec) return false;
  {
    std::lock_guard<std::recursive_mutex> lock(CodecLock());
    in.Decoder.reset(ff::avcodec_alloc_context3(codec));
    if (!in.Decoder || ff::avcodec_parameters_to_context(in.Decoder.get(), par) < 0) return false;
    in.Decoder->pkt_timebase = in.Context->streams[in.Stream]->time_base;
    if (ff::avcodec_open2(in.Decoder.get(), codec, nullptr) < 0) return false;
  }
  for (unsigned i = 0; i < in.Context->nb_streams; ++i)
    if (static_cast<int>(i) != in.Stream) in.Context->streams[i]->discard = AVDISCARD_ALL;
  return true;
}

// Which samples of the file's decoded sound (counted from its first) one decode takes.
struct TPart {
  int64_t From = 0;
  int64_t To = std::numeric_limits<int64_t>::max();
  // A later part reads the packets before this sample without decoding them; the ones
  // from here to From refill the decoder's overlap and bit reservoir.
  int64_t DecodeFrom = 0;
  // With the file's frame index, a later part starts reading at a frame a little before
  // From instead, and places its sound by the byte position of the frames it decodes.
  const mp3::TMp3Source* Index = nullptr;
};

// The sample of the file's decoded sound that the frame at this byte offset starts with;
// -1 when no frame starts there.
int64_t FrameSample(const mp3::TMp3Source& index, int64_t offset) {
  const auto& frames = index.Frames();
  const auto at = std::lower_bound(frames.begin(), frames.end(), offset,
                                   [](const mp3::TMp3Frame& f, int64_t o) { return f.Offset < o; });
  if (at == frames.end() || at->Offset != offset) return -1;
  return (at - frames.begin()) * static_cast<int64_t>(index.SamplesPerFrame()) - index.RawStart();
}

// Moves a later part's input to the frame that starts its pre-roll; false when the file's
// index does not fit the decoder's stream or the input cannot seek.
bool SeekToPreRoll(TInput& in, const mp3::TMp3Source& index, int64_t decodeFrom) {
  const AVCodecParameters* par = in.Context->streams[in.Stream]->codecpar;
  const auto& frames = index.Frames();
  if (frames.empty() || index.Header().SampleRate != par->sample_rate || index.SamplesPerFrame() <= 0) return false;
  const int64_t frame = (decodeFrom + index.RawStart()) / index.SamplesPerFrame();
  if (frame <= 0 || frame >= static_cast<int64_t>(frames.size())) return false;
  return ff::av_seek_frame(in.Context, in.Stream, frames[static_cast<size_t>(frame)].Offset, AVSEEK_FLAG_BYTE) >= 0;
}

// Decodes the packets in file order into the builder, keeping the samples of the part.
class TPartDecode {
 public:
  TPartDecode(TInput& in, const TPart& part, TEnvelopeBuilder& builder, const std::atomic<bool>& stop)
      : FIn(in), FPart(part), FBuilder(builder), FStop(stop) {}

  // publish is called between packets; false when nothing could be decoded.
  bool Run(const std::function<void()>& publish) {
    TPacketPtr packet(ff::av_packet_alloc());
    FFrame.reset(ff::av_frame_alloc());
    if (!packet || !FFrame) return false;
    AVCodecContext* decoder = FIn.Decoder.get();
    const AVRational tb = FIn.Context->streams[FIn.Stream]->time_base;
    int64_t skipBefore = AV_NOPTS_VALUE;  // packets before this time are only read
    while (!FStop && !Done()) {
      if (ff::av_read_frame(FIn.Context, packet.get()) < 0) break;
      if (packet->stream_index == FIn.Stream) {
        if (!FPart.Index && FPart.DecodeFrom > 0 && skipBefore == AV_NOPTS_VALUE && FOrigin != AV_NOPTS_VALUE) {
          // The start of the sound is known: the decoder forgets it and waits for the pre-roll.
          ff::avcodec_flush_buffers(decoder);
          skipBefore = FOrigin + ff::av_rescale_q(FPart.DecodeFrom, AVRational{1, FIn.Decoder->sample_rate}, tb);
        }
        const bool skip = skipBefore != AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE && packet->pts < skipBefore;
        if (FPart.Index) KeepWholeFrames(*packet);
        if (!skip) {
          // A damaged packet is skipped; the decoder goes on with the next one.
          ff::avcodec_send_packet(decoder, packet.get());
          Drain();
        }
      }
      ff::av_packet_unref(packet.get());
      if (publish) publish();
    }
    if (!FStop && !Done()) {
      ff::avcodec_send_packet(decoder, nullptr);
      Drain();
    }
    return FDecodedAny;
  }
  // The sound of a later part could not be placed on the file's time line.
  bool Lost() const { return FLost; }

 private:
  bool Done() const { return FNext >= FPart.To || FLost; }

  void Drain() {
    const AVRational tb = FIn.Context->streams[FIn.Stream]->time_base;
    while (!Done() && ff::avcodec_receive_frame(FIn.Decoder.get(), FFrame.get()) >= 0) {
      AVFrame& f = *FFrame;
      if (FPart.Index) {
        PlaceByIndex(f);
      } else if (FOrigin == AV_NOPTS_VALUE) {
        FOrigin = f.pts;
        FLost = FPart.From > 0 && f.pts == AV_NOPTS_VALUE;
      }
      // Where a later part's first decoded frame lies; from then on, as counted.
      if (!FPart.Index && !FPlaced && FPart.From > 0 && FOrigin != AV_NOPTS_VALUE && FPart.DecodeFrom > 0 &&
          FOrigin != f.pts) {
        FLost = f.pts == AV_NOPTS_VALUE;
        FNext = ff::av_rescale_q(f.pts - FOrigin, tb, AVRational{1, f.sample_rate});
        FPlaced = true;
      }
      const bool waiting = FPart.From > 0 && !FPlaced;
      if (!waiting && !FLost && MixDown(f, FMixed)) {
        int64_t first = std::max<int64_t>(0, FPart.From - FNext);
        int64_t count = std::min<int64_t>(f.nb_samples, FPart.To - FNext) - first;
        if (count > 0) {
          if (!FStarted && FPart.From > 0) FBuilder.StartAt(FNext + first, f.sample_rate);
          FStarted = true;
          FBuilder.Add(FMixed.data() + first, static_cast<int>(count), f.sample_rate);
          FDecodedAny = true;
        }
        FNext += f.nb_samples;
      }
      ff::av_frame_unref(FFrame.get());
    }
  }

  // After a seek by bytes the demuxer no longer knows where the file starts and ends: it
  // takes the first packet for the file's first and asks the decoder to skip the encoder
  // delay there. The index places every frame whole, and the end is cut by the count.
  static void KeepWholeFrames(AVPacket& packet) {
    size_t size = 0;
    if (uint8_t* skip = ff::av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size))
      std::fill(skip, skip + size, uint8_t{0});
  }

  // The first frame that lies in the index places the part; from then on, as counted.
  // The pre-roll frames before From are decoded and dropped.
  void PlaceByIndex(const AVFrame& f) {
    if (FPlaced) return;
    const int64_t at = FrameSample(*FPart.Index, f.pkt_pos);
    if (at < 0) return;
    FNext = at;
    FPlaced = true;
    FLost = at > FPart.From;  // landed past the part's first sample
  }

  TInput& FIn;
  const TPart FPart;
  TEnvelopeBuilder& FBuilder;
  const std::atomic<bool>& FStop;
  TFramePtr FFrame;
  std::vector<float> FMixed;
  int64_t FOrigin = AV_NOPTS_VALUE;  // the time of the file's first decoded sample
  int64_t FNext = 0;                 // the count of the next decoded sample
  bool FPlaced = false, FStarted = false, FLost = false, FDecodedAny = false;
};

// Files long enough to be worth a second decode, in a format whose decoder gives the
// same samples after a few frames of pre-roll as from the start.
bool WorthSplitting(const TInput& in, int64_t duration) {
  const AVCodecParameters* par = in.Context->streams[in.Stream]->codecpar;
  return duration >= 60 * 1000000LL && par->codec_id == AV_CODEC_ID_MP3 && par->sample_rate > 0 &&
         std::thread::hardware_concurrency() >= 2;
}

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
  if (!OpenInput(in, url, stop)) return stop ? erStopped : erFailed;
  const int64_t duration = ReaderLength(in.Context, in.Stream, fileName, url, stop);
  if (stop) return erStopped;
  if (duration <= 0) return erFailed;

  // A long MP3 is decoded in two halves at once: the later one from a few frames before
  // the middle of a column, so that both share that column and no other.
  TEnvelopeBuilder builder(options.Columns, duration);
  TPart first, second;
  std::unique_ptr<TEnvelopeBuilder> laterBuilder;
  std::atomic<int> laterResult{-1};  // -1 running, 0 nothing decoded, 1 done
  int joinColumn = -1;
  TInput later;
  std::jthread helper;  // last: joined before what it uses is gone
  if (options.Split && WorthSplitting(in, duration) && OpenInput(later, url, stop)) {
    const int rate = in.Context->streams[in.Stream]->codecpar->sample_rate;
    joinColumn = options.Columns / 2;
    const double middle = (joinColumn + 0.5) * static_cast<double>(duration) / options.Columns;
    second.From = first.To = static_cast<int64_t>(middle * rate / 1e6);
    second.DecodeFrom = std::max<int64_t>(0, second.From - PreRollSamples);
    laterBuilder = std::make_unique<TEnvelopeBuilder>(options.Columns, duration);
    helper = std::jthread([&, fileName] {
      // Reading the frame headers costs far less than demuxing the first half's packets.
      mp3::TMp3Source index;
      if (options.SeekByIndex && index.Open(fileName) && SeekToPreRoll(later, index, second.DecodeFrom)) {
        second.Index = &index;
        // Where the decoder of the whole file stops: the tag's frame count less the
        // encoder delay and padding.
        const mp3::TEncoderTag& tag = index.Tag();
        if (tag.HasGapless && tag.Frames > 0)
          second.To = std::min<int64_t>(second.To, int64_t{tag.Frames} * index.SamplesPerFrame() - tag.Delay - tag.Padding);
      }
      TPartDecode decode(later, second, *laterBuilder, stop);
      const bool any = decode.Run(nullptr);
      laterResult = any && !decode.Lost() ? 1 : 0;
    });
  }
  int published = 0;
  Clock::time_point nextPublish = Clock::now();
  const auto publishSoFar = [&] {
    const int filled = builder.Envelope().Filled;
    if (filled > published && Clock::now() >= nextPublish && !stop) {
      publish(builder.Envelope());
      published = filled;
      nextPublish = Clock::now() + options.PublishInterval;
    }
  };
  bool decodedAny = TPartDecode(in, first, builder, stop).Run(publishSoFar);
  if (helper.joinable()) {
    helper.join();
    if (!stop && laterResult == 1) {
      builder.Join(joinColumn, laterBuilder->Envelope());
    } else if (!stop) {
      // The later half could not be placed on the time line: one decode of the whole.
      TInput again;
      if (!OpenInput(again, url, stop)) return stop ? erStopped : erFailed;
      builder = TEnvelopeBuilder(options.Columns, duration);
      published = 0;
      decodedAny = TPartDecode(again, TPart{}, builder, stop).Run(publishSoFar);
    }
  }
  if (stop) return erStopped;
  if (!decodedAny) return erFailed;
  builder.Finish();
  result = builder.Envelope();
  return erDone;
}

}  // namespace sw
