#pragma once
// The re-encoding cut: one task on an encoder of its own, the segment decoded, shaped by
// the fades in the encoder's audio hook, and encoded again by LAME at the source's bit rate.
#include <string>

#include "CutWork.h"
#include "media/base/ManualResetEvent.h"
#include "media/encoder/FFEncode.h"
#include "media/gain/SegmentFade.h"
#include "media/info/FileStreamInfo.h"

namespace sw {

// The settings of the one MP3 output. Segment bounds in µs; volume 0..100.
TOutputOptions CutOutputOptions(int64_t segStartTime, int64_t segEndTime, int volume, int sourceBitRate,
                                const TFileStreamInfo& sourceTags);

class TReencodeWork : public TCutWork {
 public:
  TReencodeWork(TCutReports reports, std::string libraryFolder);
  ~TReencodeWork() override;

  bool OpenSource(const std::string& source, std::string& reason) override;
  int64_t LengthTime() const override;
  bool Begin(const TCutRequest& request, const std::string& output, bool replace, std::string& reason) override;
  void Stop(bool wait) override;

 private:
  std::string FLibraryFolder;
  TFileStreamInfo FSourceInfo;  // bit rate, tags and length, read before the task starts
  TFadeShaper FFade{0, 0};      // set before the task starts, then read by its worker's hook
  bool FStarted = false;        // a task was started (main thread)
  TManualResetEvent FEnded{false};  // set by the delivery thread once the task's end is told
  TFFEncoder FEncoder;          // last: its threads end before the fields above go
};

}  // namespace sw
