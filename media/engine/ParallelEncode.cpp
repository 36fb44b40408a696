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
#include <optional>
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

// The steps of one parted encode, sharing the plan and the parts.
struct TCustomFFmpeg::TRun::TPartedEncode {
  explicit TPartedEncode(TRun& run);
  // Whether the run is one that parts can encode: one MP3 stream of LAME from one seekable
  // input, a limited segment, nothing that counts frames, bytes or wall time.
  static bool Suits(TRun& run);
  // The parts' shares of what the input holds of the segment; false when too short.
  bool Plan();
  // The run of a part on its own copy of the input and a copy of the encoder's settings;
  // null when the input cannot be opened again.
  std::unique_ptr<TCustomFFmpeg> MakeEngine(TPart& part);
  TOutputFilePtr MakeOutput(TPart& part);
  // A worker: takes the next part until none is left.
  void Work();
  void EncodePart(TPart& part);
  // Runs the workers to their end, reporting progress and passing stop requests on.
  void RunWorkers();
  void ReportProgress();
  // True when the run ends here (stopped), false to encode with one encoder; raises a
  // part's error.
  std::optional<bool> Outcome();
  // Joins the parts' frames into the output; false when they cannot be joined.
  bool Join();

  TRun& R;
  TCustomFFmpeg& E;
  TEngineSettings& S;
  TOutputStream& Ost;
  AVCodecContext* Enc;
  const AVFormatContext* In;
  int64_t Fs = 0, Rate = 0, Length = 0, SegmentStart = 0;
  int Cores = 1;
  std::vector<int64_t> Bounds;             // output frame where each part's share begins
  std::vector<std::unique_ptr<TPart>> Parts;
  std::mutex HookLock;                     // one audio hook call at a time
  std::mutex DoneLock;                     // guards Stopping and every part's Engine
  std::condition_variable DoneSignal;      // a part is done
  bool Stopping = false;                   // under DoneLock
  std::atomic<size_t> Next{0};             // the next part a worker takes
};

TCustomFFmpeg::TRun::TPartedEncode::TPartedEncode(TRun& run)
    : R(run), E(run.E), S(run.S), Ost(run.Ost[0]), Enc(Ost.Encoder()), In(E.InputFile(0)) {
  Fs = Enc->frame_size;
  Rate = Enc->sample_rate;
  Cores = S.EncodeWorkers > 0 ? S.EncodeWorkers : static_cast<int>(std::thread::hardware_concurrency());
  Cores = std::max(Cores, 1);
}

bool TCustomFFmpeg::TRun::TPartedEncode::Suits(TRun& run) {
  const TEngineSettings& S = run.S;
  if (S.JoinMode || run.Files.size() != 1 || run.Ost.size() != 1 || run.E.OutputFileCount() != 1) return false;
  const TOutputStream& ost = run.Ost[0];
  if (!ost.EncodingNeeded || !ost.Filters.empty() || !ost.Setup->BitstreamFilters.empty()) return false;
  const AVCodecContext* enc = ost.Encoder();
  const AVFormatContext* in = run.E.InputFile(0);
  const TInputStream& source = run.Ist[ost.SourceIndex];
  if (enc->codec_id != AV_CODEC_ID_MP3 || !enc->codec || std::strcmp(enc->codec->name, "libmp3lame") != 0 ||
      enc->frame_size <= 1 || std::strcmp(run.E.OutputFile(0)->Context->oformat->name, "mp3") != 0 ||
      source.Stream->codecpar->sample_rate != enc->sample_rate || !in->url)
    return false;
  if (S.StartTime < 0 || S.RecordingTime == NoLimit || S.RecordingTime < S.PartsFrom || S.FileSizeLimit > 0 ||
      S.RateEmulation || S.AudioSyncMethod != 0 || S.MaxFrames[AVMEDIA_TYPE_AUDIO] != std::numeric_limits<int>::max())
    return false;
  // Each part seeks its own input to its own stretch.
  if (!run.InputSeekable(0)) return false;
  const int cores = S.EncodeWorkers > 0 ? S.EncodeWorkers : static_cast<int>(std::thread::hardware_concurrency());
  return !(S.EncodeParts == 1 || (S.EncodeParts <= 0 && cores < 2));
}

