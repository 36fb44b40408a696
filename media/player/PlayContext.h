#pragma once
// The state of one open file: demuxing on the read thread, its packet queues, the audio
// device with its decoder (run inside SDL's audio callback) and what the display reads.
// Fields are grouped by the thread that may touch them.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PacketQueue.h"
#include "PictureSkip.h"
#include "WaveRing.h"
#include "media/base/ManualResetEvent.h"
#include "media/binding/SDLStubs.h"
#include "media/common/FFHandles.h"

namespace sw {

class TCustomPlayer;
class TTextSubtitles;

// Bits the audio callback leaves for the play thread, which logs them: the callback never
// logs itself (a log line may wait for the main thread while the device is being closed).
enum TAudioNews : unsigned { anDecodeFailed = 1, anConvertFailed = 2, anNoConverter = 4 };

struct PlayContext {
  static constexpr int WaveRingSize = 0x20000;  // samples
  static constexpr int AudioQueueLimit = 0x50000;
  static constexpr int64_t QueuesLimit = 0xF00000;
  static constexpr int PacketCountLimit = 5;
  static constexpr int SilenceBytes = 1024;
  static constexpr size_t PictureRingSize = 2;
  static constexpr size_t SubtitleRingSize = 4;

  PlayContext(TCustomPlayer& owner, const std::string& fileName, bool startPaused);
  ~PlayContext();  // Close() must have run
  PlayContext(const PlayContext&) = delete;
  PlayContext& operator=(const PlayContext&) = delete;

  // Starts the read thread and waits (running the main thread's calls) until the file is
  // open or has failed; false with the owner's ErrorText set.
  bool Open();
  // Sets the abort flag and waits for the read thread, which closes the streams. A read
  // thread stuck in a library read that does not come back (a pipe nobody writes to) is
  // waited for about ForcedCloseRounds x 100 ms; then the streams and the sound device
  // are closed here, and the input and this context are left to the read thread, which
  // frees them when the read returns: false then, and the caller must release the
  // context without deleting it.
  bool Close();
  static constexpr int ForcedCloseRounds = 20;
  // Any thread. A request not yet carried out is replaced: the newest place wins.
  void RequestSeek(int flags, bool wait, int64_t relative, int64_t target);
  // Call WaitForSeek first, without holding the player's lock (the read thread does
  // the seek without it, but the play thread needs the lock to go on reporting).
  static void WaitForSeek(TManualResetEvent& seekDone);
  void TogglePause();
  bool Paused() const { return FPaused.load() != 0; }
  bool Drained() const { return FDrained.load(); }
  // From a seek request until the first sound after it is decoded, the clock still tells
  // where playing was before.
  bool ClockStale() const { return FClockStale.load(); }
  bool HasAudio() const { return AudioIndex >= 0; }
  bool HasVideo() const { return VideoIndex >= 0; }
  // Everything of the file has been played: the input is drained, the device has asked for
  // more after taking the last sound, and the last picture is on screen.
  bool PlayedOut();
  // Seconds: the end of the decoded data minus what the callback still holds.
  double AudioClock() const { return FAudioClockNow.load(std::memory_order_relaxed); }
  // Takes and clears what the audio callback has left to report.
  unsigned TakeAudioNews() { return FAudioNews.exchange(0); }
  // The sample format of the frames no converter could be made for (with anNoConverter).
  int RefusedFormat() const { return FRefusedFormat.load(); }
  // Copies the latest samples handed to the device (interleaved, DeviceChannels per frame)
  // into out, oldest first.
  void CopyWaveform(std::vector<int16_t>& out, int frames);
  // The waveform's window of frames from the sample heard now (see TWaveRing::Window);
  // start >= 0 keeps a start answered before. Answers the start used.
  int WaveformWindow(std::vector<int16_t>& out, int frames, int start);

  // --- the pictures (play thread). Wall-clock times are av_gettime() seconds.
  // Makes the picture due at now the current one; true when it changed. Late pictures
  // with a later one also due are passed over (dropped is set).
  bool AdvancePicture(double now, bool& dropped);
  // Seconds of the stream: the current picture's time moving with the wall clock.
  double VideoClock(double now);
  // From a seek request until the first picture from the new place is shown.
  bool PictureStale() const { return FPictureStale.load(); }
  // The current picture (yuv420p), null before the first; play thread only.
  AVFrame* CurrentPicture() { return FCurrent.get(); }
  double CurrentPicturePts() const { return FCurrentPts; }
  int64_t DroppedPictures() const { return FDroppedPictures.load(); }
  int64_t SkippedPictures() const { return FSkippedPictures.load(); }
  // Blends the subtitles due at pts (seconds of the stream) into frame, expiring those
  // that have ended: bitmaps, and text when the text renderer could be loaded; false when
  // none is due (frame untouched). Play thread.
  bool BlendSubtitles(double pts, AVFrame& frame);
  // Lets the subtitles that have ended at pts go (when nothing draws them).
  void ExpireSubtitles(double pts);
  bool HasSubtitles() const { return SubtitleIndex >= 0; }
  TCustomPlayer& Owner;

