#pragma once
// The media-information reader: opens a file, lets the library probe its streams and
// reports its size, streams, length, bit rate and tags.
#include <cstdint>
#include <string>

#include "FileStreamInfo.h"
#include "media/base/FFBaseComponent.h"
#include "media/binding/AVFormatStubs.h"
#include "media/common/FFHandles.h"
#include "media/common/PictureBridge.h"

namespace sw {

class TCustomDecoder : public TFFBaseComponent {
 public:
  TCustomDecoder();
  ~TCustomDecoder() override;
  TCustomDecoder(const TCustomDecoder&) = delete;
  TCustomDecoder& operator=(const TCustomDecoder&) = delete;

  AVFormatContext* FormatContext() const { return FFormatContext; }
  bool OwnsContext() const { return FOwnsContext; }
  const std::string& ErrorText() const { return FErrorText; }
  const std::string& FormatName() const { return FFormatName; }
  int64_t FileSize() const { return FFileSize; }
  int StreamCount() const { return FStreamCount; }
  int ProgramCount() const { return FProgramCount; }
  int AudioStreamCount() const { return FAudioStreamCount; }
  int VideoStreamCount() const { return FVideoStreamCount; }
  int SubtitleStreamCount() const { return FSubtitleStreamCount; }
  int FirstAudioStream() const { return FFirstAudioStream; }
  int FirstVideoStream() const { return FFirstVideoStream; }
  int FirstSubtitleStream() const { return FFirstSubtitleStream; }

  // Recomputes the size and stream fields from the held context (all -1 without one).
  virtual void AnalyseStreams();
  // Describes a context somebody else opened; it is never closed here.
  virtual void AdoptFormatContext(AVFormatContext* context);
  virtual void CloseMediaFile();

  // False with ErrorText set when the file cannot be opened or probed; nothing is open then.
  // Raises ELibraryNotLoaded when a library is missing.
  bool OpenMediaFile(const std::string& fileName, const std::string& formatName);
  void FillStreamInfo(TFileStreamInfo& info);

  // The bit rate to report: the container's figure counts every byte of the file over its
  // length, tags and cover pictures too, so a file of one audio stream reports that
  // stream's own rate. A length measured by reading the packets brings its own figure.
  int64_t BitRate() const;

  bool LibrariesReady() const;
  bool LoadLibrariesFrom(const std::string& folder);
  void RequireLibraries() const;
  // Logs the text at the level matching the library level given and keeps it.
  void SetErrorText(int libraryLevel, const std::string& text);

 private:
  AVFormatContext* FFormatContext = nullptr;
  bool FOwnsContext = false;
  bool FLengthMeasured = false;
  std::string FErrorText;
  std::string FFormatName;
  int64_t FFileSize = -1;
  int FStreamCount = -1, FProgramCount = -1;
  int FAudioStreamCount = -1, FVideoStreamCount = -1, FSubtitleStreamCount = -1;
  int FFirstAudioStream = -1, FFirstVideoStream = -1, FFirstSubtitleStream = -1;
};

class TFFDecoder : public TCustomDecoder {
 public:
  TFFDecoder();
  ~TFFDecoder() override;

  // The first video stream, else the first audio stream, else -1.
  int PrimaryStream() const { return FPrimaryStream; }
  // Start time of the primary stream (or of the file), microseconds; 0 when unknown.
  int64_t PrimaryStartTime() const { return FPrimaryStartTime; }

  void AnalyseStreams() override;
  void CloseMediaFile() override;

 private:
  void ResetFramePosition();

  TCodecContextPtr FCodecContext;
  TPictureBridge FPictureBridge{24};
  int FPrimaryStream = -1;
  int64_t FPrimaryStartTime = INT64_MIN;
  // Frame-position bookkeeping of frame grabbing; only reset here.
  int64_t FLastFrameTime = INT64_MIN, FLastKeyFrameTime = INT64_MIN;
  int64_t FFrameNumber = -1, FKeyFrameNumber = -1;
  int FDecodedFrames = 0;
};

}  // namespace sw