bool TCustomFFmpeg::TRun::TPartedEncode::Plan() {
  // The parts share out what the input holds of the segment (as far as its duration
  // tells); the last one runs to the segment's end whatever it holds. The parts' inputs
  // seek by the frame offsets, scanned once for all.
  Length = ff::av_rescale(S.RecordingTime, Rate, AV_TIME_BASE);
  int64_t planned = Length;
  if (In->duration > 0) {
    const int64_t end = In->duration + (In->start_time != AV_NOPTS_VALUE ? In->start_time : 0) + E.FInputOffset[0];
    planned = std::min(planned, ff::av_rescale(end - S.StartTime, Rate, AV_TIME_BASE));
  }
  // A scan of an MP3 input's frames that met the end of the file tells what it really
  // holds, where the duration may only be estimated from the bit rate.
  if (!E.FFrameOffsets[0]) E.FFrameOffsets[0] = ScanFrameOffsets(In, S.StartTime + S.RecordingTime - E.FInputOffset[0]);
  if (const TFrameOffsets* frames = E.FFrameOffsets[0].get(); frames && frames->WholeFile && frames->SampleRate == Rate) {
    const int64_t held = static_cast<int64_t>(frames->Offsets.size()) * frames->SamplesPerFrame;
    planned = std::min(planned, held + ff::av_rescale(E.FInputOffset[0] - S.StartTime, Rate, AV_TIME_BASE));
  }
  if (planned < ff::av_rescale(S.PartsFrom, Rate, AV_TIME_BASE)) return false;
  const int64_t roll = (RollSamples + Fs - 1) / Fs * Fs;
  // Parts of a third of the shortest segment that is split, at least: the roll around each
  // costs a fixed amount.
  const int64_t minShare = ff::av_rescale(S.PartsFrom / 3, Rate, AV_TIME_BASE);
  Bounds = PlanShares(planned, Fs, Cores, S.EncodeParts, minShare);
  const size_t count = Bounds.size();
  for (size_t k = 0; k < count; ++k) {
    auto part = std::make_unique<TPart>();
    part->ShareFrom = Bounds[k] * Fs;
    part->ShareTo = k + 1 < count ? Bounds[k + 1] * Fs : Length;
    part->From = k == 0 ? 0 : part->ShareFrom - roll;
    part->To = k + 1 < count ? part->ShareTo + roll : Length;
    part->Encoded.First = part->From / Fs;
    Parts.push_back(std::move(part));
  }
  SegmentStart = ff::av_rescale(S.StartTime, Rate, AV_TIME_BASE);
  return true;
}