  // --- immutable once the open result is 1 (written by the read thread before).
  std::string FileName;
  bool StartPaused;
  bool DisableAudio, DisableVideo, DisableDisplay;  // copied from the owner at creation
  int SeekByBytesMode;
  int FrameWidth, FrameHeight;
  std::string VideoFilterText;
  AVFormatContext* Format = nullptr;
  int64_t StartTime = 0;       // microseconds; the container's when known
  int64_t Duration = -1;       // container, microseconds; -1 when unknown
  int64_t AudioDuration = -1;  // audio stream, microseconds; -1 when unknown
  int64_t FileBytes = -1;      // the input's size; -1 when unknown
  bool SeekByBytes = false;    // times given to seeks become byte offsets
  bool ImageSequence = false, Capture = false;
  // Written by the read thread (also when it closes the streams), read by the others.
  std::atomic<int> AudioIndex{-1}, VideoIndex{-1}, SubtitleIndex{-1};
  AVStream* AudioStream = nullptr;
  AVStream* VideoStream = nullptr;
  AVStream* SubtitleStream = nullptr;
  int VideoWidth = 0, VideoHeight = 0;
  AVRational VideoSampleAspect{0, 1};
  double FrameDuration = 0.04;  // seconds, from the stream's frame rate
  int DeviceRate = 0, DeviceChannels = 0, HardwareBufferSize = 0;
  // 0 none, 1 waveform, 2 spectrum: set by the read thread while it opens the streams
  // (the audio callback may run by then), read by the callback and the play thread.
  std::atomic<int> DisplayMode{0};

  PacketQueue AudioQueue;  // fed by the read thread, taken by the audio callback
  PacketQueue VideoQueue;  // fed by the read thread, taken by the video thread
  PacketQueue SubtitleQueue;

 private:
  friend void AudioCallback(void* userData, Uint8* stream, int length);
  void ReadThread();
  void Nap(std::chrono::milliseconds d);
  bool OpenInput();
  struct TStreamChoice {
    int Audio = -1, Video = -1, Subtitle = -1;
  };
  // The stream of each kind to play; packets read to choose them are kept in held.
  TStreamChoice ChooseStreams(std::vector<TPacketPtr>& held);
  // Onto the queue of its stream (taking it), or dropped (and the packet kept for reuse).
  void QueuePacket(TPacketPtr& packet);
  void ReadLoop();
  void DoSeek();
  // Logs the end of reading (the end of the input or a read error), once until a seek.
  void SayReadEnded(int result);
  // How far before the place asked for a seek of sound alone lands: more than the bit
  // reservoir of any MP3 reaches back, at its lowest rates.
  static constexpr int64_t AudioPreroll = 500000;
  bool QueuesFull() const;
  int OpenStream(int index);
  void CloseStream(int index);
  bool OpenAudioDevice(const AVCodecContext& codec);
  void CloseAudioDevice();
  void FinishReadThread(bool failed);
  void CloseStreams();
  // The audio callback's side.
  void FillAudio(Uint8* stream, int length);
  int DecodeAudioFrame();
  // Converts the frame, or takes what the converter still holds (frame null), into the
  // sound buffer: the bytes, -1 on failure.
  int ConvertPiece(const AVFrame* frame);
  bool ConverterFits(const AVFrame& frame);
  void ForgetConverter();
  // Drops from the converted bytes what a seek skips and moves the clock past them all:
  // the bytes left to play.
  int TakeSound(int bytes);
  // The video side.
  bool OpenDecoder(AVStream& stream, TCodecContextPtr& codec);
  void VideoThread();
  // keep: queued even when the skip factor would pass it over.
  bool QueuePicture(const AVFrame& frame, AVRational timeBase, unsigned serial, bool keep = false);
  TFramePtr ToPicture(const AVFrame& frame);
  void RestartPictureTiming(double now);
  void ClearPictures();  // read thread, after a seek
  void PauseChanged(bool paused);
  void OpenTextRenderer();
  void SubtitleThread();
  void ClearSubtitles();
  void ExpireSubtitlesLocked(double pts);  // FSubLock held

  std::thread FReadThread;
  std::atomic<int> FOpenResult{0};  // 0 opening, 1 open, -1 failed, -2 failed and reading ended
  // Who ends the context: the closer joins a read thread that ended, or leaves it to a
  // read thread it has given up waiting for.
  enum TReadThreadFate : int { rfRunning, rfEnded, rfAbandoned };
  std::atomic<int> FFate{rfRunning};
  TManualResetEvent FReadEnded{false};
  // Held by the closer while it closes the streams of an abandoned context: the read
  // thread takes it before it frees the context.
  std::mutex FForceLock;
  std::atomic<bool> FAbort{false};
  // Set with the abort flag and with a seek request: cuts the read thread's naps short.
  TManualResetEvent FWakeEvent{false};
  std::atomic<int> FPaused{0};
  std::atomic<bool> FDrained{false};
  std::atomic<bool> FReading{false};  // the read thread is inside a blocking library read
  // Set by the read thread when it has met the end of the input, cleared by a seek.
  std::atomic<bool> FInputEnded{false};
  // Set by the audio callback when it found nothing more to play after the end of the
  // input; cleared by any sound and by a seek.
  std::atomic<bool> FSoundPlayedOut{false};

