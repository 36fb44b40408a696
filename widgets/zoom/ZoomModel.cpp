#include "ZoomModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sw {

int64_t TZoomSound::StartTime() const {
  return SampleRate > 0 ? static_cast<int64_t>(std::llround(FirstSample * 1e6 / SampleRate)) : 0;
}

int64_t TZoomSound::EndTime() const {
  return SampleRate > 0 ? static_cast<int64_t>(std::llround((FirstSample + Count()) * 1e6 / SampleRate)) : 0;
}

std::vector<TZoomColumn> ZoomColumns(const TZoomSound& sound, int64_t start, int64_t span, int columns) {
  std::vector<TZoomColumn> out(static_cast<size_t>(std::max(columns, 0)));
  if (sound.Empty() || span <= 0 || columns <= 0) return out;
  const std::vector<float>& s = *sound.Samples;
  const int64_t last = sound.Count();  // indices into s
  // The first sample at or after a column's left edge, as an index into s.
  const auto firstAt = [&](int c) {
    const double time = start + static_cast<double>(span) * c / columns;
    return static_cast<int64_t>(std::ceil(time * sound.SampleRate / 1e6 - 1e-9)) - sound.FirstSample;
  };
  int64_t from = firstAt(0);
  for (int c = 0; c < columns; ++c) {
    const int64_t to = firstAt(c + 1);
    int64_t a = from, b = to;
    if (a >= b) a = b - 1, b = b + 1;  // no sample of its own: the two around it
    a = std::max<int64_t>(a, 0);
    b = std::min<int64_t>(b, last);
    if (a < b && from < last && to > 0) {
      const auto [lo, hi] = std::minmax_element(s.begin() + a, s.begin() + b);
      out[static_cast<size_t>(c)] = {*lo, *hi, true};
    }
    from = to;
  }
  return out;
}

double ZoomX(int64_t time, int64_t start, int64_t span, double width) {
  return span > 0 ? static_cast<double>(time - start) * width / static_cast<double>(span) : 0;
}

int64_t ZoomTime(double x, int64_t start, int64_t span, double width) {
  return width > 0 ? start + static_cast<int64_t>(std::llround(x * static_cast<double>(span) / width)) : start;
}

int64_t RulerStep(int64_t span, double width, double minGap) {
  for (int64_t decade = 1000;; decade *= 10)
    for (const int64_t m : {1, 2, 5}) {
      const int64_t step = m * decade;
      if (width <= 0 || static_cast<double>(step) * width / static_cast<double>(std::max<int64_t>(span, 1)) >= minGap ||
          step >= 3600000000LL)
        return step;
    }
}

std::string RulerText(int64_t time) {
  const bool negative = time < 0;
  const int64_t ms = std::llabs(time) / 1000;
  const int64_t h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
  char text[48];
  if (h > 0)
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%03lld", negative ? "-" : "", static_cast<long long>(h),
                  static_cast<long long>(m), static_cast<long long>(s), static_cast<long long>(f));
  else
    std::snprintf(text, sizeof text, "%s%lld:%02lld.%03lld", negative ? "-" : "", static_cast<long long>(m),
                  static_cast<long long>(s), static_cast<long long>(f));
  return text;
}

}  // namespace sw
