// Opening a file for playback and the read thread: stream choice, packet queues, seeks,
// pausing and the end of the file.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <limits>

#include "FFPlay.h"
#include "PlayContext.h"
#include "TextSubtitles.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "media/base/StopReads.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/common/FFUtils.h"
#include "media/common/UnicodeProtocol.h"

namespace sw {

namespace {

using namespace std::chrono_literals;

// On the main thread a wait keeps running the calls queued for it: the player's own
// threads may be waiting in one of them (a log line, an event).
void WaitStep() {
  if (IsMainThread()) WaitForPendingMessages(10ms);
  else std::this_thread::sleep_for(10ms);
}

int InterruptRead(void* opaque) { return static_cast<std::atomic<bool>*>(opaque)->load() || AllReadsStopped() ? 1 : 0; }

// Fixed decoding settings handed to every decoder before it is opened.
void ApplyDecodingSettings(AVCodecContext& c) {
  c.workaround_bugs = 1;
  c.err_recognition = 1;
  c.error_concealment = 3;
  c.debug = 0;
  c.lowres = 0;
  c.idct_algo = 0;
  c.skip_frame = AVDISCARD_DEFAULT;
  c.skip_idct = AVDISCARD_DEFAULT;
  c.skip_loop_filter = AVDISCARD_DEFAULT;
  c.flags2 &= ~AV_CODEC_FLAG2_FAST;
  c.thread_count = 1;
}

}  // namespace

PlayContext::PlayContext(TCustomPlayer& owner, const std::string& fileName, bool startPaused)
    : Owner(owner),
      FileName(fileName),
      StartPaused(startPaused),
      DisableAudio(owner.DisableAudio()),
      DisableVideo(owner.DisableVideo() || owner.DisableDisplay()),
      DisableDisplay(owner.DisableDisplay()),
      SeekByBytesMode(owner.SeekByBytes()),
      FrameWidth(owner.FrameWidth()),
      FrameHeight(owner.FrameHeight()),
      VideoFilterText(owner.VideoFilterText()),
      FPaused(startPaused ? 1 : 0) {}

PlayContext::~PlayContext() { Close(); }

bool PlayContext::Open() {
  try {
    FReadThread = std::thread([this] { ReadThread(); });
  } catch (const std::system_error&) {
    Owner.ReportError("SDL_CreateThread() failed.", true);
    return false;
  }
  while (FOpenResult.load() == 0) WaitStep();
  if (FOpenResult.load() == 1) return true;
  while (FOpenResult.load() == -1) WaitStep();
  FReadThread.join();
  return false;
}

void PlayContext::Nap(std::chrono::milliseconds d) {
  if (FWakeEvent.WaitFor(d) && !FAbort.load()) FWakeEvent.Reset();
}

bool PlayContext::Close() {
  FAbort = true;
  FWakeEvent.Set();
  if (!FReadThread.joinable()) return true;
  // A read thread inside a library read is given time to come out; one elsewhere always
  // comes back (the abort flag ends its naps and waits).
  for (int round = 1; !FReadEnded.WaitFor(100ms); ++round) {
    if (IsMainThread()) ProcessPendingMessages();
    if (round < ForcedCloseRounds || !FReading.load()) continue;
    std::unique_lock<std::mutex> force(FForceLock);
    int running = rfRunning;
    if (!FFate.compare_exchange_strong(running, rfAbandoned)) break;
    GetLogger().LogFmt(&Owner, llWarning, "%s: the input does not answer; closed without waiting for it",
                       FileName.c_str());
    CloseStreams();
    FReadThread.detach();
    return false;  // from here on the read thread owns this context
  }
  FReadThread.join();
  return true;
}

PlayContext::TStreamChoice PlayContext::ChooseStreams(std::vector<TPacketPtr>& held) {
  // Candidates: every stream of a kind that is played; attached pictures (cover art) are
  // not played as video.
  const auto wanted = [this](const AVStream* st) {
    switch (st->codecpar->codec_type) {
      case AVMEDIA_TYPE_AUDIO: return !DisableAudio;
      case AVMEDIA_TYPE_VIDEO: return !DisableVideo && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
      case AVMEDIA_TYPE_SUBTITLE: return !DisableVideo;
      default: return false;
    }
  };
  std::vector<int> frames(Format->nb_streams, 0);
  int kinds[AVMEDIA_TYPE_NB] = {};
  for (unsigned i = 0; i < Format->nb_streams; ++i)
    if (wanted(Format->streams[i])) ++kinds[Format->streams[i]->codecpar->codec_type];
  // Of several streams of a kind, the one with the most frames in the stretch the library
  // probed wins (the first of equals). The library keeps its own count to itself: the
  // packets of that stretch (which it holds from probing) are counted here, and kept to
  // be played.
  if (std::any_of(std::begin(kinds), std::end(kinds), [](int n) { return n > 1; })) {
    const int64_t stretch = Format->max_analyze_duration > 0 ? Format->max_analyze_duration : 5 * AV_TIME_BASE;
    const int64_t budget = Format->probesize > 0 ? Format->probesize : 5000000;
    int64_t bytes = 0;
    for (;;) {
      TPacketPtr packet(ff::av_packet_alloc());
      if (!packet) throw std::bad_alloc();
      if (ff::av_read_frame(Format, packet.get()) < 0 || FAbort.load()) break;
      const AVStream* st = Format->streams[packet->stream_index];
      const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      const int64_t from = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
      const bool past = at != AV_NOPTS_VALUE && ff::av_rescale_q(at - from, st->time_base, AVRational{1, AV_TIME_BASE}) > stretch;
      ++frames[static_cast<size_t>(packet->stream_index)];
      bytes += packet->size;
      held.push_back(std::move(packet));
      if (past || bytes > budget) break;
    }
  }
  TStreamChoice choice;
  for (unsigned i = 0; i < Format->nb_streams; ++i) {
    const AVStream* st = Format->streams[i];
    if (!wanted(st)) continue;
    int* best = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO   ? &choice.Audio
                : st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO ? &choice.Video
                                                                 : &choice.Subtitle;
    if (*best < 0 || frames[i] > frames[static_cast<size_t>(*best)]) *best = static_cast<int>(i);
  }
  return choice;
}

void PlayContext::QueuePacket(TPacketPtr& packet) {
  PacketQueue* queue = packet->stream_index == AudioIndex      ? &AudioQueue
                       : packet->stream_index == VideoIndex    ? &VideoQueue
                       : packet->stream_index == SubtitleIndex ? &SubtitleQueue
                                                               : nullptr;
  if (queue) queue->Put(packet.release());
  else ff::av_packet_unref(packet.get());
}

bool PlayContext::OpenInput() {
  if (WideDirectoryExists(FileName)) {
    Owner.ReportError(FileName + ": is a folder, not a file", true);
    return false;
  }
  std::string url;
  try {
    url = MediaUrl(FileName);
  } catch (const EMediaUrlError& e) {
    Owner.ReportError(FileName + ": " + e.what(), true);
    return false;
  }
  Format = ff::avformat_alloc_context();
  if (!Format) {
    Owner.ReportError(LibraryErrorText(FileName, AVERROR(ENOMEM)), true);
    return false;
  }
  Format->interrupt_callback.callback = InterruptRead;
  Format->interrupt_callback.opaque = &FAbort;
  // What the old open parameters carried: the time base and the requested picture size.
  TDictionary options;
  ff::av_dict_set(options.Addr(), "framerate", "25", 0);
  if (FrameWidth > 0 && FrameHeight > 0)
    ff::av_dict_set(options.Addr(), "video_size",
                    (std::to_string(FrameWidth) + "x" + std::to_string(FrameHeight)).c_str(), 0);
  const int opened = OpenInputFormat(&Format, url, nullptr, options.Addr());
  if (opened < 0) {
    Format = nullptr;  // freed by the library
    Owner.ReportError(LibraryErrorText(FileName, opened), true);
    return false;
  }
  if (ff::avformat_find_stream_info(Format, nullptr) < 0) {
    Owner.ReportError(FileName + ": could not find codec parameters", true);
    return false;
  }
  if (Format->pb) Format->pb->eof_reached = 0;
  const std::string name = Format->iformat ? Format->iformat->name : "";
  ImageSequence = name == "image2";
  Capture = name == "vfwcap" || name == "vfwcapture";
  StartTime = Format->start_time != AV_NOPTS_VALUE ? Format->start_time : 0;
  Duration = Format->duration != AV_NOPTS_VALUE ? Format->duration : -1;
  FileBytes = Format->pb ? ff::avio_size(Format->pb) : -1;
  SeekByBytes = SeekByBytesMode >= 0 ? SeekByBytesMode == 1
                                     : Format->iformat && (Format->iformat->flags & AVFMT_TS_DISCONT) != 0;

  std::vector<TPacketPtr> held;
  const TStreamChoice chosen = ChooseStreams(held);
  // Every stream is skipped unless it is opened.
  for (unsigned i = 0; i < Format->nb_streams; ++i) Format->streams[i]->discard = AVDISCARD_ALL;
  // Without a video stream the display shows the waveform of the sound unless it is off;
  // when the file's video cannot be opened, the spectrum of the sound stands in for it.
  DisplayMode = !DisableDisplay && chosen.Video < 0 ? 1 : 0;
  if (chosen.Audio >= 0) OpenStream(chosen.Audio);
  if (chosen.Video >= 0 && OpenStream(chosen.Video) < 0 && !DisableDisplay) DisplayMode = 2;
  // Subtitles are shown over the picture, or over the sound's display without one.
  if (chosen.Subtitle >= 0) OpenStream(chosen.Subtitle);
  for (TPacketPtr& packet : held) QueuePacket(packet);
  if (AudioIndex < 0 && VideoIndex < 0) {
    Owner.ReportError(FileName + ": could not open codecs, no stream to play.", true);
    return false;
  }
  return true;
}

void PlayContext::ReadThread() {
  bool failed = true;
  try {
    if (OpenInput()) {
      failed = false;
      FOpenResult = 1;
      ReadLoop();
      while (!FAbort.load()) Nap(100ms);
    }
  } catch (const std::exception& e) {
    Owner.ReportError(e.what(), FOpenResult.load() != 1);
    failed = true;
  }
  int running = rfRunning;
  if (FFate.compare_exchange_strong(running, rfEnded)) {
    FinishReadThread(failed);
    FReadEnded.Set();
    return;
  }
  // Given up on by the closer, which has closed the streams: the rest is this thread's,
  // and the player may be gone.
  { std::lock_guard<std::mutex> wait(FForceLock); }
  if (Format) CloseInputFormat(&Format);
  delete this;
}

void PlayContext::CloseStreams() {
  // The video side first: its thread reads the audio clock.
  CloseStream(SubtitleIndex);
  CloseStream(VideoIndex);
  CloseStream(AudioIndex);
}

void PlayContext::FinishReadThread(bool failed) {
  if (FOpenResult.load() != 1) FOpenResult = -1;
  CloseStreams();
  if (Format) CloseInputFormat(&Format);
  if (failed && FOpenResult.load() == 1) Owner.PostPlayerNews(pnQuit);
  if (FOpenResult.load() == -1) FOpenResult = -2;
}

bool PlayContext::QueuesFull() const {
  if (AudioQueue.Size() + VideoQueue.Size() + SubtitleQueue.Size() > QueuesLimit) return true;
  const bool wanted = (AudioIndex >= 0 && AudioQueue.Size() <= AudioQueueLimit) ||
                      (VideoIndex >= 0 && VideoQueue.Count() <= PacketCountLimit) ||
                      (SubtitleIndex >= 0 && SubtitleQueue.Count() <= PacketCountLimit);
  return !wanted;
}

void PlayContext::ReadLoop() {
  TPacketPtr packet(ff::av_packet_alloc());
  if (!packet) throw std::bad_alloc();
  while (!FAbort.load()) {
    const int paused = FPaused.load();
    if (paused != FLastPaused) {
      FLastPaused = paused;
      if (paused) ff::av_read_pause(Format);
      else ff::av_read_play(Format);
    }
    bool seek;
    {
      std::lock_guard<std::mutex> g(FSeekLock);
      seek = FSeekRequest;
    }
    if (seek) DoSeek();
    if (FAbort.load()) break;
    if (QueuesFull()) {
      Nap(10ms);
      continue;
    }
    // A read that failed marks the end of the input too: that is a read error, and it
    // ends reading.
    if (!FEndOfFile && Format->pb && Format->pb->eof_reached && Format->pb->error < 0 &&
        Format->pb->error != AVERROR_EOF) {
      SayReadEnded(Format->pb->error);
      break;
    }
    if (FEndOfFile || (Format->pb && Format->pb->eof_reached)) {
      FInputEnded = true;
      // The video decoder is told the end once, so that it gives its last pictures.
      if (VideoIndex >= 0 && !FVideoEndQueued) {
        FVideoEndQueued = true;
        AVPacket* end = ff::av_packet_alloc();
        if (!end) throw std::bad_alloc();
        end->stream_index = VideoIndex;
        VideoQueue.Put(end);
      }
      Nap(10ms);
      if (AudioQueue.Size() == 0 && VideoQueue.Size() == 0 && SubtitleQueue.Size() == 0) FDrained = true;
      continue;
    }
    FReading = true;
    const int result = ff::av_read_frame(Format, packet.get());
    FReading = false;
    // Nothing of the player is touched once aborted: it may have given up on this thread.
    if (FAbort.load()) break;
    if (result == AVERROR(EAGAIN)) {
      Nap(10ms);
      continue;
    }
    if (result < 0) {
      SayReadEnded(result);
      // Only the end of the file is remembered: a passing read error is tried again.
      if (result == AVERROR_EOF) FEndOfFile = true;
      if (Format->pb && Format->pb->error) break;
      Nap(100ms);
      continue;
    }
    QueuePacket(packet);
    if (!packet) packet.reset(ff::av_packet_alloc());
    if (!packet) throw std::bad_alloc();
  }
}

void PlayContext::SayReadEnded(int result) {
  if (ImageSequence || FEndReported) return;
  FEndReported = true;
  if (result == AVERROR_EOF)
    GetLogger().LogFmt(&Owner, llInfo, "reach end of file: %s", FileName.c_str());
  else
    GetLogger().LogFmt(&Owner, llError, "error #%d while reading file: %s", result, FileName.c_str());
}

void PlayContext::DoSeek() {
  int flags;
  int64_t target, relative;
  unsigned serial;
  {
    std::lock_guard<std::mutex> g(FSeekLock);
    flags = FSeekFlags;
    target = FSeekTarget;
    relative = FSeekRelative;
    serial = FSeekSerial;
  }
  // Sound decoded from an earlier seek of a quick succession tells no place.
  FClockStale = true;
  const int64_t lowest = relative > 0 ? target - relative + 2 : std::numeric_limits<int64_t>::min();
  const int64_t highest = relative < 0 ? target - relative - 2 : std::numeric_limits<int64_t>::max();
  // Sound alone lands a little before the place asked for, so that the decoder has the
  // frames whose bit reservoir and overlap the first sound needs; the sound before the
  // place is dropped by the audio callback.
  const bool byBytes = (flags & AVSEEK_FLAG_BYTE) != 0;
  int64_t landing = target, latest = highest;
  if (!byBytes && VideoIndex < 0 && AudioIndex >= 0) {
    landing = std::max(target - AudioPreroll, StartTime);
    latest = std::min(highest, landing);
  }
  FReading = true;
  int result = ff::avformat_seek_file(Format, -1, std::min(lowest, landing), landing, latest, flags);
  if (result < 0) result = ff::av_seek_frame(Format, -1, target, flags);
  if (result < 0) result = ff::av_seek_frame(Format, -1, target, flags ^ AVSEEK_FLAG_BACKWARD);
  FReading = false;
  if (FAbort.load()) return;
  if (result < 0) {
    GetLogger().LogFmt(&Owner, llError, "%s: error while seeking", FileName.c_str());
    FClockStale = false;
    FPictureStale = false;
    Owner.FVideoSeekDoneEvent.Set();
  } else {
    if (AudioIndex >= 0) {
      AudioQueue.Flush();
      FAudioSeekTarget = byBytes ? AV_NOPTS_VALUE : target;
      AudioQueue.Put(FlushPacket());
    }
    // The rings get their new serial before the flush marker goes in: a thread that
    // took the marker first would keep the old serial and drop everything after the seek.
    if (VideoIndex >= 0) {
      VideoQueue.Flush();
      ClearPictures();
      VideoQueue.Put(FlushPacket());
    }
    if (SubtitleIndex >= 0) {
      SubtitleQueue.Flush();
      ClearSubtitles();
      SubtitleQueue.Put(FlushPacket());
    }
  }
  FEndReported = false;
  FEndOfFile = false;
  FVideoEndQueued = false;
  FInputEnded = false;
  FSoundPlayedOut = false;
  if (Format->pb) Format->pb->eof_reached = 0;
  FDrained = false;
  Owner.ClearEndAnnounced();
  {
    // A request that came meanwhile is carried out on the next round.
    std::lock_guard<std::mutex> g(FSeekLock);
    if (FSeekSerial != serial) return;
    FSeekRequest = false;
  }
  Owner.FSeekDoneEvent.Set();
}

bool PlayContext::OpenDecoder(AVStream& st, TCodecContextPtr& codecContext) {
  const AVCodec* codec = ff::avcodec_find_decoder(st.codecpar->codec_id);
  TCodecContextPtr c(ff::avcodec_alloc_context3(codec));
  if (!c || ff::avcodec_parameters_to_context(c.get(), st.codecpar) < 0) throw std::bad_alloc();
  c->pkt_timebase = st.time_base;
  ApplyDecodingSettings(*c);
  std::lock_guard<std::recursive_mutex> g(CodecLock());
  if (!codec || ff::avcodec_open2(c.get(), codec, nullptr) < 0) {
    GetLogger().Log(&Owner, llError, "avcodec_open() failed.");
    return false;
  }
  codecContext = std::move(c);
  return true;
}

void PlayContext::OpenTextRenderer() {
  const AVCodecDescriptor* d = FSubtitleCodec->codec_descriptor;
  if (!d || !(d->props & AV_CODEC_PROP_TEXT_SUB)) return;
  // The decoder's script header holds the styles: the stream's own for ASS, a default
  // one for the formats it converts (SubRip and the like carry none).
  const uint8_t* header = FSubtitleCodec->subtitle_header;
  int size = FSubtitleCodec->subtitle_header_size;
  if (!header || size <= 0) header = FSubtitleCodec->extradata, size = FSubtitleCodec->extradata_size;
  std::string why;
  std::unique_ptr<TTextSubtitles> renderer = TTextSubtitles::Create(header, size, why);
  if (!renderer) {
    // Said once: every later file would say the same.
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) GetLogger().Log(&Owner, llInfo, "Text subtitles are not drawn: " + why);
    return;
  }
  std::lock_guard<std::mutex> g(FSubLock);
  FTextSubs = std::move(renderer);
}

