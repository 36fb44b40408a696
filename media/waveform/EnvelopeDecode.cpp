#include "EnvelopeDecode.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PartDecode.h"
#include "media/base/MyUtils.h"
#include "media/binding/FFLoad.h"
#include "media/common/UnicodeProtocol.h"
#include "media/info/DurationProbe.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

namespace {

using Clock = std::chrono::steady_clock;

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

// Feeds a builder; a part that starts later places its first sample by its count.
TSampleSink Into(TEnvelopeBuilder& builder, const TPart& part) {
  return [&builder, later = part.From > 0, started = false](int64_t sample, const float* s, int count,
                                                            int rate) mutable {
    if (!started && later) builder.StartAt(sample, rate);
    started = true;
    builder.Add(s, count, rate);
  };
}

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
      TPartDecode decode(later, second, Into(*laterBuilder, second), stop);
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
  bool decodedAny = TPartDecode(in, first, Into(builder, first), stop).Run(publishSoFar);
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
      decodedAny = TPartDecode(again, TPart{}, Into(builder, TPart{}), stop).Run(publishSoFar);
    }
  }
  if (stop) return erStopped;
  if (!decodedAny) return erFailed;
  builder.Finish();
  result = builder.Envelope();
  return erDone;
}

}  // namespace sw
