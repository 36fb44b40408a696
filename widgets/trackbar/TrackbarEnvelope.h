#pragma once
// The sound overview along the track: per column the extremes of the audio, spread
// evenly over a span of the track's values. Knows nothing of Qt.
#include <vector>

#include "TrackbarGeometry.h"

namespace sw {

struct TEnvelopeColumn {
  float Min = 0, Max = 0;  // -1..1
};

struct TTrackbarEnvelope {
  std::vector<TEnvelopeColumn> Columns;
  double Span = 0;  // values from Min the columns cover (the window: the file's seconds)
  int Filled = 0;   // columns known so far, from the left

  bool Empty() const { return Columns.empty() || Filled <= 0 || Span <= 0; }
};

// How far a bar reaches up and down from the track's middle, as parts of half its height.
struct TEnvelopeBar {
  double Up = 0, Down = 0;
};

// The bar drawn between control columns x0 and x1 (fractions of a pixel at high pixel
// ratios): the extremes of every envelope column under them. False where nothing is known
// yet or the span ends. Heights follow the square root of the level so quiet passages such
// as speech still show their shape.
bool EnvelopeBarAt(const TTrackbarEnvelope& envelope, const TValueMap& map, double x0, double x1, TEnvelopeBar& bar);

}  // namespace sw