int PlayContext::OpenStream(int index) {
  if (index < 0 || index >= static_cast<int>(Format->nb_streams)) return -1;
  AVStream* st = Format->streams[index];
  const AVMediaType type = st->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_VIDEO) {
    if (!OpenDecoder(*st, FVideoCodec)) return -1;
    st->discard = AVDISCARD_DEFAULT;
    VideoIndex = index;
    VideoStream = st;
    VideoWidth = FVideoCodec->width;
    VideoHeight = FVideoCodec->height;
    VideoSampleAspect = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : FVideoCodec->sample_aspect_ratio;
    const AVRational rate = ff::av_guess_frame_rate(Format, st, nullptr);
    if (rate.num > 0 && rate.den > 0) FrameDuration = av_q2d(AVRational{rate.den, rate.num});
    VideoQueue.Init();
    VideoQueue.Put(FlushPacket());
    FVideoThread = std::thread([this] { VideoThread(); });
    return 0;
  }
  if (type == AVMEDIA_TYPE_SUBTITLE) {
    if (!OpenDecoder(*st, FSubtitleCodec)) return -1;
    OpenTextRenderer();
    st->discard = AVDISCARD_DEFAULT;
    SubtitleIndex = index;
    SubtitleStream = st;
    SubtitleQueue.Init();
    SubtitleQueue.Put(FlushPacket());
    FSubtitleThread = std::thread([this] { SubtitleThread(); });
    return 0;
  }
  if (type != AVMEDIA_TYPE_AUDIO || !OpenDecoder(*st, FAudioCodec)) return -1;
  FAudioFrame.reset(ff::av_frame_alloc());
  if (!FAudioFrame) throw std::bad_alloc();
  if (!OpenAudioDevice(*FAudioCodec)) {
    std::lock_guard<std::recursive_mutex> g(CodecLock());
    FAudioCodec.reset();
    return -1;
  }
  st->discard = AVDISCARD_DEFAULT;
  AudioIndex = index;
  AudioStream = st;
  AudioDuration = st->duration != AV_NOPTS_VALUE ? ff::av_rescale_q(st->duration, st->time_base, AVRational{1, 1000000})
                                                 : -1;
  FBufferSize = FBufferIndex = 0;
  // Until sound is decoded the clock stands at the start of the file.
  FAudioClock = static_cast<double>(StartTime) / 1e6;
  FAudioClockNow = FAudioClock;
  AudioQueue.Init();
  AudioQueue.Put(FlushPacket());
  ff::SDL_PauseAudioDevice(FDevice, 0);
  return 0;
}

