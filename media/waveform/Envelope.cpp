#include "Envelope.h"

#include <algorithm>
#include <cmath>

namespace sw {

namespace {

// Four running pairs let the comparisons of neighbouring samples overlap.
TPeak Extremes(const float* s, int n) {
  float lo[4] = {s[0], s[0], s[0], s[0]}, hi[4] = {s[0], s[0], s[0], s[0]};
  int k = 0;
  for (; k + 4 <= n; k += 4)
    for (int j = 0; j < 4; ++j) {
      lo[j] = s[k + j] < lo[j] ? s[k + j] : lo[j];
      hi[j] = s[k + j] > hi[j] ? s[k + j] : hi[j];
    }
  for (; k < n; ++k) {
    lo[0] = std::min(lo[0], s[k]);
    hi[0] = std::max(hi[0], s[k]);
  }
  return {std::min(std::min(lo[0], lo[1]), std::min(lo[2], lo[3])),
          std::max(std::max(hi[0], hi[1]), std::max(hi[2], hi[3]))};
}

}  // namespace

TEnvelopeBuilder::TEnvelopeBuilder(int columns, int64_t duration) {
  FEnvelope.Duration = duration;
  FEnvelope.Columns.resize(static_cast<std::size_t>(std::max(columns, 0)));
}

int TEnvelopeBuilder::ColumnAt(double time) const {
  const int last = static_cast<int>(FEnvelope.Columns.size()) - 1;
  if (FEnvelope.Duration <= 0) return last;
  const double column = std::floor(time * (last + 1) / static_cast<double>(FEnvelope.Duration));
  return static_cast<int>(std::min<double>(column, last));
}

void TEnvelopeBuilder::StartAt(int64_t samples, int sampleRate) {
  FBaseTime = 0;
  FCount = samples;
  FRate = sampleRate > 0 ? sampleRate : 1;
  FEnvelope.Filled = ColumnAt(Time());
  FTouched = false;
}

void TEnvelopeBuilder::Add(const float* samples, int count, int sampleRate) {
  if (FEnvelope.Columns.empty() || sampleRate <= 0) return;
  if (sampleRate != FRate) {
    FBaseTime = Time();
    FCount = 0;
    FRate = sampleRate;
  }
  const int columns = static_cast<int>(FEnvelope.Columns.size());
  const double step = 1e6 / sampleRate;
  const double columnTime = static_cast<double>(FEnvelope.Duration) / columns;
  int i = 0;
  while (i < count) {
    const double now = Time();
    const int column = ColumnAt(now);
    if (column > FEnvelope.Filled) {
      FEnvelope.Filled = column;
      FTouched = false;
    }
    // The samples that still fall in this column (all the rest in the last one).
    int run = count - i;
    if (column + 1 < columns) {
      const double left = (column + 1) * columnTime - now;
      run = std::clamp(static_cast<int>(std::ceil(left / step)), 1, count - i);
    }
    TPeak& peak = FEnvelope.Columns[static_cast<std::size_t>(column)];
    const TPeak found = Extremes(samples + i, run);
    peak = FTouched ? TPeak{std::min(peak.Min, found.Min), std::max(peak.Max, found.Max)} : found;
    FTouched = true;
    i += run;
    FCount += run;
  }
  FEnvelope.DecodedDuration = static_cast<int64_t>(std::llround(Time()));
}

void TEnvelopeBuilder::Join(int column, const TEnvelope& later) {
  const int columns = static_cast<int>(FEnvelope.Columns.size());
  if (column < 0 || column >= columns || later.Columns.size() != FEnvelope.Columns.size()) return;
  TPeak& shared = FEnvelope.Columns[static_cast<std::size_t>(column)];
  const TPeak& other = later.Columns[static_cast<std::size_t>(column)];
  shared = FTouched && FEnvelope.Filled == column
               ? TPeak{std::min(shared.Min, other.Min), std::max(shared.Max, other.Max)}
               : other;
  std::copy(later.Columns.begin() + column + 1, later.Columns.end(), FEnvelope.Columns.begin() + column + 1);
  FEnvelope.Filled = std::max(later.Filled, column);
  FEnvelope.DecodedDuration = later.DecodedDuration;
}

void TEnvelopeBuilder::Finish() { FEnvelope.Filled = static_cast<int>(FEnvelope.Columns.size()); }

}  // namespace sw
