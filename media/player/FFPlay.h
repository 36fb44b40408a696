#pragma once
// The player component: plays a media file on its own threads, sends the sound to an SDL
// audio device, optionally draws a display (the picture, or a waveform for a file
// without video) and reports position and state changes through events.
//
// Threads: the host's thread calls the control operations; the play thread carries out
// closing and the display; the read thread demuxes; SDL's audio thread decodes inside
// the audio callback; the event thread delivers OnPosition and OnState (on the main
// thread through CallInMainThread when TriggerEventInMainThread is true).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/base/FFBaseComponent.h"
#include "media/base/ManualResetEvent.h"
#include "media/common/PictureBridge.h"
#include "media/info/FFDecode.h"

namespace sw {

enum TPlayState : int { psPlay, psPause, psResume, psStep, psStop, psEnd };
enum TAudioDriver : int { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver : int { vdDefault, vdDirectDraw, vdGDI };

// Mixing volume: 128 leaves the samples unchanged; the host may write any value 0..255.
using TAudioVolume = int;
// SDL mixes a buffer at volume / 128 (its SDL_MIX_MAXVOLUME); above it the sound is louder.
inline constexpr TAudioVolume PlayerUnityVolume = 128;
// A host window given to OpenMedia (an X11 window id, Qt's WId); 0 = none. The player
// never draws into it: with a host window the display is offered through OnVideoHook, at
// the window's size (ScreenWidth x ScreenHeight, taken from the window at open when 0).
using TWindowHandle = uintptr_t;

class TCustomPlayer;
struct PlayContext;
class TEventThread;
class TPlayerEvents;
class TPlayerDisplay;

// News bits for the play thread.
enum TPlayerNews : unsigned { pnQuit = 1, pnReopenDisplay = 2 };

// Published but never raised: audio hooking is not enabled by this player.
using TPlayerAudioHookEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS, uint8_t* ASample, int ASize,
                                           int ASampleRate, int AChannels)>;
// ADuration in microseconds; AFrameWidth/AFrameHeight -1 without a picture; the handler
// may change the display size.
using TFileOpenEvent = std::function<void(TCustomPlayer* Sender, int64_t ADuration, int AFrameWidth,
                                          int AFrameHeight, int& AScreenWidth, int& AScreenHeight)>;
using TPlayStateEvent = std::function<void(TCustomPlayer* Sender, TPlayState APlayState)>;
// APTS: microseconds from the start of the file.
using TPositionEvent = std::function<void(TCustomPlayer* Sender, int64_t APTS)>;
// Every drawn frame (24-bit BGR rows, top-down) with its time in microseconds. Runs on
// the play thread; leaving AUpdate true keeps changes made to the pixels for the own window.
// With a host window the frame is the display (the picture fitted in by its aspect);
// without one, VideoHook offers each picture at its own size.
using TPlayerVideoHookEvent = std::function<void(TCustomPlayer* Sender, TPixelBuffer& ABitmap, int64_t APTS, bool& AUpdate)>;

class TCustomPlayer : public TFFBaseComponent {
 public:
  TCustomPlayer();
  ~TCustomPlayer() override;  // stops and waits; nothing is delivered during teardown
  TCustomPlayer(const TCustomPlayer&) = delete;
  TCustomPlayer& operator=(const TCustomPlayer&) = delete;

  const std::string& Version() const { return FVersion; }

  // The libraries of the player set (codec, resampler, filter, format, util, scaler, C
  // runtime and SDL) are loaded.
  bool LibrariesReady() const;
  // False with ErrorText := the loader's text when a library cannot be loaded.
  bool LoadLibrariesFrom(const std::string& folder);

  // Closes what plays, then opens the file (UTF-8 name) and starts playing it, or holds
  // it paused at its start. False with ErrorText set when it cannot be played.
  bool OpenMedia(const std::string& fileName, TWindowHandle screenHandle, bool startPaused);
  // wait = false returns at once and the play thread closes; wait = true returns when
  // everything is closed. Harmless when nothing plays.
  void Stop(bool wait);
  void Pause();   // announces psPause; nothing when nothing plays or already paused
  void Resume();  // announces psResume; nothing when nothing plays or not paused
  // position in microseconds from the start of the file (clamped to the duration);
  // flags bit 2 = position is a byte offset, bit 1 = backward; wait = return when done.
  void Seek(uint8_t flags, bool wait, int64_t position);