void PlayContext::CloseStream(int index) {
  if (index < 0) return;
  if (index == VideoIndex) {
    VideoQueue.Abort();
    {
      std::lock_guard<std::mutex> g(FPictureLock);
      FPictureAbort = true;
    }
    FPictureChanged.notify_all();
    if (FVideoThread.joinable()) FVideoThread.join();
    VideoQueue.End();
    {
      std::lock_guard<std::mutex> g(FPictureLock);
      FPictures.clear();
    }
    FScaler.reset();
    Format->streams[index]->discard = AVDISCARD_ALL;
    {
      std::lock_guard<std::recursive_mutex> g(CodecLock());
      FVideoCodec.reset();
    }
    VideoIndex = -1;
    VideoStream = nullptr;
    return;
  }
  if (index == SubtitleIndex) {
    SubtitleQueue.Abort();
    {
      std::lock_guard<std::mutex> g(FSubLock);
      FSubAbort = true;
    }
    FSubChanged.notify_all();
    if (FSubtitleThread.joinable()) FSubtitleThread.join();
    SubtitleQueue.End();
    ClearSubtitles();
    {
      std::lock_guard<std::mutex> g(FSubLock);
      FTextSubs.reset();
    }
    Format->streams[index]->discard = AVDISCARD_ALL;
    {
      std::lock_guard<std::recursive_mutex> g(CodecLock());
      FSubtitleCodec.reset();
    }
    SubtitleIndex = -1;
    SubtitleStream = nullptr;
    return;
  }
  if (index != AudioIndex) return;
  AudioQueue.Abort();
  CloseAudioDevice();
  AudioQueue.End();
  FConverter.reset();
  ff::av_channel_layout_uninit(&FConverterLayout);
  if (FPendingPacket) ff::av_packet_free(&FPendingPacket);
  FAudioFrame.reset();
  Format->streams[index]->discard = AVDISCARD_ALL;
  {
    std::lock_guard<std::recursive_mutex> g(CodecLock());
    FAudioCodec.reset();
  }
  AudioIndex = -1;
  AudioStream = nullptr;
  AudioDuration = -1;
}

