// A long MP3 segment encoded on every core: the segment is split at frame boundaries into
// parts, each part is read, shaped and encoded by a run of its own (its own input context,
// decoder and LAME encoder), starting a few frames before its share and ending a few
// after it, and the parts' frames are joined into the one output stream.
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
#include "media/mp3/FrameJoin.h"

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
  int64_t From = 0, To = 0;  // segment samples given to its encoder
  int64_t First = 0;         // output frame index of its first frame
  std::vector<mp3::TFrameBytes> Frames;
  std::vector<int64_t> Durations;              // samples
  std::vector<std::vector<uint8_t>> SkipData;  // the encoder's end-padding notice, if any
  std::atomic<int64_t> Encoded{0};             // samples of frames made so far
  std::atomic<bool> Done{false};
  std::exception_ptr Error;
  std::unique_ptr<TCustomFFmpeg> Engine;
};

int64_t RoundTo(int64_t value, int64_t step) { return (value + step / 2) / step * step; }

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
  const int count = S.EncodeParts > 0 ? S.EncodeParts : static_cast<int>(std::thread::hardware_concurrency());
  if (count < 2) return false;

  // The parts share out what the input holds of the segment (as far as its duration
  // tells); the last one runs to the segment's end whatever it holds.
  const int64_t length = ff::av_rescale(S.RecordingTime, rate, AV_TIME_BASE);
  int64_t planned = length;
  if (in->duration > 0) {
    const int64_t end = in->duration + (in->start_time != AV_NOPTS_VALUE ? in->start_time : 0) + E.FInputOffset[0];
    planned = std::min(planned, ff::av_rescale(end - S.StartTime, rate, AV_TIME_BASE));
  }
  if (planned < ff::av_rescale(S.PartsFrom, rate, AV_TIME_BASE)) return false;
  const int64_t roll = (RollSamples + fs - 1) / fs * fs;
  std::vector<int64_t> bounds{0};  // output frame index where each part's share begins
  for (int k = 1; k < count; ++k) bounds.push_back(RoundTo(planned * k / count, fs) / fs);
  std::vector<std::unique_ptr<TPart>> parts;
  for (int k = 0; k < count; ++k) {
    auto part = std::make_unique<TPart>();
    part->From = k == 0 ? 0 : bounds[k] * fs - roll;
    part->To = k + 1 < count ? bounds[k + 1] * fs + roll : length;
    part->First = part->From / fs;
    parts.push_back(std::move(part));
  }

  // One run per part, on its own copy of the input and a copy of the encoder's settings.
  const int64_t segmentStart = ff::av_rescale(S.StartTime, rate, AV_TIME_BASE);
  const AVCodec* codec = ost.Setup->Encoder ? ost.Setup->Encoder : enc->codec;
  std::mutex hookLock;
  for (auto& p : parts) {
    TPart& part = *p;
    part.Engine = std::make_unique<TCustomFFmpeg>();
    TCustomFFmpeg& child = *part.Engine;
    child.Settings() = S;
    TEngineSettings& cs = child.Settings();
    // The part's share on the input's time line; a sample count converts there and back
    // exactly, as a microsecond is shorter than a sample.
    cs.StartTime = ff::av_rescale(segmentStart + part.From, AV_TIME_BASE, rate);
    cs.RecordingTime = ff::av_rescale(segmentStart + part.To, AV_TIME_BASE, rate) - cs.StartTime;
    cs.ReportInterval = NoLimit;
    cs.SeekToStart = true;
    AVFormatContext* input = nullptr;
    if (OpenInputFormat(&input, in->url, in->iformat, nullptr) < 0) return false;
    int found;
    {
      std::lock_guard<std::recursive_mutex> lock(CodecLock());
      found = ff::avformat_find_stream_info(input, nullptr);
    }
    child.AddInputFile(input, E.FInputOffset[0]);
    if (found < 0 || input->nb_streams != in->nb_streams) return false;
    for (unsigned k = 0; k < in->nb_streams; ++k) input->streams[k]->discard = in->streams[k]->discard;
    child.FForcedDecoders = E.FForcedDecoders;
    child.FDecoderOptions = E.FDecoderOptions;

    auto file = std::make_shared<TOutputFile>();
    if (ff::avformat_alloc_output_context2(&file->Context, nullptr, "mp3", nullptr) < 0 || !file->Context)
      RaiseFFmpeg("av_mallocz fail");
    child.AddOutputFile(file);
    AVStream* st = ff::avformat_new_stream(file->Context, nullptr);
    if (!st) RaiseFFmpeg("av_mallocz fail");
    st->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    st->codecpar->codec_id = enc->codec_id;
    TOutputStreamSetup& setup = file->Streams.emplace_back();
    setup.Encoder = codec;
    setup.Codec = CopyEncoderSettings(codec, enc);
    if (!setup.Codec) RaiseFFmpeg("av_mallocz fail");
    file->PacketSink = [&part](const AVPacket* packet) {
      part.Frames.emplace_back(packet->data, packet->data + packet->size);
      part.Durations.push_back(packet->duration);
      size_t size = 0;
      const uint8_t* skip = ff::av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
      part.SkipData.emplace_back(skip, skip + (skip ? size : 0));
      part.Encoded += packet->duration;
    };
    if (E.OnAudioHook)
      child.OnAudioHook = [this, &hookLock](TCustomFFmpeg*, uint8_t* samples, int64_t time, int size, int sampleRate,
                                            int channels, int format) {
        std::lock_guard<std::mutex> g(hookLock);
        E.OnAudioHook(&E, samples, time, size, sampleRate, channels, format);
      };
  }

  std::mutex doneLock;
  std::condition_variable doneSignal;
  std::vector<std::thread> workers;
  for (auto& p : parts)
    workers.emplace_back([&part = *p, &doneLock, &doneSignal] {
      try {
        TRun run(*part.Engine);
        run.SetUp();
        run.SeekInputsToStart();
        run.PacketLoop();
        run.DrainDecoders();
        run.CloseCodecs();
      } catch (...) {
        part.Error = std::current_exception();
      }
      std::lock_guard<std::mutex> g(doneLock);
      part.Done = true;
      doneSignal.notify_all();
    });

  // Progress and stop requests while the parts run: the output time is what the parts
  // have encoded of their shares.
  const auto allDone = [&] { return std::all_of(parts.begin(), parts.end(), [](auto& p) { return p->Done.load(); }); };
  bool stopped = false;
  for (;;) {
    {
      std::unique_lock<std::mutex> g(doneLock);
      doneSignal.wait_for(g, std::chrono::milliseconds(50), allDone);
    }
    const bool failed = std::any_of(parts.begin(), parts.end(), [](auto& p) { return p->Done && p->Error; });
    if ((E.StopRequested() || failed) && !stopped) {
      stopped = true;
      for (auto& p : parts) p->Engine->RequestStop();
    }
    if (allDone()) break;
    const int64_t now = WallClock();
    if (now - LastReport > S.ReportInterval) {
      LastReport = now;
      int64_t encoded = 0;
      for (size_t k = 0; k < parts.size(); ++k) {
        const TPart& p = *parts[k];
        const int64_t lead = k == 0 ? 0 : roll, share = (k + 1 < parts.size() ? bounds[k + 1] * fs : length) - p.From - lead;
        encoded += std::clamp<int64_t>(p.Encoded - lead, 0, share);
      }
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

  // The join: each later part takes over at a frame near its planned boundary whose
  // reservoir bytes fit in the free tail of the frames before it.
  std::vector<mp3::TFrameBytes> joined = std::move(parts[0]->Frames);
  std::vector<std::pair<int, size_t>> origin;  // part and frame index of each joined frame
  std::string joins;
  for (size_t j = 0; j < joined.size(); ++j) origin.emplace_back(0, j);
  for (int k = 1; k < count; ++k) {
    TPart& part = *parts[k];
    std::string reason = "the part before it ends early";
    bool joinedHere = false;
    for (int step = 0; step <= 2 * JoinReach && !joinedHere; ++step) {
      const int64_t at = bounds[k] + (step % 2 ? -(step + 1) / 2 : step / 2);  // 0, -1, +1, -2, ...
      const int64_t from = at - part.First;
      if (at > static_cast<int64_t>(joined.size()) || at <= bounds[k - 1] || from < 0 ||
          from >= static_cast<int64_t>(part.Frames.size()))
        continue;
      std::vector<mp3::TFrameBytes> tail(joined.begin() + at, joined.end());
      joined.resize(static_cast<size_t>(at));
      if (mp3::AppendJoined(joined, part.Frames, static_cast<size_t>(from), reason)) {
        joinedHere = true;
        joins += " " + std::to_string(at);
        origin.resize(static_cast<size_t>(at));
        for (size_t j = static_cast<size_t>(from); j < part.Frames.size(); ++j) origin.emplace_back(k, j);
      } else {
        joined.insert(joined.end(), std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()));
      }
    }
    if (!joinedHere) {
      E.Log(llWarning, "The parts of the encode cannot be joined at %.3f s (%s); encoding with one encoder",
            static_cast<double>(bounds[k] * fs) / rate, reason.c_str());
      return false;
    }
  }

  if (S.Verbosity > 0) E.Log(llVerbose, "Encoded in %d parts, joined at frames%s", count, joins.c_str());
  for (size_t j = 0; j < joined.size(); ++j) {
    const TPart& part = *parts[origin[j].first];
    const size_t i = origin[j].second;
    AVPacket* packet = Encoded.get();
    if (ff::av_new_packet(packet, static_cast<int>(joined[j].size())) < 0) RaiseFFmpeg("av_mallocz fail");
    std::memcpy(packet->data, joined[j].data(), joined[j].size());
    if (!part.SkipData[i].empty()) {
      uint8_t* skip = ff::av_packet_new_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, part.SkipData[i].size());
      if (!skip) RaiseFFmpeg("av_mallocz fail");
      std::memcpy(skip, part.SkipData[i].data(), part.SkipData[i].size());
    }
    packet->pts = packet->dts = static_cast<int64_t>(j) * fs - enc->initial_padding;
    packet->duration = part.Durations[i];
    packet->stream_index = ost.StreamIndex;
    ff::av_packet_rescale_ts(packet, enc->time_base, ost.Stream->time_base);
    AudioBytes += packet->size;
    WriteFrame(ost, packet);
    ++ost.FrameNumber;
  }
  return true;
}

}  // namespace sw
