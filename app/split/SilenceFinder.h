#pragma once
// The silences of a source where a split starts new tracks: stretches at least a given
// length in which the sound (mixed down to one channel) stays below a level. They are
// found on the source's envelope at 10 ms a column.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace sw {

struct TSilence {
  int64_t Start = 0, End = 0;  // µs
  int64_t Middle() const { return (Start + End) / 2; }
};

struct TSilenceOptions {
  double ThresholdDb = -50;  // dB below full scale
  int64_t MinGap = 1500000;  // µs
};

// Each column of the envelope, the widest stretch a silence's ends may be off by.
constexpr int64_t SilenceStep = 10000;  // µs

// The silences inside the source of that length (µs), in order. Silence at the very start
// or end is no gap between tracks and is left out. False when the source cannot be
// decoded or the stop was set.
bool FindSilences(const std::string& path, int64_t length, const TSilenceOptions& options,
                  const std::atomic<bool>& stop, std::vector<TSilence>& silences);

// The same on an envelope's peaks, one a column of `step` µs (what the above runs).
std::vector<TSilence> SilencesInPeaks(const std::vector<float>& peaks, double step, const TSilenceOptions& options);

}  // namespace sw