void PlayContext::RequestSeek(int flags, bool wait, int64_t relative, int64_t target) {
  {
    std::lock_guard<std::mutex> g(FSeekLock);
    if (!FSeekRequest) FPausedAtSeek = Paused();
    ++FSeekSerial;
    FSeekTarget = target;
    FSeekRelative = relative;
    FSeekFlags = flags & 0x0F;
    FClockStale = true;
    if (VideoIndex >= 0) {
      FPictureStale = true;
      Owner.FVideoSeekDoneEvent.Reset();
    }
    Owner.FSeekDoneEvent.Reset();
    FSeekRequest = true;
  }
  FWakeEvent.Set();
  if (!wait) return;
  while (!Owner.FSeekDoneEvent.WaitFor(0ms)) WaitStep();
  while (!Owner.FVideoSeekDoneEvent.WaitFor(0ms)) WaitStep();
}

void PlayContext::WaitForSeek(TManualResetEvent& seekDone) {
  // A seek asked for just before is carried out first, so that a resume never plays
  // what was queued before it; nobody stays blocked by one that never comes.
  const auto until = std::chrono::steady_clock::now() + 250ms;
  while (!seekDone.WaitFor(0ms) && std::chrono::steady_clock::now() < until) WaitStep();
  seekDone.Set();
}

