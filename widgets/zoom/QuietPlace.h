#pragma once
// The quiet place near a mark: where the sound is lowest over a short window, and there
// the nearest zero crossing, so that an edit between words or notes needs no hunting.
#include <cstdint>

namespace sw {

struct TQuietSearch {
  double Reach = 0.050;   // s either side of the mark that are searched
  double Window = 0.010;  // s over which the energy is taken
};

// samples: one channel, samples[i] being sample first + i at rate. Returns the sample the
// mark moves to: among the places within the reach whose window is the quietest, the
// middle of the stretch of equal quiet nearest the mark, then the zero crossing nearest
// to it within half a window. The mark itself when the samples do not cover the search.
int64_t QuietPlace(const float* samples, int64_t count, int64_t first, int rate, int64_t mark,
                   const TQuietSearch& search = {});

}  // namespace sw
