#include "FFPlay.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "Display.h"
#include "PlayContext.h"
#include "PlayerEvents.h"
#include "media/base/HostWindow.h"
#include "media/base/MainThread.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/common/FFUtils.h"

namespace sw {

namespace {

using namespace std::chrono_literals;

// Refresh pacing: a waveform is redrawn every 20 ms; otherwise the position is looked at
// every 5 ms.
constexpr auto WaveformRefresh = 20ms;
constexpr auto PlainRefresh = 5ms;

const char* AudioDriverName(TAudioDriver d) {
  switch (d) {
    case adDirectSound: return "dsound";
    case adWaveOut: return "waveout";
    default: return "";
  }
}

const char* SampleFormatName(int format) {
  const char* name = ff::av_get_sample_fmt_name(static_cast<AVSampleFormat>(format));
  return name ? name : "none";
}

const char* VideoDriverName(TVideoDriver d) {
  switch (d) {
    case vdDirectDraw: return "directx";
    case vdGDI: return "windib";
    default: return "";
  }
}

}  // namespace

TCustomPlayer::TCustomPlayer()
    : FEvents(std::make_shared<TPlayerEvents>()),
      FLastReportedPosition(NoTime),
      FDisplay(std::make_unique<TPlayerDisplay>(*this)) {
  FVersion = "2.6a";
  ResetPlayerState();
}

TCustomPlayer::~TCustomPlayer() {
  // Nothing reaches the host from here on (the handlers stay readable until the threads end).
  FDeliver = false;
  Stop(true);
  FinishEventThread();
}

bool TCustomPlayer::LibrariesReady() const { return FFLoader().LibrarySetLoaded(PlayerLibraries); }

bool TCustomPlayer::LoadLibrariesFrom(const std::string& folder) {
  FFLoader().SetLibraryFolder(folder);
  const bool loaded = FFLoader().LoadLibrarySet(PlayerLibraries);
  if (!loaded) FErrorText = FFLoader().GetLastErrorText();
  return loaded;
}

void TCustomPlayer::ReportError(const std::string& text, bool keep) {
  GetLogger().Log(this, llError, text);
  if (keep) FErrorText = text;
}

void TCustomPlayer::SetAudioVolume(TAudioVolume v) { FAudioVolume.store(std::clamp(v, 0, 255)); }

void TCustomPlayer::StoreAspectRatio(float v) {
  if (v == FAspectRatio) return;
  FAspectRatio = v;
  if (Playing()) PostPlayerNews(pnReopenDisplay);
}

std::unique_lock<std::recursive_mutex> TCustomPlayer::LockPlayer() const {
  std::unique_lock<std::recursive_mutex> lock(FPlayerLock, std::defer_lock);
  if (!IsMainThread()) {
    lock.lock();
    return lock;
  }
  while (!lock.try_lock()) WaitForPendingMessages(1ms);
  return lock;
}

int64_t TCustomPlayer::Duration() const {
  auto lock = LockPlayer();
  return FPlayback ? FPlayback->Duration : -1;
}

bool TCustomPlayer::Playing() const {
  auto lock = LockPlayer();
  return FPlayback != nullptr;
}

int64_t TCustomPlayer::DroppedPictures() const {
  auto lock = LockPlayer();
  return FPlayback ? FPlayback->DroppedPictures() : 0;
}

int64_t TCustomPlayer::SkippedPictures() const {
  auto lock = LockPlayer();
  return FPlayback ? FPlayback->SkippedPictures() : 0;
}

bool TCustomPlayer::SeeksByBytes() const {
  auto lock = LockPlayer();
  return FPlayback && FPlayback->SeekByBytes;
}

bool TCustomPlayer::Paused() const {
  auto lock = LockPlayer();
  return FPlayback && FPlayback->Paused();
}

void TCustomPlayer::ResetPlayerState() {
  FLastReportedPosition = NoTime;
  FCurrentPosition = -1;
  FEndAnnounced = false;
  FStartPauseAnnounced = false;
  FSeekDoneEvent.Set();
  FVideoSeekDoneEvent.Set();
}

bool TCustomPlayer::StartSDL(TWindowHandle screenHandle) {
  if (FDisableAudio) return true;
  // SDL would otherwise take SIGINT and SIGTERM for an event nobody reads: the process's
  // stop signals are its host's.
  ff::SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  int started = ff::SDL_InitSubSystem(SDL_INIT_AUDIO);
  const char* env = std::getenv("SDL_AUDIODRIVER");
  if (started != 0 && FAudioDriver == adDefault && (!env || !*env)) {
    // No driver works on this machine: play silently, in real time, rather than not at all.
    GetLogger().Log(this, llWarning, std::string("no sound output (") + ff::SDL_GetError() + "): using the \"dummy\" driver");
    ff::SDL_SetHint(SDL_HINT_AUDIODRIVER, "dummy");
    started = ff::SDL_InitSubSystem(SDL_INIT_AUDIO);
  }
  if (started != 0) {
    char text[512];
    std::snprintf(text, sizeof text, "Could not initialize SDL with ScreenHandle(%u): %s",
                  static_cast<unsigned>(screenHandle), ff::SDL_GetError());
    ReportError(text, true);
    return false;
  }
  if (const char* name = ff::SDL_GetCurrentAudioDriver())
    GetLogger().LogFmt(this, llVerbose, "using audio driver: %s", name);
  FSDLStarted = true;
  return true;
}

void TCustomPlayer::StopSDL() {
  if (!FSDLStarted) return;
  ff::SDL_QuitSubSystem(SDL_INIT_AUDIO);
  FSDLStarted = false;
  // With nothing of SDL in use any more, its global state (hints, event queue, driver
  // lists) is released too.
  if (ff::SDL_WasInit(SDL_INIT_EVERYTHING) == 0) ff::SDL_Quit();
}

bool TCustomPlayer::OpenMedia(const std::string& fileName, TWindowHandle screenHandle, bool startPaused) {
  if (!LibrariesReady()) {
    ReportError("libav or libsdl not loaded.", true);
    return false;
  }
  Stop(true);
  // The default drivers leave SDL's own choice (and the environment's) alone.
  if (FAudioDriver != adDefault) ::setenv("SDL_AUDIODRIVER", AudioDriverName(FAudioDriver), 1);
  if (FVideoDriver != vdDefault) ::setenv("SDL_VIDEODRIVER", VideoDriverName(FVideoDriver), 1);
  if (FDisableDisplay) FDisableVideo = true;
  {
    auto lock = LockPlayer();
    if (!StartSDL(screenHandle)) return false;
    ResetPlayerState();
  }
  auto context = std::make_unique<PlayContext>(*this, fileName, startPaused);
  if (!context->Open()) {
    context.reset();
    auto lock = LockPlayer();
    ResetPlayerState();
    StopSDL();
    return false;
  }
  FFileName = fileName;
  FScreenHandle = screenHandle;
  {
    auto lock = LockPlayer();
    FPlayback = std::move(context);
    FInfoDecoder.AdoptFormatContext(FPlayback->Format);
  }
  RaiseFileOpen();
  FinishEventThread();
  FEventThread = std::make_unique<TEventThread>(*this, FEvents, FTriggerEventInMainThread, ++FRun);
  FThreadDoneEvent.Reset();
  // Announced here rather than by the new thread, so that it comes before whatever the
  // host does next (a Resume).
  SetState(psPlay);
  // Under the lock: a handler on the event thread may be the next to join it.
  auto lock = LockPlayer();
  FPlayThread = std::thread([this] { PlayThread(); });
  return true;
}

void TCustomPlayer::Stop(bool wait) {
  if (Playing()) PostPlayerNews(pnQuit);
  if (!wait) return;
  WaitForEnd();
  JoinPlayThread();
}

void TCustomPlayer::Pause() {
  if (!Playing()) return;
  PlayContext::WaitForSeek(FSeekDoneEvent);
  auto lock = LockPlayer();
  if (!FPlayback || FPlayback->Paused()) return;
  FPlayback->TogglePause();
  SetState(psPause);
}

void TCustomPlayer::Resume() {
  if (!Playing()) return;
  PlayContext::WaitForSeek(FSeekDoneEvent);
  auto lock = LockPlayer();
  if (!FPlayback || !FPlayback->Paused()) return;
  FPlayback->TogglePause();
  SetState(psResume);
}

void TCustomPlayer::Seek(uint8_t flags, bool wait, int64_t position) {
  {
    auto lock = LockPlayer();
    if (!FPlayback) return;
    const PlayContext& c = *FPlayback;
    int64_t target = position, relative = 0;
    if (!(flags & AVSEEK_FLAG_BYTE)) {
      if (c.Duration >= 0 && target > c.Duration) target = c.Duration;
      if (c.SeekByBytes && c.Duration > 0 && c.FileBytes > 0) {
        target = ff::av_rescale(std::max<int64_t>(target, 0), c.FileBytes, c.Duration);
        flags |= AVSEEK_FLAG_BYTE;
      } else {
        target += c.StartTime;
        relative = position <= 0 ? 1 : 0;
      }
    }
    FPlayback->RequestSeek(flags, false, relative, target);
  }
  // A context closed meanwhile sets the events too.
  if (wait)
    while (!FSeekDoneEvent.WaitFor(0ms) || !FVideoSeekDoneEvent.WaitFor(0ms)) {
      if (IsMainThread()) WaitForPendingMessages(10ms);
      else std::this_thread::sleep_for(10ms);
    }
}

void TCustomPlayer::PostPlayerNews(unsigned bits) {
  {
    std::lock_guard<std::mutex> g(FNewsLock);
    FNews |= bits;
  }
  FNewsArrived.notify_one();
}

void TCustomPlayer::WaitForEnd() {
  while (!FThreadDoneEvent.WaitFor(0ms)) {
    if (IsMainThread()) WaitForPendingMessages(10ms);
    else FThreadDoneEvent.WaitFor(100ms);
  }
}

void TCustomPlayer::JoinPlayThread() {
  std::thread played;
  {
    auto lock = LockPlayer();
    played = std::move(FPlayThread);
  }
  if (played.joinable()) played.join();
}

void TCustomPlayer::FinishEventThread() {
  if (FEventThread) FEventThread->Finish();
  FEventThread.reset();
}

void TCustomPlayer::PlayThread() {
  try {
    auto interval = std::chrono::milliseconds(PlainRefresh);
    for (;;) {
      unsigned news;
      {
        std::unique_lock<std::mutex> g(FNewsLock);
        FNewsArrived.wait_for(g, interval, [this] { return FNews != 0; });
        news = std::exchange(FNews, 0);
      }
      auto lock = LockPlayer();
      if (!FPlayback) break;
      if (news & pnQuit) {
        lock.unlock();
        ClosePlayContext();
        break;
      }
      PlayContext& c = *FPlayback;
      // A new aspect ratio shows at once, also on a picture standing paused.
      if ((news & pnReopenDisplay) && FDeliver.load()) FDisplay->Redraw(c);
      const unsigned audio = c.TakeAudioNews();
      if (audio & anDecodeFailed) GetLogger().Log(this, llInfo, "avcodec_decode_audio2() failed");
      if (audio & anConvertFailed) GetLogger().Log(this, llError, "av_audio_convert() failed");
      if (audio & anNoConverter)
        GetLogger().LogFmt(this, llError, "Cannot convert %s sample format to %s sample format",
                           SampleFormatName(c.RefusedFormat()), SampleFormatName(AV_SAMPLE_FMT_S16));
      interval = c.DisplayMode != 0 && !c.HasVideo() ? WaveformRefresh : PlainRefresh;
      RefreshStep(c);
    }
  } catch (const std::exception& e) {
    GetLogger().Log(this, llFatal, std::string("PlayThread Exception: ") + e.what());
    ClosePlayContext();
  }
  SetState(psStop);
  FThreadDoneEvent.Set();
}

void TCustomPlayer::ClosePlayContext() {
  std::unique_ptr<PlayContext> context;
  {
    auto lock = LockPlayer();
    context = std::move(FPlayback);
    // Before the input goes: the reader never closes what it adopted.
    if (context) FInfoDecoder.AdoptFormatContext(nullptr);
  }
  if (!context) return;
  // Outside the lock: the read thread may need the main thread (a log line) to end.
  // A context whose read does not come back is left to its read thread.
  if (!context->Close()) (void)context.release();
  FDisplay->Close();
  context.reset();
  auto lock = LockPlayer();
  ResetPlayerState();
  StopSDL();
}

void TCustomPlayer::RefreshStep(PlayContext& context) {
  if (context.HasVideo()) {
    const double now = static_cast<double>(ff::av_gettime()) / 1e6;
    bool dropped = false;
    if (context.AdvancePicture(now, dropped)) {
      const int64_t pts = std::llround(context.CurrentPicturePts() * 1e6) - context.StartTime;
      if (FDeliver.load()) FDisplay->ShowPicture(context, pts);
      // A file opened paused is announced paused once its first picture is on screen.
      if (context.StartPaused && !FStartPauseAnnounced && context.Paused()) {
        FStartPauseAnnounced = true;
        SetState(psPause);
      }
    }
    if (!dropped) ReportPosition(context);
    return;
  }
  if (!context.HasAudio()) return;
  const int64_t pts = std::llround(context.AudioClock() * 1e6) - context.StartTime;
  // Subtitles that nobody draws still end, so that the next ones are decoded.
  context.ExpireSubtitles(context.AudioClock());
  if (context.DisplayMode != 0 && FDeliver.load()) FDisplay->Show(context, pts);
  ReportPosition(context);
}

void TCustomPlayer::ReportPosition(PlayContext& c) {
  if (c.ImageSequence || (!c.HasAudio() && !c.HasVideo())) return;
  // Played to the end: the clock stops at the last sample or picture, which for a file
  // with gapless trimming (or a rounded duration) is short of the container's duration.
  const bool playedOut = c.PlayedOut();
  // Between a seek request and the first sound (picture) from the new place the clock
  // still tells the old place.
  if (!playedOut && (c.HasVideo() ? c.PictureStale() : c.ClockStale())) return;
  const double clock = c.HasVideo() ? c.VideoClock(static_cast<double>(ff::av_gettime()) / 1e6) : c.AudioClock();
  int64_t position = std::llround(clock * 1e6) - c.StartTime;
  if (!c.HasVideo() && c.AudioDuration > 0 && position >= c.AudioDuration && position < c.Duration)
    position = c.Duration;
  if (playedOut && c.Duration > 0) position = c.Duration;
  FCurrentPosition = position;
  if (c.Duration > 0 && position >= c.Duration) {
    if (FLastReportedPosition != c.Duration) FLastReportedPosition = 0;
    position = c.Duration;
  }
  if (FLastReportedPosition == NoTime || std::llabs(position - FLastReportedPosition) > 10000) {
    FLastReportedPosition = position;
    if (OnPosition) FEvents->Post({ekPosition, psPlay, position, FRun.load()});
  }
  // Announced once per end, when the last sound has gone to the device and the last
  // picture is on screen; a seek that restarts reading allows the next.
  if (!c.Capture && !FEndAnnounced.load() && playedOut) {
    FEndAnnounced = true;
    SetState(psEnd);
  }
}

void TCustomPlayer::SetState(TPlayState state) {
  FState = state;
  if (OnState) FEvents->Post({ekState, state, 0, FRun.load()});
  else if (state == psStop) FEvents->Post({ekEnd, state, 0, FRun.load()});
}

void TCustomPlayer::RaiseFileOpen() {
  int64_t duration;
  {
    auto lock = LockPlayer();
    if (!FPlayback) return;
    duration = FPlayback->ImageSequence ? 0 : FPlayback->Duration;
  }
  int frameWidth = -1, frameHeight = -1;
  {
    auto lock = LockPlayer();
    if (FPlayback && FPlayback->HasVideo() && FPlayback->VideoWidth > 0)
      frameWidth = FPlayback->VideoWidth, frameHeight = FPlayback->VideoHeight;
  }
  const auto call = [this, duration, frameWidth, frameHeight] {
    if (OnFileOpen && FDeliver.load()) {
      int w = FScreenWidth, h = FScreenHeight;
      OnFileOpen(this, duration, frameWidth, frameHeight, w, h);
      FScreenWidth = w, FScreenHeight = h;
    }
    // The display is the host window's size unless one was asked for.
    int w = 0, h = 0;
    if (FScreenHandle != 0 && (FScreenWidth == 0 || FScreenHeight == 0) && HostWindowSize(FScreenHandle, w, h))
      FScreenWidth = w, FScreenHeight = h;
  };
  if (FTriggerEventInMainThread) CallInMainThread(call);
  else call();
}

}  // namespace sw