void PlayContext::TogglePause() {
  const bool pausing = !Paused();
  // Pausing waits a little for the first picture of a seek, so that it is on screen.
  if (pausing && VideoIndex >= 0 && !Owner.FVideoSeekDoneEvent.WaitFor(250ms)) Owner.FVideoSeekDoneEvent.Set();
  // A callback running now finishes first: once paused, the sound and its clock stand.
  if (FDevice) ff::SDL_LockAudioDevice(FDevice);
  PauseChanged(pausing);
  if (FDevice) ff::SDL_UnlockAudioDevice(FDevice);
}

void PlayContext::CopyWaveform(std::vector<int16_t>& out, int frames) {
  FWave.Latest(out, frames * std::max(DeviceChannels, 1));
}

int PlayContext::WaveformWindow(std::vector<int16_t>& out, int frames, int start) {
  // The device still holds what the last callback gave it, less what it has played since.
  const int channels = std::max(DeviceChannels, 1);
  // Before the first callback its time is 0: the span is bounded before it is scaled.
  const int64_t since = std::clamp<int64_t>(ff::av_gettime() - Owner.AudioCallbackTime(), 0, 1000000);
  const int64_t held = HardwareBufferSize / (2 * channels);
  const int64_t played = std::clamp<int64_t>(since * DeviceRate / 1000000, 0, held);
  return FWave.Window(out, frames, channels, static_cast<int>((held - played) * channels), start);
}

}  // namespace sw
