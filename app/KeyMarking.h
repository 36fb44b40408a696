#pragma once
// Marking from the keyboard on the window's track bar (whole seconds, like the mouse):
// Space plays from the thumb or stops; [ or B and ] or N put the segment start / end at
// the thumb; Left and Right move the thumb one second, ten with Shift; Home and End put it
// on the segment start / end; Z opens the zoom view at the segment start (Shift+Z at the
// end); S and E listen after the start and before the end.
#include <functional>

#include "widgets/trackbar/KorTrackbar.h"

namespace sw {

class TKeyMarking {
 public:
  explicit TKeyMarking(TKorTrackbar& bar) : FBar(bar) {}

  // The track bar's key-down event: true (and the key handled) for a marking key. Moves
  // are reported through the bar's own events, as a drag would.
  bool KeyDown(int key, TShiftState shift);
  // Connects KeyDown to the bar's OnKeyDown.
  void Attach();

  // Space: play from the thumb, or stop when playing. Unset: Space does nothing.
  std::function<void()> OnPlayStop;
  // Z and Shift+Z: the zoom view at the segment start (atEnd false) or end.
  std::function<void(bool atEnd)> OnZoom;
  // S and E: the 2 s after the segment start (atEnd false) or before its end.
  std::function<void(bool atEnd)> OnListen;

  // The "Keys" text of the Help menu: the window's Ctrl+O and Ctrl+Return, and the zoom
  // view's keys, included.
  static const char* const KeysText;

 private:
  void MoveTick(std::int64_t to);

  TKorTrackbar& FBar;
};

}  // namespace sw
