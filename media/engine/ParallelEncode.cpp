// A long MP3 segment encoded on every core: the segment is split at frame boundaries into
// parts, each part is read, shaped and encoded by a run of its own (its own input context,
// decoder and LAME encoder), starting a few frames before its share and ending a few
// after it, and the parts' frames are joined into the one output stream. The workers
// take the parts in order; the first ones are large and the last ones small, so that a
// core that is slower for a while does not hold up the end.
//
// Each part's run is the ordinary one, so the volume, the audio hook and the exact trim
// act as they do for one encoder; the hook sees every buffer of a part in time order,
// from several threads one call at a time. The time line is the segment's own: a frame
// at segment sample n has the same times and gains whichever part decodes it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "RunTables.h"
#include "media/binding/FFLoad.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"
#include "FrameSeekIndex.h"
#include "PartJoin.h"

namespace sw {

namespace {

// A part's encoder starts this many samples before its share, and runs on past it, so
// that the frames kept at a join come from an encoder that has settled and that saw the
// sound after them (LAME looks ahead about a frame and a half).
constexpr int64_t RollSamples = 9216;
// How far from the planned boundary a join may move, in frames, to find a frame whose
// reservoir bytes fit in front of it.
constexpr int JoinReach = 3;


struct TPart {
  int64_t From = 0, To = 0;            // segment samples given to its encoder
  int64_t ShareFrom = 0, ShareTo = 0;  // the samples it is planned to give the output
  TEncodedPart Encoded;                // written by its worker only, read after the workers end
  std::atomic<int64_t> Made{0};        // samples of frames made so far
  int64_t Given = 0;                   // samples its encoder was given; written by its worker
  std::atomic<bool> Done{false};
  std::exception_ptr Error;
  std::string SetUpFailure;  // why its input could not be opened, when not
  // Set and reset by its worker under the stop lock, so a stop reaches a running part.
  std::unique_ptr<TCustomFFmpeg> Engine;
};

int64_t RoundTo(int64_t value, int64_t step) { return (value + step / 2) / step * step; }

// Output frame index where each part's share begins. Given a count, the shares are equal;
// else each round gives every worker a part of half of what is left, down to parts of
// about `minShare` samples, and the last round shares the rest equally.
std::vector<int64_t> PlanShares(int64_t samples, int64_t frameSize, int workers, int count, int64_t minShare) {
  std::vector<int64_t> starts;  // samples
  if (count > 0) {
    for (int k = 0; k < count; ++k) starts.push_back(samples * k / count);
  } else {
    int64_t at = 0, rest = samples;
    while (rest > 2 * minShare * workers) {
      for (int w = 0; w < workers; ++w) starts.push_back(at + rest / 2 * w / workers);
      at += rest / 2;
      rest -= rest / 2;
    }
    for (int w = 0; w < workers; ++w) starts.push_back(at + rest * w / workers);
  }
  std::vector<int64_t> bounds;
  for (const int64_t s : starts) bounds.push_back(RoundTo(s, frameSize) / frameSize);
  return bounds;
}

}  // namespace

TCodecContextPtr CopyEncoderSettings(const AVCodec* codec, const AVCodecContext* from) {
  TCodecContextPtr c(ff::avcodec_alloc_context3(codec));
  if (!c) return nullptr;
  // The options carry the bit rate, quality and the encoder's own settings; the rest is
  // the format and what the set-up filled in.
  ff::av_opt_copy(c.get(), from);
  if (c->priv_data && from->priv_data && from->codec == codec) ff::av_opt_copy(c->priv_data, from->priv_data);
  c->codec_type = from->codec_type;
  c->codec_id = codec->id;
  c->sample_fmt = from->sample_fmt;
  c->sample_rate = from->sample_rate;
  ff::av_channel_layout_copy(&c->ch_layout, &from->ch_layout);
  c->time_base = from->time_base;
  c->flags = from->flags;
  c->width = from->width;
  c->height = from->height;
  c->pix_fmt = from->pix_fmt;
  c->sample_aspect_ratio = from->sample_aspect_ratio;
  return c;
}

bool TCustomFFmpeg::TRun::EncodeInParts() {
  if (S.JoinMode || Files.size() != 1 || Ost.size() != 1 || E.OutputFileCount() != 1) return false;
  TOutputStream& ost = Ost[0];
  if (!ost.EncodingNeeded || !ost.Filters.empty() || !ost.Setup->BitstreamFilters.empty()) return false;
  AVCodecContext* enc = ost.Encoder();
  const AVFormatContext* in = E.InputFile(0);
  const TInputStream& source = Ist[ost.SourceIndex];
  const int64_t fs = enc->frame_size, rate = enc->sample_rate;
  if (enc->codec_id != AV_CODEC_ID_MP3 || !enc->codec || std::strcmp(enc->codec->name, "libmp3lame") != 0 ||
      fs <= 1 || std::strcmp(E.OutputFile(0)->Context->oformat->name, "mp3") != 0 ||
      source.Stream->codecpar->sample_rate != rate || !in->url)
    return false;
  if (S.StartTime < 0 || S.RecordingTime == NoLimit || S.RecordingTime < S.PartsFrom || S.FileSizeLimit > 0 ||
      S.RateEmulation || S.AudioSyncMethod != 0 || S.MaxFrames[AVMEDIA_TYPE_AUDIO] != std::numeric_limits<int>::max())
    return false;
  // Each part seeks its own input to its own stretch.
  if (!InputSeekable(0)) return false;
  const int cores = S.EncodeWorkers > 0 ? S.EncodeWorkers : static_cast<int>(std::thread::hardware_concurrency());
  if (S.EncodeParts == 1 || (S.EncodeParts <= 0 && cores < 2)) return false;

  // The parts share out what the input holds of the segment (as far as its duration
  // tells); the last one runs to the segment's end whatever it holds. The parts' inputs
  // seek by the frame offsets, scanned once for all.
  const int64_t length = ff::av_rescale(S.RecordingTime, rate, AV_TIME_BASE);
  int64_t planned = length;
  if (in->duration > 0) {
    const int64_t end = in->duration + (in->start_time != AV_NOPTS_VALUE ? in->start_time : 0) + E.FInputOffset[0];
    planned = std::min(planned, ff::av_rescale(end - S.StartTime, rate, AV_TIME_BASE));
  }
  // A scan of an MP3 input's frames that met the end of the file tells what it really
  // holds, where the duration may only be estimated from the bit rate.
  if (!E.FFrameOffsets[0]) E.FFrameOffsets[0] = ScanFrameOffsets(in, S.StartTime + S.RecordingTime - E.FInputOffset[0]);
  if (const TFrameOffsets* frames = E.FFrameOffsets[0].get(); frames && frames->WholeFile && frames->SampleRate == rate) {
    const int64_t held = static_cast<int64_t>(frames->Offsets.size()) * frames->SamplesPerFrame;
    planned = std::min(planned, held + ff::av_rescale(E.FInputOffset[0] - S.StartTime, rate, AV_TIME_BASE));
  }
  if (planned < ff::av_rescale(S.PartsFrom, rate, AV_TIME_BASE)) return false;
  const int64_t roll = (RollSamples + fs - 1) / fs * fs;
  // Parts of a third of the shortest segment that is split, at least: the roll around each
  // costs a fixed amount.
  const int64_t minShare = ff::av_rescale(S.PartsFrom / 3, rate, AV_TIME_BASE);
  const std::vector<int64_t> bounds = PlanShares(planned, fs, std::max(cores, 1), S.EncodeParts, minShare);
  const size_t count = bounds.size();
  std::vector<std::unique_ptr<TPart>> parts;
  for (size_t k = 0; k < count; ++k) {
    auto part = std::make_unique<TPart>();
    part->ShareFrom = bounds[k] * fs;
    part->ShareTo = k + 1 < count ? bounds[k + 1] * fs : length;
    part->From = k == 0 ? 0 : part->ShareFrom - roll;
    part->To = k + 1 < count ? part->ShareTo + roll : length;
    part->Encoded.First = part->From / fs;
    parts.push_back(std::move(part));
  }

  const int64_t segmentStart = ff::av_rescale(S.StartTime, rate, AV_TIME_BASE);
  const AVCodec* codec = ost.Setup->Encoder ? ost.Setup->Encoder : enc->codec;
  std::mutex hookLock;
  // One run per part, on its own copy of the input and a copy of the encoder's settings;
  // null when the input cannot be opened again.
  const auto makeEngine = [&](TPart& part) -> std::unique_ptr<TCustomFFmpeg> {
    auto child = std::make_unique<TCustomFFmpeg>();
    child->Settings() = S;
    TEngineSettings& cs = child->Settings();
    // The part's share on the input's time line; a sample count converts there and back
    // exactly, as a microsecond is shorter than a sample.
    cs.StartTime = ff::av_rescale(segmentStart + part.From, AV_TIME_BASE, rate);
    cs.RecordingTime = ff::av_rescale(segmentStart + part.To, AV_TIME_BASE, rate) - cs.StartTime;
    cs.ReportInterval = NoLimit;
    cs.SeekToStart = true;
    AVFormatContext* input = nullptr;
    if (OpenInputFormat(&input, in->url, in->iformat, nullptr) < 0) {
      part.SetUpFailure = "its input cannot be opened";
      return nullptr;
    }
    int found;
    {
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      found = ff::avformat_find_stream_info(input, nullptr);
    }
    child->AddInputFile(input, E.FInputOffset[0]);
    child->FFrameOffsets[0] = E.FFrameOffsets[0];
    if (found < 0 || input->nb_streams != in->nb_streams) {
      part.SetUpFailure = "its input shows other streams";
      return nullptr;
    }
    for (unsigned k = 0; k < in->nb_streams; ++k) input->streams[k]->discard = in->streams[k]->discard;
    child->FForcedDecoders = E.FForcedDecoders;
    child->FDecoderOptions = E.FDecoderOptions;

    auto file = std::make_shared<TOutputFile>();
    if (ff::avformat_alloc_output_context2(&file->Context, nullptr, "mp3", nullptr) < 0 || !file->Context)
      RaiseFFmpeg("av_mallocz fail");
    child->AddOutputFile(file);
    AVStream* st = ff::avformat_new_stream(file->Context, nullptr);
    if (!st) RaiseFFmpeg("av_mallocz fail");
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = enc->codec_id;
    TOutputStreamSetup& setup = file->Streams.emplace_back();
    setup.Encoder = codec;
    setup.Codec = CopyEncoderSettings(codec, enc);
    if (!setup.Codec) RaiseFFmpeg("av_mallocz fail");
    file->PacketSink = [&part](AVPacket* packet) {
      TPacketPtr kept(ff::av_packet_alloc());
      if (!kept || (!packet->buf && ff::av_packet_ref(kept.get(), packet) < 0)) RaiseFFmpeg("av_mallocz fail");
      if (packet->buf) ff::av_packet_move_ref(kept.get(), packet);
      part.Made += kept->duration;
      part.Encoded.Packets.push_back(std::move(kept));
    };
    if (E.OnAudioHook)
      child->OnAudioHook = [this, &hookLock](TCustomFFmpeg*, uint8_t* samples, int64_t time, int size, int sampleRate,
                                             int channels, int format) {
        std::lock_guard<std::mutex> g(hookLock);
        E.OnAudioHook(&E, samples, time, size, sampleRate, channels, format);
      };
    return child;
  };

  std::mutex doneLock;  // guards `stopping` and every part's Engine
  std::condition_variable doneSignal;
  bool stopping = false;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t k; (k = next++) < count;) {
      TPart& part = *parts[k];
      try {
        bool stopped;
        {
          std::lock_guard<std::mutex> g(doneLock);
          stopped = stopping;
        }
        std::unique_ptr<TCustomFFmpeg> child = stopped ? nullptr : makeEngine(part);
        if (child) {
          TCustomFFmpeg* engine = child.get();
          {
            std::lock_guard<std::mutex> g(doneLock);
            part.Engine = std::move(child);
            if (stopping) engine->RequestStop();
          }
          {
            TRun run(*engine);
            run.SetUp();
            run.SeekInputsToStart();
            run.PacketLoop();
            run.DrainDecoders();
            run.CloseCodecs();
            part.Given = run.Ost.empty() ? 0 : run.Ost[0].EncodedSamples;
          }
          std::lock_guard<std::mutex> g(doneLock);
          child = std::move(part.Engine);
        }
      } catch (...) {
        part.Error = std::current_exception();
      }
      std::lock_guard<std::mutex> g(doneLock);
      part.Done = true;
      doneSignal.notify_all();
    }
  };
  std::vector<std::thread> workers;
  for (size_t w = 0; w < std::min(count, static_cast<size_t>(std::max(cores, 1))); ++w) workers.emplace_back(work);

  // Progress and stop requests while the parts run: the output time is what the parts
  // have encoded of their shares.
  const auto allDone = [&] { return std::all_of(parts.begin(), parts.end(), [](auto& p) { return p->Done.load(); }); };
  for (;;) {
    {
      std::unique_lock<std::mutex> g(doneLock);
      doneSignal.wait_for(g, std::chrono::milliseconds(50), allDone);
      const bool failed =
          std::any_of(parts.begin(), parts.end(), [](auto& p) { return p->Done && (p->Error || !p->SetUpFailure.empty()); });
      if ((E.StopRequested() || failed) && !stopping) {
        stopping = true;
        for (auto& p : parts)
          if (p->Engine) p->Engine->RequestStop();
      }
    }
    if (allDone()) break;
    const int64_t now = WallClock();
    if (now - LastReport > S.ReportInterval) {
      LastReport = now;
      int64_t encoded = 0;
      for (const auto& p : parts)
        encoded += std::clamp<int64_t>(p->Made - (p->ShareFrom - p->From), 0, p->ShareTo - p->ShareFrom);
      ost.MuxPosition = ff::av_rescale_q(std::min(encoded, length), AVRational{1, static_cast<int>(rate)},
                                         ost.Stream->time_base);
      ProgressReport(false, 0);
    }
  }
  for (std::thread& t : workers) t.join();
  ost.MuxPosition = 0;
  for (auto& p : parts)
    if (p->Error) std::rethrow_exception(p->Error);
  if (E.StopRequested()) return true;
  for (size_t k = 0; k < count; ++k)
    if (!parts[k]->SetUpFailure.empty()) {
      E.Log(llWarning, "A part of the encode at %.3f s cannot run (%s); encoding with one encoder",
            static_cast<double>(parts[k]->ShareFrom) / rate, parts[k]->SetUpFailure.c_str());
      return false;
    }

  // The join: each later part takes over at a frame near its planned boundary whose
  // reservoir bytes fit in the free tail of the frames before it.
  std::vector<TEncodedPart> encoded;
  for (auto& p : parts) encoded.push_back(std::move(p->Encoded));
  std::vector<TJoinSpan> spans;
  TJoinFailure failure;
  if (!JoinParts(encoded, bounds, JoinReach, spans, failure)) {
    E.Log(llWarning, "The parts of the encode cannot be joined at %.3f s (%s); encoding with one encoder",
          static_cast<double>(bounds[failure.Part] * fs) / rate, failure.Reason.c_str());
    return false;
  }
  if (S.Verbosity > 0) {
    std::string joins;
    int64_t at = 0;
    for (size_t k = 0; k + 1 < spans.size(); ++k) joins += " " + std::to_string(at += spans[k].End - spans[k].Begin);
    E.Log(llVerbose, "Encoded in %zu parts, joined at frames%s", count, joins.c_str());
  }
  int64_t j = 0;
  for (const TJoinSpan& span : spans)
    for (size_t i = span.Begin; i < span.End; ++i, ++j) {
      AVPacket* packet = encoded[span.Part].Packets[i].get();
      packet->pts = packet->dts = j * fs - enc->initial_padding;
      packet->stream_index = ost.StreamIndex;
      ff::av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
      AudioBytes += packet->size;
      WriteFrame(ost, packet);
      ++ost.FrameNumber;
      encoded[span.Part].Packets[i].reset();  // the muxer has the bytes: free them as it goes
    }
  // The last part runs to the end of what the input holds of the segment.
  ost.EncodedSamples = parts.back()->From + parts.back()->Given;
  return true;
}

}  // namespace sw
