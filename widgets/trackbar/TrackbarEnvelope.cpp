#include "TrackbarEnvelope.h"

#include <algorithm>
#include <cmath>

namespace sw {

namespace {

// Unrounded value at a control column: the inverse of the value-to-pixel map.
double ValueAt(const TValueMap& map, double x) {
  return (x - map.TrackLeft - map.TrackLeftOffset) / map.TravelWidth() * static_cast<double>(map.Max - map.Min);
}

double Height(float level) { return std::sqrt(std::min(1.0, std::fabs(static_cast<double>(level)))); }

}  // namespace

bool EnvelopeBarAt(const TTrackbarEnvelope& e, const TValueMap& map, double x0, double x1, TEnvelopeBar& bar) {
  if (e.Empty() || map.Degenerate() || map.Max < map.Min) return false;
  const double columns = static_cast<double>(e.Columns.size());
  const double from = ValueAt(map, x0) / e.Span * columns, to = ValueAt(map, x1) / e.Span * columns;
  if (to <= 0 || from >= std::min<double>(e.Filled, columns)) return false;
  const int first = static_cast<int>(std::max(0.0, std::floor(from)));
  // At least the column under x0, however narrow the pixel.
  const int last = std::max(first, std::min(e.Filled, static_cast<int>(std::ceil(to))) - 1);
  float lo = e.Columns[first].Min, hi = e.Columns[first].Max;
  for (int c = first + 1; c <= last; ++c) {
    lo = std::min(lo, e.Columns[c].Min);
    hi = std::max(hi, e.Columns[c].Max);
  }
  bar.Up = hi > 0 ? Height(hi) : -Height(hi);
  bar.Down = lo < 0 ? Height(lo) : -Height(lo);
  return true;
}

}  // namespace sw
