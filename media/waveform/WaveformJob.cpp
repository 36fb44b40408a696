#include "WaveformJob.h"

namespace sw {

TWaveformJob::~TWaveformJob() { Cancel(); }

void TWaveformJob::Start(const std::string& fileName) {
  Cancel();
  FStop = false;
  {
    std::lock_guard<std::mutex> lock(FDeliveryLock);
    FDeliver = true;
  }
  FRunning = true;
  FThread = std::thread(&TWaveformJob::Run, this, fileName, Options, CacheFolder);
}

void TWaveformJob::Cancel() {
  FStop = true;
  {
    // Waits for a delivery in progress; none starts after this.
    std::lock_guard<std::mutex> lock(FDeliveryLock);
    FDeliver = false;
  }
  if (FThread.joinable()) FThread.join();
  FRunning = false;
}

template <class F>
void TWaveformJob::Deliver(F&& call) {
  std::lock_guard<std::mutex> lock(FDeliveryLock);
  if (FDeliver) call();
}

void TWaveformJob::Run(std::string fileName, TEnvelopeDecodeOptions options, std::string cacheFolder) {
  TEnvelopeKey key;
  const bool keyed = !cacheFolder.empty() && EnvelopeKeyOf(fileName, options.Columns, key);
  TEnvelope envelope;
  bool decoded = keyed && LoadEnvelope(cacheFolder, key, envelope);
  if (!decoded) {
    const auto publish = [this](const TEnvelope& partial) {
      Deliver([&] {
        if (OnEnvelope) OnEnvelope(partial);
      });
    };
    const TEnvelopeResult result = DecodeEnvelope(fileName, options, FStop, publish, envelope);
    if (result == erStopped) {
      FRunning = false;
      return;
    }
    decoded = result == erDone;
    // The key was taken before the decode: a file changed meanwhile misses next time.
    if (decoded && keyed) StoreEnvelope(cacheFolder, key, envelope);
  }
  Deliver([&] {
    if (decoded && OnEnvelope) OnEnvelope(envelope);
    if (OnDone) OnDone(decoded);
  });
  FRunning = false;
}

}  // namespace sw
