#pragma once
// The cut that copies MP3 frames instead of re-encoding them (media/mp3/LosslessCut.h),
// on a worker thread: the fades and the volume are taken off the frames' gains.
#include <atomic>
#include <string>
#include <thread>

#include "CutWork.h"
#include "media/base/ManualResetEvent.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

class TLosslessWork : public TCutWork {
 public:
  using TCutWork::TCutWork;
  ~TLosslessWork() override;

  bool OpenSource(const std::string& source, std::string& reason) override;
  int64_t LengthTime() const override;
  bool Begin(const TCutRequest& request, const std::string& output, bool replace, std::string& reason) override;
  void Stop(bool wait) override;

 private:
  void Run(const TCutRequest& request, const std::string& output, bool replace);

  mp3::TMp3Source FSource;     // scanned before the worker starts, then read by it
  std::atomic<bool> FStop{false};
  TManualResetEvent FDone{false};  // set by the worker once its end is delivered
  std::thread FWorker;
};

}  // namespace sw
