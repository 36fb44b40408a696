#pragma once
// The transcoding engine of one conversion task: its settings, its input and output
// files, the per-run tables, and the events through which it talks to its owner.
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <stdexcept>
#include <string>
#include <vector>

#include "ConvertThread.h"
#include "media/binding/FFLog.h"
#include "media/common/FFHandles.h"
#include "media/common/OptionSet.h"
#include "media/common/PictureBridge.h"

namespace sw {

struct TFrameOffsets;  // FrameSeekIndex.h

// A fatal error of a conversion; the message is the system's own text.
class FFmpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
[[noreturn]] void RaiseFFmpeg(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline constexpr int MaxFiles = 20;
inline constexpr int MaxStreams = 20;
inline constexpr int MaxStreamMaps = 400;
inline constexpr int MaxMetaDataMaps = 20;
inline constexpr int64_t NoLimit = std::numeric_limits<int64_t>::max();

struct TVideoInput;
struct TVideoOutput;

struct TStreamMap {
  int FileIndex = 0, StreamIndex = 0, SyncFileIndex = 0, SyncStreamIndex = 0;
};

struct TMetaDataMap {
  int OutFile = 0, InFile = 0;
};

// What stream creation decided about one output stream before the run.
struct TOutputStreamSetup {
  TCodecContextPtr Codec;               // the encoder's context, opened by the run
  const AVCodec* Encoder = nullptr;     // forced encoder; nullptr: found by codec id
  bool StreamCopy = false;
  std::vector<std::string> BitstreamFilters;  // applied in order before writing
};

// An output file: its muxer context (owned; closed by the clean-up) and one setup per
// stream of the context. Join mode repeats one file in the output array.
struct TOutputFile {
  AVFormatContext* Context = nullptr;
  std::vector<TOutputStreamSetup> Streams;
  bool IOOpened = false;      // Context->pb was opened by us and is not yet closed
  int64_t PacketsWritten = 0;  // a file that received none is not kept
  // When set, the packets go here instead of to the muxer (which then writes nothing);
  // the sink may take the packet's reference.
  std::function<void(AVPacket*)> PacketSink;
};
using TOutputFilePtr = std::shared_ptr<TOutputFile>;

// Pipeline settings; option handlers set them, a task reset restores these values.
struct TEngineSettings {
  int64_t StartTime = 0;            // µs: decoded material before it is not encoded
  int64_t RecordingTime = NoLimit;  // µs after StartTime
  bool SeekToStart = true;          // audio inputs are sought to shortly before StartTime
  int EncodeParts = 0;              // parts of one long MP3 segment, encoded apart; 0: as the workers suit
  int EncodeWorkers = 0;            // threads encoding the parts; 0: one per core
  int64_t PartsFrom = 30 * 1000000;  // µs: shorter segments have one encoder, and no part is under a third of it
  int64_t FileSizeLimit = 0;        // bytes, 0: none
  int MaxFrames[4] = {std::numeric_limits<int>::max(), std::numeric_limits<int>::max(),
                      std::numeric_limits<int>::max(), std::numeric_limits<int>::max()};
  float DtsDeltaThreshold = 10.0f;  // seconds
  bool CopyTimestamps = false;
  bool Shortest = false;
  bool InputSync = false;
  bool RateEmulation = false;
  bool ExitOnError = false;
  int Verbosity = 1;
  int AudioVolume = 256;            // 256 is unity
  int AudioSyncMethod = 0;
  float AudioDriftThreshold = 0.1f;  // seconds
  bool PacketDump = false, HexDump = false;
  int ProgramId = 0;
  std::string VideoFilters;
  int ScalerFlags = SWS_BICUBIC;
  bool CopyInitialNonKeyFrames = false;
  int VideoSyncMethod = -1;
  int CropBands[4] = {0, 0, 0, 0};
  bool Deinterlace = false;
  int TopFieldFirst = -1;
  bool QuantiserHistogram = false;
  std::string PassLogPrefix;
  bool JoinMode = false;
  int64_t TotalDuration = -1;        // µs, -1: unknown
  int64_t ReportInterval = 500000;   // µs
  int64_t PreviewInterval = 100000;  // µs
  std::string VideoStatsFile;        // per-frame video statistics; empty: none
  std::vector<TStreamMap> StreamMaps;
  std::vector<TMetaDataMap> MetaDataMaps;
};

// Per run: one per input file.
struct TInputFileInfo {
  bool EndOfFile = false;
  int FirstStream = 0;
  int StreamCount = 0;
};

// Per run: one per stream of every input file.
struct TInputStream {
  int FileIndex = 0;
  int StreamIndex = 0;
  AVStream* Stream = nullptr;
  bool Discard = true;           // until an output stream takes it
  bool DecodingNeeded = false;
  TCodecContextPtr Decoder;
  TResamplerPtr ToDecodeFormat;  // decoded audio to interleaved floats
  int DecodedFormat = -1, DecodedRate = 0, DecodedChannels = 0;  // of the current buffer
  int RequestedChannels = 0;     // asked of the decoder for its encoders; 0: none
  int64_t NextSample = 0;        // position of the next decoded sample, at PositionRate
  int PositionRate = 0;          // 0: no position yet
  int64_t Start = 0;             // wall clock, rate emulation
  int64_t NextTime = 0;          // µs
  int64_t Time = 0;              // µs
  int PictureCount = 0;
  bool IsStart = true;
  bool MultipleFramesShown = false;
  bool PastRecordingTime = false;
  bool Flushed = false;
  std::shared_ptr<TVideoInput> Video;  // decoded video: filter graph, hook picture
};

// Per run: one per stream of every output file.
class TEncoderTagWriter;

struct TOutputStream {
  int FileIndex = 0;
  int StreamIndex = 0;
  int SourceIndex = 0;
  AVStream* Stream = nullptr;
  TOutputStreamSetup* Setup = nullptr;  // Setup->Codec is the encoder
  bool EncodingNeeded = false;
  int FrameNumber = 0;
  int SyncIndex = 0;                    // input stream driving synchronisation
  int64_t SyncPosition = 0;             // encoder time base (samples for audio)
  int64_t MuxPosition = 0;              // end of the last written packet, stream time base
  bool AudioResamplingNeeded = false;
  TResamplerPtr Resampler;              // decode format to the encoder's format
  int ResamplerRate = 0, ResamplerChannels = 0;  // the input it was made for
  TAudioFifoPtr Fifo;                   // encoder-format samples not yet encoded
  int64_t EncodedSamples = 0;           // per channel, given to the encoder (padding not counted)
  std::shared_ptr<TEncoderTagWriter> TagWriter;  // an MP3 file's encoder tag, when written by the run
  std::vector<TBitstreamFilterPtr> Filters;
  int64_t SavedCodecId = 0;
  bool Active = false;
  std::shared_ptr<TVideoOutput> Video;  // encoded video: scaler, crop, two-pass log, statistics
  TPacketPtr PendingClear;              // DVB subtitles: the display set that clears the last picture
  AVCodecContext* Encoder() const { return Setup->Codec.get(); }
};

class TCustomFFmpeg;
class TPreviewer;

// sender, samples (interleaved, changeable in place), time µs, bytes, rate, channels, format
using TEngineAudioHookEvent =
    std::function<void(TCustomFFmpeg* sender, uint8_t* samples, int64_t time, int byteCount, int sampleRate,
                       int channels, int sampleFormat)>;
// sender, input file (-1 on the last report), frame, fps, quality, bit rate kbit/s,
// total size bytes, output time µs, total duration µs
using TEngineProgressEvent =
    std::function<void(TCustomFFmpeg* sender, int fileIndex, int frame, int fps, float quality, float bitRate,
                       int64_t totalSize, int64_t time, int64_t totalDuration)>;
using TEngineNotifyEvent = std::function<void(TCustomFFmpeg* sender)>;
// sender, picture (changeable), frame number, time µs, update (in: true), disable (in: false)
using TEngineVideoHookEvent = std::function<void(TCustomFFmpeg* sender, TPixelBuffer* bitmap, int frameNumber,
                                                 int64_t time, bool& update, bool& disable)>;
// sender, picture, frame number, time µs
using TEnginePreviewEvent =
    std::function<void(TCustomFFmpeg* sender, const TPixelBuffer* bitmap, int frameNumber, int64_t time)>;

// Preview flag bits: the previewer window, and pictures for OnPreviewBitmap.
inline constexpr int PreviewWindowFlag = 1;
inline constexpr int PreviewBitmapFlag = 2;

class TCustomFFmpeg {
 public:
  TCustomFFmpeg();
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  TEngineSettings& Settings() { return FSettings; }
  const TEngineSettings& Settings() const { return FSettings; }
  // Made on first use once the libraries are there; raises ELibraryNotLoaded before.
  TLibraryOptionSet& OptionSet();

  // Input files with their timestamp offsets (µs), scales and forced decoders.
  int InputFileCount() const { return static_cast<int>(FInputFiles.size()); }
  AVFormatContext* InputFile(int i) const { return FInputFiles[i]; }
  // Takes ownership; raises when 20 files are open already.
  void AddInputFile(AVFormatContext* context, int64_t timestampOffset);
  int64_t& InputTimestampOffset(int file) { return FInputOffset[file]; }
  double& InputTimestampScale(int file, int stream) { return FInputScale[file][stream]; }
  // Slots are numbered over the streams of all input files in order.
  void SetForcedDecoder(int slot, const AVCodec* codec);
  // Library options (name, value) the decoder of that slot is opened with.
  void SetDecoderOptions(int slot, std::vector<TOptionValue> options);

  int OutputFileCount() const { return static_cast<int>(FOutputFiles.size()); }
  const TOutputFilePtr& OutputFile(int i) const { return FOutputFiles[i]; }
  void AddOutputFile(TOutputFilePtr file);
  void RemoveLastOutputFile();

  // Restores every setting, drops the files and maps and renews the option block.
  virtual void ResetSettings();
  // Closes everything of the previous task and resets it. Nothing without the libraries.
  void ClearTask();
  // The whole conversion on the calling thread; raises FFmpegException on a fatal error.
  // The per-run tables are gone when it returns, either way.
  void Transcode();
  // Closes the files and frees what the task holds. An output the run did not complete
  // is not kept, and whatever was at its name before stays as it was.
  void CleanUp();

  // Starts a run: in the calling thread (the run is over when it returns, and so is the
  // answer nullptr), or on a new worker that waits until resumed. Nothing happens for a
  // running task or one whose end was delivered; a task without files gets its end
  // delivered at once with the reason.
  TConvertThread* Start(bool threaded, TThreadPriority priority);
  // The whole life of a run: conversion, closing the codecs, clean-up, end delivery; an
  // error in one step is logged and kept and does not skip the others.
  void Run();
  void DeliverTerminate();
  // Ends the task whatever its state; a never-started task gets its end delivered from
  // another thread. With wait, returns only when that work is done.
  void Stop(bool wait);
  // The packet loop reads the request once per iteration; settable from any thread.
  void RequestStop(bool wait = false);
  bool StopRequested() const { return FStopRequested; }
  bool FinishedNormally() const { return FFinishedNormally; }
  void SetFinishedNormally(bool v) { FFinishedNormally = v; }
  bool Running() const { return FRunning; }
  bool TerminateDelivered() const { return FTerminateDelivered; }
  bool ErrorRaised() const { return FErrorRaised; }
  std::string ErrorMessage() const;

  // Codec contexts opened by a run and not yet closed (closed under CodecLock).
  void CloseOpenedEncoders();
  void CloseOpenedDecoders();
  void CloseOpenedCodecs();

  // The engine's own messages, through the log bridge with the engine as sender.
  void Log(TLogLevel level, const char* format, ...) __attribute__((format(printf, 3, 4)));

  TEngineAudioHookEvent OnAudioHook;
  TEngineProgressEvent OnProgress;
  TEngineNotifyEvent OnTerminate;
  // Pictures of the video path; set before a run (the run may remove a failing hook).
  TEngineVideoHookEvent OnVideoInputHook;
  TEngineVideoHookEvent OnVideoOutputHook;
  TEnginePreviewEvent OnPreviewBitmap;
  // Pixel depth of hook and preview pictures: 8, 15, 16, 24 or 32; others act as 24.
  int VideoHookBitsPixel = 24;
  // Sets or clears a preview flag bit, under the process-wide preview lock; clearing the
  // window bit closes this task's previewer.
  void SetPreviewFlag(int flag, bool on);
  int PreviewFlags() const { return FPreviewFlags; }

 protected:
  // Waits for a worker and a pending end delivery; derived classes call it first thing in
  // their destructor, while everything the run may touch still exists.
  void WaitForThreads();
  void SetError(const std::string& message);

  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FFinishedNormally{false};
  std::atomic<bool> FRunning{false};
  std::atomic<bool> FTerminateDelivered{false};
  std::atomic<bool> FErrorRaised{false};

 private:
  struct TRun;
  friend struct TRun;

  // Raises when an output would overwrite one of the inputs (the same file, by device
  // and inode, whatever the names).
  void CheckOutputsAreNotInputs() const;
  // Flushes, closes and puts each output in place; raises with the system's reason, or
  // when an output received no media.
  void CommitOutputs();

  TEngineSettings FSettings;
  std::unique_ptr<TLibraryOptionSet> FOptionSet;
  std::vector<AVFormatContext*> FInputFiles;
  std::vector<int64_t> FInputOffset;
  std::vector<std::vector<double>> FInputScale;
  // Byte offsets of an MP3 input's audio frames, once scanned for a seek; shared with the
  // engines of the parts of a parallel encode.
  std::vector<std::shared_ptr<const TFrameOffsets>> FFrameOffsets;
  std::vector<const AVCodec*> FForcedDecoders;
  std::vector<std::vector<TOptionValue>> FDecoderOptions;
  std::vector<TOutputFilePtr> FOutputFiles;
  std::vector<AVCodecContext*> FOpenedEncoders, FOpenedDecoders;
  std::atomic<int> FPreviewFlags{0};
  std::shared_ptr<TPreviewer> FPreviewer;  // under PreviewLock(); made on the first preview

  mutable std::mutex FStateLock;            // the error message and the threads below
  std::string FErrorMessage;
  std::unique_ptr<TConvertThread> FWorker;  // kept until the next start or the end of the task
  bool FWorkerLive = false;                 // the worker has not delivered the end yet
  std::thread FTerminateThread;             // delivers the end of a task that never ran
  TManualResetEvent FConversionFinished{true};
  TManualResetEvent FTerminateFinished{true};
};

}  // namespace sw
