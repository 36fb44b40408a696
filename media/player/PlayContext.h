#pragma once
// The state of one open file: demuxing on the read thread, its packet queues, the audio
// device with its decoder (run inside SDL's audio callback) and what the display reads.
// Fields are grouped by the thread that may touch them.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PacketQueue.h"
#include "media/binding/SDLStubs.h"
#include "media/common/FFHandles.h"
#include "media/common/ManualResetEvent.h"

namespace sw {

class TCustomPlayer;

// Bits the audio callback leaves for the play thread, which logs them: the callback never
// logs itself (a log line may wait for the main thread while the device is being closed).
enum TAudioNews : unsigned { anDecodeFailed = 1, anConvertFailed = 2 };

struct PlayContext {
  static constexpr int WaveRingSize = 0x20000;  // samples
  static constexpr int AudioQueueLimit = 0x50000;
  static constexpr int64_t QueuesLimit = 0xF00000;
  static constexpr int PacketCountLimit = 5;
  static constexpr int SilenceBytes = 1024;

  PlayContext(TCustomPlayer& owner, const std::string& fileName, bool startPaused);
  ~PlayContext();  // Close() must have run
  PlayContext(const PlayContext&) = delete;
  PlayContext& operator=(const PlayContext&) = delete;

  // Starts the read thread and waits (running the main thread's calls) until the file is
  // open or has failed; false with the owner's ErrorText set.
  bool Open();
  // Sets the abort flag and waits for the read thread, which closes the streams.
  void Close();
  // Any thread. Ignored while an earlier request is pending.
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
  // Seconds: the end of the decoded data minus what the callback still holds.
  double AudioClock() const { return FAudioClockNow.load(std::memory_order_relaxed); }
  // Takes and clears what the audio callback has left to report.
  unsigned TakeAudioNews() { return FAudioNews.exchange(0); }
  // Copies the latest samples handed to the device (interleaved, Channels per frame)
  // into out, oldest first.
  void CopyWaveform(std::vector<int16_t>& out, int frames);

  TCustomPlayer& Owner;

  // --- immutable once the open result is 1 (written by the read thread before).
  std::string FileName;
  bool StartPaused;
  bool DisableAudio, DisableVideo, DisableDisplay;  // copied from the owner at creation
  int FrameWidth, FrameHeight;
  AVFormatContext* Format = nullptr;
  int64_t StartTime = 0;       // microseconds; the container's when known
  int64_t Duration = -1;       // container, microseconds; -1 when unknown
  int64_t AudioDuration = -1;  // audio stream, microseconds; -1 when unknown
  bool ImageSequence = false, Capture = false;
  int AudioIndex = -1, VideoIndex = -1, SubtitleIndex = -1;
  AVStream* AudioStream = nullptr;
  int DeviceRate = 0, DeviceChannels = 0, HardwareBufferSize = 0;
  int DisplayMode = 0;  // 0 none, 1 waveform (set before the play thread starts)

  PacketQueue AudioQueue;  // fed by the read thread, taken by the audio callback

 private:
  friend void AudioCallback(void* userData, Uint8* stream, int length);
  void ReadThread();
  void Nap(std::chrono::milliseconds d);
  bool OpenInput();
  void ReadLoop();
  void DoSeek();
  bool QueuesFull() const;
  int OpenStream(int index);
  void CloseStream(int index);
  bool OpenAudioDevice(const AVCodecContext& codec);
  void CloseAudioDevice();
  void FinishReadThread(bool failed);
  // The audio callback's side.
  void FillAudio(Uint8* stream, int length);
  int DecodeAudioFrame();
  int ConvertFrame(const AVFrame& frame);

  std::thread FReadThread;
  std::atomic<int> FOpenResult{0};  // 0 opening, 1 open, -1 failed, -2 failed and reading ended
  std::atomic<bool> FAbort{false};
  // Set with the abort flag and with a seek request: cuts the read thread's naps short.
  TManualResetEvent FWakeEvent{false};
  std::atomic<int> FPaused{0};
  std::atomic<bool> FDrained{false};
  std::atomic<bool> FReading{false};  // the read thread is inside a blocking library read

  // --- the seek request: written by any thread under FSeekLock, carried out by the read thread.
  std::mutex FSeekLock;
  bool FSeekRequest = false;
  int FSeekFlags = 0;
  int64_t FSeekTarget = 0, FSeekRelative = 0;
  bool FPausedAtSeek = false;

  // --- read thread only.
  int FLastPaused = 0;
  bool FEndReported = false, FEndOfFile = false;

  // --- the audio device (opened and closed by the read thread).
  SDL_AudioDeviceID FDevice = 0;

  // --- SDL's audio thread only (the callback), once the device runs.
  TCodecContextPtr FAudioCodec;
  TFramePtr FAudioFrame;
  AVPacket* FPendingPacket = nullptr;  // sent on once the decoder takes input again
  TResamplerPtr FConverter;
  AVChannelLayout FConverterLayout{};
  int FConverterRate = 0, FConverterFormat = -1;
  std::vector<uint8_t> FAudioBuffer;  // converted interleaved 16-bit samples
  int FBufferSize = 0, FBufferIndex = 0;
  double FAudioClock = 0;  // seconds: the end of the data decoded so far
  // Published by the callback for other threads.
  std::atomic<double> FAudioClockNow{0};
  std::atomic<bool> FClockStale{false};  // set by a seek request, cleared by the callback
  bool FFlushSeen = false;               // SDL's audio thread only
  std::atomic<unsigned> FAudioNews{0};

  // --- protected by FWaveLock: the last samples handed to the device.
  std::mutex FWaveLock;
  std::vector<int16_t> FWaveRing;
  int FWaveIndex = 0;
};

void AudioCallback(void* userData, Uint8* stream, int length);

}  // namespace sw
