#pragma once
// The sound of a short span of a file, for a close look at it: only the span is decoded,
// reached through the MP3 frame index rather than by reading the file from its start.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EnvelopeDecode.h"
#include "media/mp3/Mp3Source.h"

namespace sw {

struct TInput;

// Samples mixed down to one channel (-1..1) on the time line of the whole file's decoded
// sound: Samples[i] is sample FirstSample + i, at SampleAt(...) µs = sample × 1e6 / rate.
struct TSpan {
  int SampleRate = 0;
  int64_t FirstSample = 0;
  std::vector<float> Samples;

  bool Empty() const { return Samples.empty() || SampleRate <= 0; }
  int64_t StartTime() const { return SampleRate > 0 ? FirstSample * 1000000 / SampleRate : 0; }
  int64_t EndTime() const {
    return SampleRate > 0 ? (FirstSample + static_cast<int64_t>(Samples.size())) * 1000000 / SampleRate : 0;
  }
};

// Keeps one file open between reads. Not thread-safe: one thread reads at a time.
class TSpanReader {
 public:
  TSpanReader();
  ~TSpanReader();
  TSpanReader(const TSpanReader&) = delete;
  TSpanReader& operator=(const TSpanReader&) = delete;

  // Opens the file's first audio stream and, for a clean MP3 stream, scans its frame index.
  bool Open(const std::string& fileName, const std::atomic<bool>& stop);
  const std::string& FileName() const { return FFileName; }
  // True when reads seek through the frame index (else they decode from the file's start).
  bool Indexed() const { return FIndexed; }

  // The sound from `from` up to `to` (µs; what lies past the file's end is left out).
  // erFailed with an empty span when nothing there could be decoded.
  TEnvelopeResult Read(int64_t from, int64_t to, const std::atomic<bool>& stop, TSpan& span);

 private:
  bool Reopen(const std::atomic<bool>& stop);

  std::string FFileName, FUrl;
  std::unique_ptr<TInput> FIn;
  bool FFresh = false;  // FIn stands at the file's start, its decoder unused
  mp3::TMp3Source FIndex;
  bool FIndexed = false;
};

}  // namespace sw
