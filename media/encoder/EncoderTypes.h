#pragma once
// The encoder component's option records and event records.
#include <cstdint>
#include <functional>
#include <string>

#include "media/common/PictureBridge.h"
#include "media/engine/FFmpeg.h"

namespace sw {

// Options of one input file; every field is optional.
struct TInputOptions {
  std::string FileName;        // the AddTask name when empty
  std::string FileFormat;      // forced input format; empty: probe
  int64_t StartTime = INT64_MIN;  // µs to seek to; INT64_MIN: none
  int ProgramID = -1;          // negative: none
  std::string ExtOptions;      // option lines, codec and frame-size names allowed
};

// Metadata and time stamp of an output file.
struct TStreamInfo {
  // Days since 1899-12-30, local time; 0 stamps the current time, below 0 nothing.
  double TimeStamp = -1.0;
  int Year = -1;
  int Track = -1;
  int TrackTotal = -1;  // with Track: "track/total"
  std::string Title, Author, Copyright, Comment, Album, Genre;
};

// Options of one output file; a field at its initial value is not applied.
struct TOutputOptions {
  std::string FileName;
  std::string FileFormat;
  int PacketSize = -1;
  int MuxRate = -1;
  float MuxDelay = -1.0f;
  float MuxPreload = -1.0f;
  std::string AudioCodec;
  std::string AudioPreset;
  bool DisableAudio = false;
  int AudioVolume = -1;
  int AudioChannels = -1;
  int AudioSampleRate = -1;
  int AudioBitrate = -1;
  int AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int AudioSync = 0;
  std::string AudioTag;
  std::string VideoCodec;
  std::string VideoPreset;
  bool DisableVideo = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string AspectRatio;
  int CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int GOPSize = -1;
  int VideoBitrate = -1;
  int VideoMaxRate = -1;
  int VideoMinRate = -1;
  int VideoBitrateTolerance = -1;
  int VideoBufSize = -1;
  int VideoSync = -1;
  std::string VideoTag;
  std::string VideoFilters;
  std::string VideoLanguage;
  std::string SubtitleCodec;
  std::string SubtitlePreset;
  bool DisableSubtitle = false;
  std::string SubtitleLanguage;
  bool InputSync = false;
  bool CopyTimestamps = false;
  int64_t StartTime = INT64_MIN;      // µs; INT64_MIN: none
  int64_t RecordingTime = INT64_MIN;  // µs; INT64_MIN: none
  TStreamInfo StreamInfo;
  int Target = 0;      // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
  int TargetNorm = 0;  // 0 "auto", 1 "pal", 2 "ntsc"
  int FilmNorm = 1;    // 1 "pal", else "ntsc"
  bool AudioHook = false;
  bool VideoInputHook = false;
  bool VideoOutputHook = false;
  int VideoHookBitsPixel = 24;
  bool Join = false;
  std::string ExtOptions;
  // A file of the output's name may be replaced; without, one there at the start or
  // appearing during the run is kept and the output fails.
  bool ReplaceExisting = false;
  // The output is a local file even when its name looks like a URL.
  bool LocalFile = false;
};

struct TProgressInfo {
  int TaskIndex = 0;
  int FileIndex = 0;       // -1 in a task's final report
  int FrameNumber = -1;    // -1 without encoded video
  int FPS = -1;
  float Quality = -1.0f;
  float BitRate = 0;       // kbit/s
  int64_t TotalSize = 0;   // bytes of the first output
  int64_t CurrentTime = 0; // µs of output reached
  int64_t TotalDuration = -1;
};
using PProgressInfo = const TProgressInfo*;

struct TTerminateInfo {
  int TaskIndex = 0;  // -1: all tasks have ended
  bool Finished = false;
  bool Exception = false;
  std::string ExceptionMsg;
};

struct TPreviewInfo {
  int TaskIndex = 0;
  const TPixelBuffer* Bitmap = nullptr;
  int FrameNumber = 0;
  int64_t PTS = 0;
};

struct THookInfo {
  int TaskIndex = 0;
  TPixelBuffer* Bitmap = nullptr;
  int FrameNumber = 0;
  int64_t PTS = 0;
  bool Update = true;
  bool StopHook = false;
};
using PHookInfo = THookInfo*;

class TCustomEncoder;

using TAudioHookEvent = std::function<void(TCustomEncoder* Sender, int ATaskIndex, int64_t APTS, uint8_t* ASample,
                                           int ASize, int ASampleRate, int AChannels, int ASampleFormat)>;
using TProgressEvent = std::function<void(TCustomEncoder* Sender, PProgressInfo AProgressInfo)>;
using TTerminateEvent = std::function<void(TCustomEncoder* Sender, TTerminateInfo ATerminateInfo)>;
using TPreviewBitmapEvent = std::function<void(TCustomEncoder* Sender, TPreviewInfo APreviewInfo)>;
using TVideoHookEvent = std::function<void(TCustomEncoder* Sender, PHookInfo AHookInfo)>;

}  // namespace sw
