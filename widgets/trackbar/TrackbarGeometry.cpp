#include "TrackbarGeometry.h"

#include <cmath>
#include <limits>

namespace sw {

namespace {

// Far beyond any screen, yet room for the control's own pixel arithmetic.
constexpr double kPixelLimit = 1e9;

std::int64_t ClampToInt64(double v) {
  constexpr double kTop = 9223372036854775808.0;  // 2^63
  if (std::isnan(v)) return 0;
  if (v >= kTop) return std::numeric_limits<std::int64_t>::max();
  if (v < -kTop) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(v);
}

// 128 bits: a span between two signed 64-bit values, or its product with a pixel width, cannot overflow.
double Span(std::int64_t from, std::int64_t to) {
  return static_cast<double>(static_cast<__int128>(to) - from);
}

}  // namespace

TTrackbarGeometry TTrackbarGeometry::Layout(const TLayoutInput& in) {
  TTrackbarGeometry g;
  const TPictureSizes& s = in.Sizes;
  const int margin = in.MarginOffsetX;
  g.Sizes = s;
  g.TrackOffsetX = s.SegStart.Width;
  g.TrackWidth = in.ControlWidth - 2 * g.TrackOffsetX - 2 * margin;
  g.TrackLeft = margin + s.SegStart.Width;
  g.TrackRight = g.TrackLeft + g.TrackWidth;
  g.SegStartRect = TRect::FromSize(margin, in.SegOffsetY, s.SegStart);
  g.SegEndRect = TRect::FromSize(in.ControlWidth - s.SegEnd.Width - margin, in.SegOffsetY, s.SegEnd);
  g.TrackRect = {g.TrackLeft, in.TrackOffsetY, g.TrackRight, in.TrackOffsetY + s.TrackHeight};
  // The cut pictures hang at a fixed height above the track.
  g.StartCutRect = TRect::FromSize(g.TrackLeft - s.StartCut.Width, 5, s.StartCut);
  g.EndCutRect = TRect::FromSize(g.SegEndRect.Left, 5, s.EndCut);
  return g;
}

double RoundHalfEven(double v) {
  const double low = std::floor(v);
  const double rest = v - low;
  if (rest < 0.5) return low;
  if (rest > 0.5) return low + 1;
  return std::fmod(low, 2.0) == 0 ? low : low + 1;
}

int ValueToPixel(const TValueMap& map, std::int64_t value) {
  const int start = map.TrackLeft + map.TrackLeftOffset;
  if (map.Max == map.Min) return start;
  const double offset = static_cast<double>((static_cast<__int128>(value) - map.Min) * map.TravelWidth()) /
                        Span(map.Min, map.Max);
  const double pixel = RoundHalfEven(offset + start);
  if (pixel > kPixelLimit) return static_cast<int>(kPixelLimit);
  if (pixel < -kPixelLimit) return static_cast<int>(-kPixelLimit);
  return static_cast<int>(pixel);
}

std::int64_t PixelToValue(const TValueMap& map, int x) {
  if (map.Degenerate()) return map.Min;
  const double part = static_cast<double>(x - map.TrackLeft - map.TrackLeftOffset) / map.TravelWidth();
  return ClampToInt64(RoundHalfEven(part * Span(map.Min, map.Max) + static_cast<double>(map.Min)));
}

}  // namespace sw