std::unique_ptr<TCustomFFmpeg> TCustomFFmpeg::TRun::TPartedEncode::MakeEngine(TPart& part) {
  auto child = std::make_unique<TCustomFFmpeg>();
  child->Settings() = S;
  TEngineSettings& cs = child->Settings();
  // The part's share on the input's time line; a sample count converts there and back
  // exactly, as a microsecond is shorter than a sample.
  cs.StartTime = ff::av_rescale(SegmentStart + part.From, AV_TIME_BASE, Rate);
  cs.RecordingTime = ff::av_rescale(SegmentStart + part.To, AV_TIME_BASE, Rate) - cs.StartTime;
  cs.ReportInterval = NoLimit;
  cs.SeekToStart = true;
  AVFormatContext* input = nullptr;
  if (OpenInputFormat(&input, In->url, In->iformat, nullptr) < 0) {
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
  if (found < 0 || input->nb_streams != In->nb_streams) {
    part.SetUpFailure = "its input shows other streams";
    return nullptr;
  }
  for (unsigned k = 0; k < In->nb_streams; ++k) input->streams[k]->discard = In->streams[k]->discard;
  child->FForcedDecoders = E.FForcedDecoders;
  child->FDecoderOptions = E.FDecoderOptions;
  child->AddOutputFile(MakeOutput(part));
  if (E.OnAudioHook)
    child->OnAudioHook = [this](TCustomFFmpeg*, uint8_t* samples, int64_t time, int size, int sampleRate,
                                int channels, int format) {
      std::lock_guard<std::mutex> g(HookLock);
      E.OnAudioHook(&E, samples, time, size, sampleRate, channels, format);
    };
  return child;
}

// An MP3 output of the encoder's settings whose packets the part keeps.
TOutputFilePtr TCustomFFmpeg::TRun::TPartedEncode::MakeOutput(TPart& part) {
  auto file = std::make_shared<TOutputFile>();
  if (ff::avformat_alloc_output_context2(&file->Context, nullptr, "mp3", nullptr) < 0 || !file->Context)
    RaiseFFmpeg("av_mallocz fail");
  AVStream* st = ff::avformat_new_stream(file->Context, nullptr);
  if (!st) RaiseFFmpeg("av_mallocz fail");
  st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
  st->codecpar->codec_id = Enc->codec_id;
  const AVCodec* codec = Ost.Setup->Encoder ? Ost.Setup->Encoder : Enc->codec;
  TOutputStreamSetup& setup = file->Streams.emplace_back();
  setup.Encoder = codec;
  setup.Codec = CopyEncoderSettings(codec, Enc);
  if (!setup.Codec) RaiseFFmpeg("av_mallocz fail");
  file->PacketSink = [&part](AVPacket* packet) {
    TPacketPtr kept(ff::av_packet_alloc());
    if (!kept || (!packet->buf && ff::av_packet_ref(kept.get(), packet) < 0)) RaiseFFmpeg("av_mallocz fail");
    if (packet->buf) ff::av_packet_move_ref(kept.get(), packet);
    part.Made += kept->duration;
    part.Encoded.Packets.push_back(std::move(kept));
  };
  return file;
}

void TCustomFFmpeg::TRun::TPartedEncode::Work() {
  for (size_t k; (k = Next++) < Parts.size();) {
    TPart& part = *Parts[k];
    try {
      EncodePart(part);
    } catch (...) {
      part.Error = std::current_exception();
    }
    std::lock_guard<std::mutex> g(DoneLock);
    part.Done = true;
    DoneSignal.notify_all();
  }
}

void TCustomFFmpeg::TRun::TPartedEncode::EncodePart(TPart& part) {
  bool stopped;
  {
    std::lock_guard<std::mutex> g(DoneLock);
    stopped = Stopping;
  }
  std::unique_ptr<TCustomFFmpeg> child = stopped ? nullptr : MakeEngine(part);
  if (!child) return;
  TCustomFFmpeg* engine = child.get();
  {
    std::lock_guard<std::mutex> g(DoneLock);
    part.Engine = std::move(child);
    if (Stopping) engine->RequestStop();
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
  std::lock_guard<std::mutex> g(DoneLock);
  child = std::move(part.Engine);
}

void TCustomFFmpeg::TRun::TPartedEncode::RunWorkers() {
  std::vector<std::thread> workers;
  for (size_t w = 0; w < std::min(Parts.size(), static_cast<size_t>(Cores)); ++w) workers.emplace_back([this] { Work(); });
  const auto allDone = [&] { return std::all_of(Parts.begin(), Parts.end(), [](auto& p) { return p->Done.load(); }); };
  for (;;) {
    {
      std::unique_lock<std::mutex> g(DoneLock);
      DoneSignal.wait_for(g, std::chrono::milliseconds(50), allDone);
      const bool failed =
          std::any_of(Parts.begin(), Parts.end(), [](auto& p) { return p->Done && (p->Error || !p->SetUpFailure.empty()); });
      if ((E.StopRequested() || failed) && !Stopping) {
        Stopping = true;
        for (auto& p : Parts)
          if (p->Engine) p->Engine->RequestStop();
      }
    }
    if (allDone()) break;
    ReportProgress();
  }
  for (std::thread& t : workers) t.join();
  Ost.MuxPosition = 0;
}

// The output time is what the parts have encoded of their shares.
void TCustomFFmpeg::TRun::TPartedEncode::ReportProgress() {
  const int64_t now = WallClock();
  if (now - R.LastReport <= S.ReportInterval) return;
  R.LastReport = now;
  int64_t encoded = 0;
  for (const auto& p : Parts)
    encoded += std::clamp<int64_t>(p->Made - (p->ShareFrom - p->From), 0, p->ShareTo - p->ShareFrom);
  Ost.MuxPosition =
      ff::av_rescale_q(std::min(encoded, Length), AVRational{1, static_cast<int>(Rate)}, Ost.Stream->time_base);
  R.ProgressReport(false, 0);
}

std::optional<bool> TCustomFFmpeg::TRun::TPartedEncode::Outcome() {
  for (auto& p : Parts)
    if (p->Error) std::rethrow_exception(p->Error);
  if (E.StopRequested()) return true;
  for (const auto& p : Parts)
    if (!p->SetUpFailure.empty()) {
      E.Log(llWarning, "A part of the encode at %.3f s cannot run (%s); encoding with one encoder",
            static_cast<double>(p->ShareFrom) / Rate, p->SetUpFailure.c_str());
      return false;
    }
  return std::nullopt;
}

bool TCustomFFmpeg::TRun::TPartedEncode::Join() {
  // Each later part takes over at a frame near its planned boundary whose reservoir bytes
  // fit in the free tail of the frames before it.
  std::vector<TEncodedPart> encoded;
  for (auto& p : Parts) encoded.push_back(std::move(p->Encoded));
  std::vector<TJoinSpan> spans;
  TJoinFailure failure;
  if (!JoinParts(encoded, Bounds, JoinReach, spans, failure)) {
    E.Log(llWarning, "The parts of the encode cannot be joined at %.3f s (%s); encoding with one encoder",
          static_cast<double>(Bounds[failure.Part] * Fs) / Rate, failure.Reason.c_str());
    return false;
  }
  if (S.Verbosity > 0) {
    std::string joins;
    int64_t at = 0;
    for (size_t k = 0; k + 1 < spans.size(); ++k) joins += " " + std::to_string(at += spans[k].End - spans[k].Begin);
    E.Log(llVerbose, "Encoded in %zu parts, joined at frames%s", Parts.size(), joins.c_str());
  }
  int64_t j = 0;
  for (const TJoinSpan& span : spans)
    for (size_t i = span.Begin; i < span.End; ++i, ++j) {
      AVPacket* packet = encoded[span.Part].Packets[i].get();
      packet->pts = packet->dts = j * Fs - Enc->initial_padding;
      packet->stream_index = Ost.StreamIndex;
      ff::av_packet_rescale_ts(packet, Enc->time_base, Ost.Stream->time_base);
      R.AudioBytes += packet->size;
      R.WriteFrame(Ost, packet);
      ++Ost.FrameNumber;
      encoded[span.Part].Packets[i].reset();  // the muxer has the bytes: free them as it goes
    }
  // The last part runs to the end of what the input holds of the segment.
  Ost.EncodedSamples = Parts.back()->From + Parts.back()->Given;
  return true;
}

bool TCustomFFmpeg::TRun::EncodeInParts() {
  if (!TPartedEncode::Suits(*this)) return false;
  TPartedEncode parts(*this);
  if (!parts.Plan()) return false;
  parts.RunWorkers();
  if (const std::optional<bool> ended = parts.Outcome()) return *ended;
  return parts.Join();
}

}  // namespace sw
