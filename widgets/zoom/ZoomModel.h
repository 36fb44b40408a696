#pragma once
// What the zoom view shows, without the widget: the sound it is given, its columns of
// lowest and highest sample, the time of each pixel and the ruler's steps and texts.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sw {

// The narrowest and the widest span the view shows (µs).
constexpr int64_t ZoomMinSpan = 500000;
constexpr int64_t ZoomMaxSpan = 60000000;

// Mixed-down samples (-1..1): (*Samples)[i] is sample FirstSample + i of the file's sound.
struct TZoomSound {
  int SampleRate = 0;
  int64_t FirstSample = 0;
  std::shared_ptr<const std::vector<float>> Samples;

  int64_t Count() const { return Samples ? static_cast<int64_t>(Samples->size()) : 0; }
  bool Empty() const { return Count() == 0 || SampleRate <= 0; }
  // µs of the first sample and just past the last one.
  int64_t StartTime() const;
  int64_t EndTime() const;
};

struct TZoomColumn {
  float Min = 0, Max = 0;
  bool Known = false;  // the sound covers the column
};

// The view from start over span µs in that many columns: column c holds the samples whose
// time lies in [start + c × span / columns, start + (c + 1) × span / columns); a column
// narrower than a sample takes the two samples around its time.
std::vector<TZoomColumn> ZoomColumns(const TZoomSound& sound, int64_t start, int64_t span, int columns);

// The x of a time and the time at an x, for a view of that width.
double ZoomX(int64_t time, int64_t start, int64_t span, double width);
int64_t ZoomTime(double x, int64_t start, int64_t span, double width);

// The distance of the ruler's labelled ticks (µs): the smallest of 1, 2, 5 × 10^n ms that
// keeps them at least minGap pixels apart.
int64_t RulerStep(int64_t span, double width, double minGap);
// "m:ss.mmm", with hours in front from one hour on ("1:02:03.450").
std::string RulerText(int64_t time);

}  // namespace sw
