#pragma once
// Decodes a file's first audio stream (the stream the reader describes) into an envelope,
// with the reader's libraries and without the encoder.
#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "Envelope.h"

namespace sw {

enum TEnvelopeResult { erDone, erStopped, erFailed };

struct TEnvelopeDecodeOptions {
  int Columns = 2048;
  // How often the growing envelope is handed out while the decode runs.
  std::chrono::milliseconds PublishInterval{40};
  // A long MP3 may be decoded in two halves on two threads (the same envelope, sooner).
  bool Split = true;
  // The later half starts reading near its place, found through the file's frame index.
  bool SeekByIndex = true;
};

// Polls stop between packets (and while opening); calls publish on this thread with the
// envelope so far, first as soon as a column is final, and no more once it sees stop.
// erFailed leaves result empty: no audio stream, no known length, or nothing decodable.
TEnvelopeResult DecodeEnvelope(const std::string& fileName, const TEnvelopeDecodeOptions& options,
                               const std::atomic<bool>& stop,
                               const std::function<void(const TEnvelope&)>& publish, TEnvelope& result);

}  // namespace sw