  const std::string& ErrorText() const { return FErrorText; }

  // Published properties.
  TAudioDriver AudioDriver() const { return FAudioDriver; }
  void SetAudioDriver(TAudioDriver v) { FAudioDriver = v; }
  TVideoDriver VideoDriver() const { return FVideoDriver; }
  void SetVideoDriver(TVideoDriver v) { FVideoDriver = v; }
  TAudioVolume AudioVolume() const { return FAudioVolume.load(std::memory_order_relaxed); }
  void SetAudioVolume(TAudioVolume v);  // kept within 0..255; applies from the next buffer
  bool Mute() const { return FMute.load(std::memory_order_relaxed); }
  void SetMute(bool v) { FMute.store(v, std::memory_order_relaxed); }
  bool DisableAudio() const { return FDisableAudio; }
  void SetDisableAudio(bool v) { FDisableAudio = v; }
  bool DisableVideo() const { return FDisableVideo; }
  void SetDisableVideo(bool v) { FDisableVideo = v; }
  bool DisableDisplay() const { return FDisableDisplay; }
  void SetDisableDisplay(bool v) { FDisableDisplay = v; }
  int FrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(int v) { FFrameWidth = v; }
  int FrameHeight() const { return FFrameHeight; }
  void SetFrameHeight(int v) { FFrameHeight = v; }
  int ScreenWidth() const { return FScreenWidth; }
  void SetScreenWidth(int v) { FScreenWidth = v; }
  int ScreenHeight() const { return FScreenHeight; }
  void SetScreenHeight(int v) { FScreenHeight = v; }
  // How Seek finds a place given as a time: -1 (the default) decides for each file at its
  // open, by bytes when its format allows its timestamps to jump (MPEG-TS and -PS, Ogg and
  // the like), by time otherwise; 0 always by time; 1 always by bytes, the time turned into
  // its share of the file's bytes.
  int SeekByBytes() const { return FSeekByBytes; }
  void SetSeekByBytes(int v) { FSeekByBytes = v; }
  // The file that plays is seeked by bytes.
  bool SeeksByBytes() const;
  bool TriggerEventInMainThread() const { return FTriggerEventInMainThread; }
  void SetTriggerEventInMainThread(bool v) { FTriggerEventInMainThread = v; }
  bool VideoHook() const { return FVideoHook; }
  void SetVideoHook(bool v) { FVideoHook = v; }
  float AspectRatio() const { return FAspectRatio.load(); }

  // Unpublished fields.
  const std::string& VideoFilterText() const { return FVideoFilterText; }
  void SetVideoFilterText(const std::string& v) { FVideoFilterText = v; }
  const std::string& FileName() const { return FFileName; }
  TWindowHandle ScreenHandle() const { return FScreenHandle; }
  TPlayState State() const { return FState.load(); }
  // The latest computed position in microseconds; -1 when nothing has been computed.
  int64_t CurrentPosition() const { return FCurrentPosition.load(); }
  // Wall-clock microseconds (av_gettime) of the latest audio callback; 0 before the first.
  int64_t AudioCallbackTime() const { return FAudioCallbackTime.load(); }
  // Pictures of the open file shown too late to keep, and decoded pictures passed over
  // so that a slow display catches up; 0 when nothing is open.
  int64_t DroppedPictures() const;
  int64_t SkippedPictures() const;
  // Duration of the open file in microseconds; -1 when unknown or nothing is open.
  int64_t Duration() const;
  bool Playing() const;  // a file is open
  bool Paused() const;

  // The information reader of the file being played: it describes the player's own
  // input (the file is not opened a second time) from OpenMedia until the file is
  // closed, and nothing otherwise. The play thread closes the file by itself after
  // Stop(false) or a failed read: a host that may read it then holds LockInfoDecoder().
  TFFDecoder& InfoDecoder() { return FInfoDecoder; }
  std::unique_lock<std::recursive_mutex> LockInfoDecoder() const { return LockPlayer(); }

  // Logs the text as an error of the player; keep = also store it in ErrorText.
  void ReportError(const std::string& text, bool keep);

  // Events. Set them before OpenMedia; with TriggerEventInMainThread false OnPosition and
  // OnState run on the event thread, and OnVideoHook always runs on the play thread. An
  // OnPosition or OnState handler may open the next file or destroy the player.
  TPlayerAudioHookEvent OnAudioHook;
  TFileOpenEvent OnFileOpen;
  TPositionEvent OnPosition;
  TPlayStateEvent OnState;
  TPlayerVideoHookEvent OnVideoHook;

