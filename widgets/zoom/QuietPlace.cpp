#include "QuietPlace.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace sw {

int64_t QuietPlace(const float* samples, int64_t count, int64_t first, int rate, int64_t mark,
                   const TQuietSearch& search) {
  if (!samples || count <= 0 || rate <= 0) return mark;
  const int64_t reach = std::llround(search.Reach * rate);
  const int64_t half = std::max<int64_t>(1, std::llround(search.Window * rate / 2));
  // Window centres c cover [c - half, c + half); all of them must lie in the samples.
  const int64_t lo = std::max(mark - reach, first + half);
  const int64_t hi = std::min(mark + reach, first + count - half);
  if (lo > hi) return mark;

  // Running sums of the squares from lo - half on.
  const int64_t base = lo - half;
  std::vector<double> sum(static_cast<size_t>(hi + half - base + 1), 0.0);
  for (int64_t i = base; i < hi + half; ++i) {
    const double s = samples[i - first];
    sum[static_cast<size_t>(i - base + 1)] = sum[static_cast<size_t>(i - base)] + s * s;
  }
  const auto energy = [&](int64_t c) {
    return sum[static_cast<size_t>(c + half - base)] - sum[static_cast<size_t>(c - half - base)];
  };
  double least = energy(lo);
  for (int64_t c = lo + 1; c <= hi; ++c) least = std::min(least, energy(c));
  // Sums of float squares differ in their last bits where the sound is the same.
  const double tolerance = least * 1e-6 + 1e-12 * static_cast<double>(2 * half);

  // The stretch of least energy nearest the mark, and its middle.
  int64_t bestStart = -1, bestEnd = -1, bestDistance = INT64_MAX;
  for (int64_t c = lo; c <= hi;) {
    if (energy(c) > least + tolerance) {
      ++c;
      continue;
    }
    int64_t end = c;
    while (end + 1 <= hi && energy(end + 1) <= least + tolerance) ++end;
    const int64_t distance = mark < c ? c - mark : mark > end ? mark - end : 0;
    if (distance < bestDistance) bestStart = c, bestEnd = end, bestDistance = distance;
    c = end + 1;
  }
  const int64_t quiet = (bestStart + bestEnd) / 2;

  // The nearest zero crossing: a sample of 0, or the smaller side of a change of sign.
  const auto at = [&](int64_t i) { return samples[i - first]; };
  for (int64_t d = 0; d <= half; ++d) {
    for (const int64_t i : {quiet - d, quiet + d}) {
      if (i <= first || i >= first + count) continue;
      if (at(i) == 0.0f) return i;
      if ((at(i - 1) < 0) != (at(i) < 0)) return std::fabs(at(i - 1)) < std::fabs(at(i)) ? i - 1 : i;
    }
  }
  return quiet;
}

}  // namespace sw
