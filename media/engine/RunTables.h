#pragma once
// The state of one conversion run: the per-run tables, buffers and counters, and the
// steps that work on them. Built at the start of the run, gone when it ends.
#include <cstdio>
#include <vector>

#include "FFmpeg.h"

namespace sw {

struct TCustomFFmpeg::TRun {
  explicit TRun(TCustomFFmpeg& engine);
  ~TRun();  // closes the codecs left open, frees the tables
  TRun(const TRun&) = delete;
  TRun& operator=(const TRun&) = delete;

  TCustomFFmpeg& E;
  TEngineSettings& S;
  std::vector<TInputFileInfo> Files;
  std::vector<TInputStream> Ist;
  std::vector<TOutputStream> Ost;
  int FirstGroupSize = 0;  // streams of output file 0, the size of a join group
  int CurrentFile = 0;     // join mode: the input file being read

  std::vector<uint8_t> DecodeBuffer;   // decoded audio, interleaved floats
  std::vector<int16_t> HookSamples;    // the audio hook's 16-bit view, as it leaves it
  std::vector<int16_t> HookHanded;     // the same as handed to the hook
  std::vector<uint8_t> WorkBuffer;     // converted samples before the FIFO
  std::vector<uint8_t> SilenceBuffer;  // input with prepended silence
  TFramePtr Decoded;                   // the decoder's frame
  TFramePtr EncodeFrame;               // one encoder frame taken from a FIFO
  TPacketPtr Encoded;                  // the encoder's packet

  int64_t TimerStart = 0, LastReport = 0;
  std::vector<bool> NoPacket;
  int NoPacketCount = 0;
  int64_t VideoBytes = 0, AudioBytes = 0, GlobalHeaderBytes = 0;
  int DuplicatedFrames = 0, DroppedFrames = 0;
  bool DupDropNotice = false;

  // Set-up and end steps, in their order; SetUp takes the steps up to the input times.
  void SetUp();
  void BuildInputTables();
  void BuildOutputTables();
  void MapStreams();
  void SetCodecParameters();
  void OpenEncoders();
  void OpenDecoders();
  void InitInputTimes();
  void CopyMetadataMaps();
  void CopyChapters();
  void WriteHeaders();
  void LogMapping();
  // Sets each input that can seek to a little before the start time.
  void SeekInputsToStart();
  bool InputSeekable(int file) const;
  // A long MP3 segment encoded in parts on several workers and joined; false when the
  // task is not of that kind or the parts could not be joined (nothing written then).
  bool EncodeInParts();
  void DrainDecoders();
  void WriteTrailers();
  void CloseCodecs();

  // Packet loop.
  void PacketLoop();
  // Decodes and dispatches one packet of an input stream; no packet drains it.
  // 0, or -1 when decoding failed.
  int OutputPacket(int istIndex, AVPacket* packet);
  bool ChangeJoinFile();  // false: that was the last file
  void ProgressReport(bool last, int fileIndex);
  int64_t OutputFileSize(int file) const;

  // Audio path.
  void AudioEncoderSetup(TOutputStream& ost, TInputStream& ist);
  int DecodeAudio(int istIndex, AVPacket* packet);
  void AudioFrame(int istIndex, const AVFrame* frame);
  // time: µs of the buffer's first sample.
  void AudioOut(TOutputStream& ost, TInputStream& ist, uint8_t* samples, int size, int64_t time);
  void EncodeAudioFrame(TOutputStream& ost, AVFrame* frame);
  void FlushAudio(TOutputStream& ost);
  // Sample position of a decoded frame at its own rate: continues the previous frame's
  // unless the frame's timestamp says otherwise by more than a few milliseconds.
  int64_t FramePosition(TInputStream& ist, const AVFrame* frame);
  // Converts samples (nullptr: the converter's tail) into the FIFO.
  void ConvertIntoFifo(TOutputStream& ost, const uint8_t* samples, int sampleCount, int64_t workSamples);
  // Hands the resampler's tail to the FIFO and drops the resampler.
  void DrainResampler(TOutputStream& ost);
  // Encodes every whole encoder frame the FIFO holds.
  void EncodeFifoFrames(TOutputStream& ost, int64_t outputBytes);

  // Stream copy and muxing.
  void StreamCopySetup(TOutputStream& ost, TInputStream& ist);
  void StreamCopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* packet);
  void OpenBitstreamFilters(TOutputStream& ost);
  // Filters the packet through the stream's chain and writes what comes out; takes the
  // packet's data (the packet is left blank).
  void WriteFrame(TOutputStream& ost, AVPacket* packet);

  // Video and subtitle paths (VideoSetup, VideoPath, VideoHooks, SubtitlePath).
  void VideoEncoderSetup(TOutputStream& ost, TInputStream& ist);
  void BuildFilterGraph(TInputStream& ist, TOutputStream& ost);
  void OpenTwoPassLog(TOutputStream& ost, int index);
  void AllocateBitBuffer();
  void StartVideoHooks();  // takes the hooks and preview flags of the task for this run
  int DecodeVideo(int istIndex, AVPacket* packet);
  void VideoFrame(int istIndex, AVFrame* frame);
  void VideoOut(TOutputStream& ost, TInputStream& ist, AVFrame* picture, bool filtered);
  void EncodeVideo(TOutputStream& ost, AVFrame* picture);
  void FlushVideo(TOutputStream& ost);
  void WriteVideoStats(TOutputStream& ost, int64_t frameSize);
  // The hooks of the video path: false when the hook is gone for the rest of the run.
  bool CallVideoHook(bool input, AVFrame* picture, int frameNumber, int64_t time);
  void PreviewPicture(const AVFrame* picture, int frameNumber, int64_t time);
  // Progress text of an encoded video stream: its last quality, the quantiser histogram
  // and the PSNR figures when asked for.
  float VideoQuality(const TOutputStream& ost) const;
  std::string VideoQualityText(TOutputStream& ost, bool last);
  void SubtitleEncoderSetup(TOutputStream& ost, TInputStream& ist);
  int DecodeSubtitle(int istIndex, AVPacket* packet);
  void SubtitleOut(TOutputStream& ost, TInputStream& ist, AVSubtitle& subtitle);
  void FlushSubtitle(TOutputStream& ost);
  std::vector<uint8_t> BitBuffer;  // encoder output area of the subtitle path; sized for video
  TEngineVideoHookEvent InputHook, OutputHook;  // copies; a failing hook is dropped
  TPictureBridge InputBridge, OutputBridge, PreviewBridge;
  int PreviewModes = 0;            // preview flags still working in this run
  int64_t LastPreview = 0;         // wall clock of the last preview picture
  std::shared_ptr<std::FILE> VideoStats;  // opened on the first encoded picture

 private:
  struct TPartedEncode;  // the steps of EncodeInParts
  void FilterAndWrite(TOutputStream& ost, AVPacket* packet, size_t filter);
  void Interleave(TOutputStream& ost, AVPacket* packet);
  [[noreturn]] void RaiseWithFormats(const std::string& message);
};

// A new, unopened encoder context with the settings of another; nullptr when none is made.
TCodecContextPtr CopyEncoderSettings(const AVCodec* codec, const AVCodecContext* from);

// Wall clock in microseconds.
int64_t WallClock();

}  // namespace sw
