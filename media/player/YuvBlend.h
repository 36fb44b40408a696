#pragma once
// Colours drawn over the pictures the display shows: yuv420p with limited-range BT.601,
// as the video thread makes them.
#include <cmath>
#include <cstdint>

namespace sw {

struct TYuva {
  int Y, U, V, A;
};

// r, g, b 0..255; alpha 0 (clear) .. 255 (opaque).
inline TYuva RgbToYuva(int r, int g, int b, int alpha) {
  return {static_cast<int>(std::lround(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255)),
          static_cast<int>(std::lround(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255)),
          static_cast<int>(std::lround(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255)), alpha};
}

// The colour over what is under it, at alpha 0..255.
inline uint8_t Mix(uint8_t under, int over, int alpha) {
  return static_cast<uint8_t>((under * (255 - alpha) + over * alpha + 127) / 255);
}

}  // namespace sw
