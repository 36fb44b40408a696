#include "WaveRing.h"

#include <algorithm>
#include <climits>

namespace sw {

int TWaveRing::At(int64_t position) const {
  const int64_t size = static_cast<int64_t>(FRing.size());
  return static_cast<int>(((position % size) + size) % size);
}

void TWaveRing::Add(const int16_t* samples, int count) {
  std::lock_guard<std::mutex> g(FLock);
  for (int i = 0; i < count; ++i) {
    FRing[static_cast<size_t>(FWrite)] = samples[i];
    if (++FWrite == static_cast<int>(FRing.size())) FWrite = 0;
  }
  FWritten += count;
}

void TWaveRing::SetWaiting(int samples) {
  std::lock_guard<std::mutex> g(FLock);
  FWaiting = samples;
}

void TWaveRing::Latest(std::vector<int16_t>& out, int count) {
  count = std::clamp(count, 0, static_cast<int>(FRing.size()));
  out.resize(static_cast<size_t>(count));
  std::lock_guard<std::mutex> g(FLock);
  for (int i = 0; i < count; ++i) out[static_cast<size_t>(i)] = FRing[static_cast<size_t>(At(FWrite - count + i))];
}

int TWaveRing::Window(std::vector<int16_t>& out, int frames, int channels, int inDevice, int start) {
  channels = std::max(channels, 1);
  const int count = std::clamp(frames * channels, 0, static_cast<int>(FRing.size()) - TriggerReach - 10 * channels);
  out.resize(static_cast<size_t>(std::max(count, 0)));
  if (count <= 0) return std::max(start, 0);
  std::lock_guard<std::mutex> g(FLock);
  if (start < 0) {
    // The sample heard now (the counts are whole frames).
    int64_t from = FWrite - FWaiting - std::max(inDevice, 0);
    // The window and the samples the trigger looks at must have been decoded.
    from = std::min<int64_t>(from, FWrite - count - 9 * channels);
    int64_t best = from;
    int bestScore = INT_MIN;
    const int64_t oldest = FWrite - std::min<int64_t>(FWritten, static_cast<int64_t>(FRing.size()));
    for (int back = 0; back <= TriggerReach && from - back >= oldest; back += channels) {
      const int64_t i = from - back;
      const int a = FRing[static_cast<size_t>(At(i))], d = FRing[static_cast<size_t>(At(i + 9 * channels))];
      const int b = FRing[static_cast<size_t>(At(i + 4 * channels))], c = FRing[static_cast<size_t>(At(i + 5 * channels))];
      if ((b < 0) != (c < 0) && a - d > bestScore) bestScore = a - d, best = i;
    }
    start = At(best);
  }
  for (int i = 0; i < count; ++i) out[static_cast<size_t>(i)] = FRing[static_cast<size_t>(At(start + i))];
  return start;
}

}  // namespace sw
