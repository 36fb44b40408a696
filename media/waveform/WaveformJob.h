#pragma once
// The background job that makes a file's envelope: from the cache when the file is
// unchanged, else by decoding it on a worker thread, handing out the columns as they
// are done so the overview fills in from the left.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "Envelope.h"
#include "EnvelopeCache.h"
#include "EnvelopeDecode.h"

namespace sw {

class TWaveformJob {
 public:
  TWaveformJob() = default;
  ~TWaveformJob();
  TWaveformJob(const TWaveformJob&) = delete;
  TWaveformJob& operator=(const TWaveformJob&) = delete;

  // Cancels a running job, then starts one for the file. Not to be called from the events.
  void Start(const std::string& fileName);
  // Stops the worker and waits for it; no event is called once this returns.
  void Cancel();
  bool Running() const { return FRunning; }

  // Columns and the cache folder (empty: no cache) used by the next Start.
  TEnvelopeDecodeOptions Options;
  std::string CacheFolder = EnvelopeCacheFolder();

  // Both are called on the worker thread and must not wait for the thread that cancels
  // (post to the main thread instead). OnEnvelope gets the envelope so far, and once more
  // complete; OnDone ends every job that was not cancelled: false when the file cannot be
  // decoded (nothing was handed out then).
  std::function<void(const TEnvelope&)> OnEnvelope;
  std::function<void(bool decoded)> OnDone;

 private:
  void Run(std::string fileName, TEnvelopeDecodeOptions options, std::string cacheFolder);
  // Calls the event unless the job was cancelled; holds FDeliveryLock so Cancel waits for it.
  template <class F>
  void Deliver(F&& call);

  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FRunning{false};
  std::mutex FDeliveryLock;
  bool FDeliver = false;  // under FDeliveryLock
};

}  // namespace sw
