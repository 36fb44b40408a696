#include "SpanRead.h"

#include <algorithm>
#include <cmath>

#include "PartDecode.h"
#include "media/binding/FFLoad.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

TSpanReader::TSpanReader() = default;
TSpanReader::~TSpanReader() = default;

bool TSpanReader::Reopen(const std::atomic<bool>& stop) {
  FIn = std::make_unique<TInput>();
  FFresh = OpenInput(*FIn, FUrl, stop);
  if (!FFresh) FIn.reset();
  return FFresh;
}

bool TSpanReader::Open(const std::string& fileName, const std::atomic<bool>& stop) {
  FFileName = fileName;
  FIndexed = false;
  FIn.reset();
  try {
    FUrl = MediaUrl(fileName);
  } catch (const EMediaUrlError&) {
    return false;
  }
  if (!Reopen(stop)) return false;
  const AVCodecParameters* par = FIn->Context->streams[FIn->Stream]->codecpar;
  // A file that is no clean MP3 stream is read from its start each time.
  FIndexed = par->codec_id == AV_CODEC_ID_MP3 && FIndex.Open(fileName) && FIndex.Header().SampleRate == par->sample_rate;
  return true;
}

TEnvelopeResult TSpanReader::Read(int64_t from, int64_t to, const std::atomic<bool>& stop, TSpan& span) {
  span = TSpan{};
  if (!FIn && (FUrl.empty() || !Reopen(stop))) return stop ? erStopped : erFailed;
  const int rate = FIn->Context->streams[FIn->Stream]->codecpar->sample_rate;
  if (rate <= 0 || to <= from) return erFailed;
  from = std::max<int64_t>(0, from);
  const int64_t fromSample = static_cast<int64_t>(std::floor(static_cast<double>(from) * rate / 1e6));
  const int64_t toSample = static_cast<int64_t>(std::ceil(static_cast<double>(to) * rate / 1e6));

  span.SampleRate = rate;
  span.FirstSample = fromSample;
  span.Samples.reserve(static_cast<size_t>(toSample - fromSample));
  const TSampleSink sink = [&](int64_t sample, const float* s, int count, int sampleRate) {
    if (sampleRate != rate) return;  // a span is drawn at one rate
    const int64_t skip = std::clamp<int64_t>(fromSample - sample, 0, count);
    const int64_t expected = fromSample + static_cast<int64_t>(span.Samples.size());
    if (sample + skip != expected) return;  // not the next sample: a gap the count cannot place
    span.Samples.insert(span.Samples.end(), s + skip, s + count);
  };

  TPart part;
  part.To = toSample;
  const int64_t decodeFrom = fromSample - PreRollSamples;
  bool sought = false;
  if (FIndexed && decodeFrom > 0 && SeekToPreRoll(*FIn, FIndex, decodeFrom)) {
    ff::avcodec_flush_buffers(FIn->Decoder.get());
    part.From = fromSample;
    part.DecodeFrom = decodeFrom;
    part.Index = &FIndex;
    sought = true;
  } else {
    if (!FFresh && !Reopen(stop)) return stop ? erStopped : erFailed;
    // Near the start the whole beginning is decoded and the sink drops what precedes.
    if (decodeFrom > 0) {
      part.From = fromSample;
      part.DecodeFrom = decodeFrom;
    }
  }
  FFresh = false;
  TPartDecode decode(*FIn, part, sink, stop);
  decode.Run(nullptr);
  if (stop) {
    span.Samples.clear();
    return erStopped;
  }
  if (sought && decode.Lost()) {
    // The index did not place the sound: read it the slow way.
    FIndexed = false;
    return Read(from, to, stop, span);
  }
  if (span.Samples.empty()) return erFailed;
  return erDone;
}

}  // namespace sw