  // --- the seek request: written by any thread under FSeekLock, carried out by the read thread.
  std::mutex FSeekLock;
  bool FSeekRequest = false;
  unsigned FSeekSerial = 0;  // counts the requests: one arriving during a seek is done next
  int FSeekFlags = 0;
  int64_t FSeekTarget = 0, FSeekRelative = 0;
  bool FPausedAtSeek = false;

  // --- read thread only.
  int FLastPaused = 0;
  bool FEndReported = false, FEndOfFile = false;
  bool FVideoEndQueued = false;  // the end marker went to the video queue for this end

  // --- the audio device (opened and closed by the read thread).
  SDL_AudioDeviceID FDevice = 0;

  // --- SDL's audio thread only (the callback), once the device runs.
  TCodecContextPtr FAudioCodec;
  TFramePtr FAudioFrame;
  AVPacket* FPendingPacket = nullptr;  // sent on once the decoder takes input again
  TResamplerPtr FConverter;
  AVChannelLayout FConverterLayout{};
  int FConverterRate = 0, FConverterFormat = -1;
  bool FConverterBacklog = false;  // the converter holds sound that did not fit the buffer
  // Converted interleaved 16-bit samples; sized when the device is opened.
  std::vector<uint8_t> FAudioBuffer;
  int FBufferSize = 0, FBufferIndex = 0;
  double FAudioClock = 0;  // seconds: the end of the data decoded so far
  // Published by the callback for other threads.
  std::atomic<double> FAudioClockNow{0};
  std::atomic<bool> FClockStale{false};  // set by a seek request, cleared by the callback
  bool FFlushSeen = false;               // SDL's audio thread only
  // The place a seek asked for (µs on the stream's time line; no time for a seek by
  // bytes): written by the read thread before it queues the flush marker, taken by the
  // audio callback with the marker. Sound before it is dropped, so that the sound after a
  // seek starts at the asked sample, not at the frame the demuxer landed on.
  std::atomic<int64_t> FAudioSeekTarget{AV_NOPTS_VALUE};
  int64_t FSoundFrom = AV_NOPTS_VALUE;  // SDL's audio thread only
  int64_t FSkipLeft = 0;                // samples still to drop; SDL's audio thread only
  std::atomic<unsigned> FAudioNews{0};
  std::atomic<int> FRefusedFormat{-1};

  // --- the video decoder and its thread (started and joined by the read thread).
  TCodecContextPtr FVideoCodec, FSubtitleCodec;
  std::thread FVideoThread, FSubtitleThread;
  TScalerPtr FScaler;  // video thread only

  struct TPicture {
    TFramePtr Frame;
    double Pts = 0;   // seconds of the stream
    double Time = 0;  // wall clock: when it is due
  };
  // --- protected by FPictureLock: the picture ring and the video timing.
  std::mutex FPictureLock;
  std::condition_variable FPictureChanged;
  std::deque<TPicture> FPictures;
  bool FPictureAbort = false;
  unsigned FPictureSerial = 0;     // advanced by each seek: older pictures are not queued
  double FFrameTimer = 0;          // wall clock of the latest queued picture
  double FLastFramePts = 0, FLastFrameDelay = 0.04;
  bool FHaveCurrent = false;       // a picture has been shown
  double FCurrentPts = 0, FDrift = 0;  // the current picture: pts and pts - wall clock
  double FPausedAt = 0;            // wall clock of the pause (or of the picture shown while paused)
  bool FNeedFirstPicture = true;   // after the open or a seek: the next picture is shown at once
  bool FSeekedPictures = false;    // a seek cleared the ring since the last picture shown
  bool FVideoEnded = false;        // the decoder gave its last picture for this end
  std::atomic<bool> FPictureStale{false};
  std::atomic<int64_t> FDroppedPictures{0};
  std::atomic<int64_t> FSkippedPictures{0};
  TPictureSkip FSkip;  // under FPictureLock
  // The last picture the skip passed over, shown after all if it was the stream's last
  // (video thread only).
  TFramePtr FPassedOver;
  AVRational FPassedOverTimeBase{0, 1};
  TFramePtr FCurrent;              // play thread only: the picture on screen

  struct TSubPicture {
    AVSubtitle Sub{};
    double Start = 0, End = 0;  // seconds of the stream
  };
  // --- protected by FSubLock: the subtitles decoded and not yet ended.
  std::mutex FSubLock;
  std::condition_variable FSubChanged;
  std::deque<TSubPicture> FSubs;
  bool FSubAbort = false;
  unsigned FSubSerial = 0;
  // The text renderer of a text subtitle stream; null for bitmaps or without libass.
  std::unique_ptr<TTextSubtitles> FTextSubs;

  TWaveRing FWave{WaveRingSize};  // the last samples handed to the device
};

void AudioCallback(void* userData, Uint8* stream, int length);

}  // namespace sw
