#pragma once

#include <cstdint>

#include "TrackbarTypes.h"

namespace sw {

// Sizes of the pictures the layout depends on.
struct TPictureSizes {
  TSize Tick;
  TSize SegStart;
  TSize SegEnd;
  TSize StartCut;
  TSize EndCut;
  int TrackHeight = 0;
};

// Inputs of one layout pass.
struct TLayoutInput {
  int ControlWidth = 0;
  int MarginOffsetX = 0;
  int TrackOffsetY = 0;
  int SegOffsetY = 0;
  TPictureSizes Sizes;
};

// Where the track and the resting markers sit; all zero until the first layout pass.
struct TTrackbarGeometry {
  TPictureSizes Sizes;
  int TrackOffsetX = 0;
  int TrackWidth = 0;  // W0
  int TrackLeft = 0;   // L
  int TrackRight = 0;  // R
  TRect TrackRect;
  TRect SegStartRect;
  TRect SegEndRect;
  TRect StartCutRect;
  TRect EndCutRect;

  static TTrackbarGeometry Layout(const TLayoutInput& in);
};

// What the two maps between values and pixel columns need.
struct TValueMap {
  std::int64_t Min = 0;
  std::int64_t Max = 0;
  int TrackLeft = 0;        // L
  int TrackWidth = 0;       // W0
  int TrackLeftOffset = 0;  // TL
  int TrackRightOffset = 0; // TR

  int TravelWidth() const { return TrackWidth - TrackLeftOffset - TrackRightOffset; }
  // An empty range or travel leaves everything at the travel's start.
  bool Degenerate() const { return Max == Min || TravelWidth() == 0; }
};

double RoundHalfEven(double v);
int ValueToPixel(const TValueMap& map, std::int64_t value);
std::int64_t PixelToValue(const TValueMap& map, int x);

}  // namespace sw