 protected:
  void StoreAspectRatio(float v);

 private:
  friend struct PlayContext;
  friend class TEventThread;
  friend class TPlayerDisplay;

  bool StartSDL(TWindowHandle screenHandle);
  void StopSDL();
  void ResetPlayerState();
  // The play thread: closing on request, the display and the position reports.
  void PlayThread();
  void RefreshStep(PlayContext& context);
  void ClosePlayContext();
  void JoinPlayThread();
  void WaitForEnd();
  // Takes FPlayerLock; on the main thread the calls queued for it keep running meanwhile.
  std::unique_lock<std::recursive_mutex> LockPlayer() const;
  void SetState(TPlayState state);
  void ReportPosition(PlayContext& context);
  void RaiseFileOpen();
  void FinishEventThread();
  // Any thread: news for the play thread, a bit plus a wake-up.
  void PostPlayerNews(unsigned bits);
  void ClearEndAnnounced() { FEndAnnounced = false; }

  // Properties: written by the host's thread; a play context copies what it needs at open.
  TAudioDriver FAudioDriver = adDefault;
  TVideoDriver FVideoDriver = vdDefault;
  bool FDisableAudio = false, FDisableVideo = false, FDisableDisplay = false;
  int FFrameWidth = 0, FFrameHeight = 0;
  int FScreenWidth = 0, FScreenHeight = 0;  // the play thread reads them while drawing
  int FSeekByBytes = -1;
  bool FTriggerEventInMainThread = true;
  bool FVideoHook = false;
  std::atomic<float> FAspectRatio{0};  // read by the play thread while drawing
  std::string FVideoFilterText;
  std::string FErrorText;
  // Written by OpenMedia before the play thread starts.
  std::string FFileName;
  TWindowHandle FScreenHandle = 0;
  // Read by SDL's audio thread on every buffer without a lock.
  std::atomic<int> FAudioVolume{PlayerUnityVolume};
  std::atomic<bool> FMute{false};
  // Written by the audio callback: wall-clock microseconds of its latest call.
  std::atomic<int64_t> FAudioCallbackTime{0};
  // Cleared first by the destructor: from then on no handler is called.
  std::atomic<bool> FDeliver{true};

  // --- protected by FPlayerLock: the open play context.
  mutable std::recursive_mutex FPlayerLock;
  std::unique_ptr<PlayContext> FPlayback;
  TFFDecoder FInfoDecoder;  // describes FPlayback's input while it is open
  bool FSDLStarted = false;  // the audio subsystem is held for FPlayback (host's thread)

  // The play thread: started by OpenMedia, ends by itself after closing; joined by the
  // next OpenMedia, Stop(true) or the destructor (the host's thread or, from a handler,
  // the event thread). Set and taken under FPlayerLock.
  std::thread FPlayThread;
  TManualResetEvent FThreadDoneEvent{true};
  TManualResetEvent FSeekDoneEvent{true};
  // Set once a seek has been done and the first picture from there is queued (or there
  // is none to come); set while no video plays.
  TManualResetEvent FVideoSeekDoneEvent{true};
  // --- protected by FNewsLock: the play thread's news bits.
  std::mutex FNewsLock;
  std::condition_variable FNewsArrived;
  unsigned FNews = 0;

  // Events: the ring and the thread that delivers them.
  // Shared with the event thread: one left to end by itself (see FinishEventThread)
  // still reads the ring after the player has gone.
  std::shared_ptr<TPlayerEvents> FEvents;
  std::unique_ptr<TEventThread> FEventThread;
  std::atomic<unsigned> FRun{0};  // counts the files opened; the events of each carry it
  std::atomic<TPlayState> FState{psStop};
  std::atomic<int64_t> FCurrentPosition{-1};
  std::atomic<bool> FEndAnnounced{false};  // cleared by the read thread after a seek
  // --- play thread only (and the host's thread while no play thread runs).
  int64_t FLastReportedPosition;
  bool FStartPauseAnnounced = false;
  std::unique_ptr<TPlayerDisplay> FDisplay;
};

class TFFPlayer : public TCustomPlayer {
 public:
  // Stores the value only when it differs; with a file open the display is re-made.
  void SetAspectRatio(float v) { StoreAspectRatio(v); }
};

}  // namespace sw
