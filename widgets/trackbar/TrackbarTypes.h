#pragma once

#include <cstdint>

// Plain value types shared by the track bar's model, geometry and widget.
namespace sw {

// Colour in the 0x00BBGGRR form callers pass in; drawing uses 0xAARRGGBB.
using TColor = std::uint32_t;
using TArgb = std::uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TArgb ColorToArgb(TColor c) {
  return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}

constexpr TColor ArgbToColor(TArgb a) {
  return ((a >> 16) & 0xFFu) | (a & 0xFF00u) | ((a & 0xFFu) << 16);
}

struct TSize {
  int Width = 0;
  int Height = 0;
};

// Half-open like the platform's rectangles: Right and Bottom are outside.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  static TRect FromSize(int left, int top, TSize size) {
    return {left, top, left + size.Width, top + size.Height};
  }
  bool operator==(const TRect&) const = default;
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftFlag : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
};
using TShiftState = unsigned;

struct TMouseArgs {
  TMouseButton Button = mbLeft;
  TShiftState Shift = 0;
  int X = 0;
  int Y = 0;
};

// Look of the thumb and of each marker.
enum TElementLook { elNormal = 0, elPressed = 1, elHot = 2 };

// Element a press has grabbed.
enum TDragElement { deNone, deTick, deSegStart, deSegEnd, deTrack };

// What the model and the pointer logic report to the control, which turns each into its public event.
enum TTrackbarEvent {
  teChange,
  teTickChange,
  teStartChange,
  teEndChange,
  teTickMouseDown,
  teTickMouseUp,
  teSegStartMouseDown,
  teSegStartMouseUp,
  teSegEndMouseDown,
  teSegEndMouseUp,
};

}  // namespace sw
