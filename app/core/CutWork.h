#pragma once
// What a cut of one mode does behind TCutJob: read its source, start on a worker, stop.
// The re-encoding cut (ReencodeWork.h) and the cut that copies frames (LosslessWork.h).
#include <cstdint>
#include <functional>
#include <string>

#include "CutRequest.h"

namespace sw {

struct TCutEnd;

// How a work reports; each may be called on any thread and runs on the main thread.
struct TCutReports {
  std::function<void(bool error, const std::string& text)> Log;
  std::function<void(int percent)> Progress;
  std::function<void(const TCutEnd& end)> End;  // once, after a successful Begin
};

class TCutWork {
 public:
  explicit TCutWork(TCutReports reports) : FReports(std::move(reports)) {}
  virtual ~TCutWork() = default;  // a derived work stops and waits for its worker first
  TCutWork(const TCutWork&) = delete;
  TCutWork& operator=(const TCutWork&) = delete;

  // Reads the source; false with the reason for the user, logged.
  virtual bool OpenSource(const std::string& source, std::string& reason) = 0;
  // The opened source's length, µs.
  virtual int64_t LengthTime() const = 0;
  // Starts the cut into output on a worker; false with the reason for the user, logged.
  virtual bool Begin(const TCutRequest& request, const std::string& output, bool replace, std::string& reason) = 0;
  virtual void Stop(bool wait) = 0;

 protected:
  TCutReports FReports;
};

}  // namespace sw
