#include "KeyMarking.h"

namespace sw {

const char* const TKeyMarking::KeysText =
    "Space\tplay from the position, or stop\n"
    "[ or B\tsegment start at the position\n"
    "] or N\tsegment end at the position\n"
    "Left, Right\tposition one second back, forward\n"
    "Shift+Left, Shift+Right\tten seconds back, forward\n"
    "Home, End\tposition to the segment start, end\n"
    "S\tlisten to the 2 s after the segment start\n"
    "E\tlisten to the 2 s before the segment end\n"
    "Z, Shift+Z\tzoom view at the segment start, end\n"
    "Double click\tzoom view at a marker or the position\n"
    "Ctrl+O\topen a file\n"
    "Ctrl+Return\tstart the cut\n"
    "\n"
    "In the zoom view:\n"
    "Left, Right\tmarker 10 ms back, forward\n"
    "Ctrl+Left, Ctrl+Right\tmarker 1 ms back, forward\n"
    "Shift+Left, Shift+Right\tmarker 100 ms back, forward\n"
    "Tab\tthe other marker\n"
    "Q\tmarker to the quiet place within 50 ms\n"
    "S, E\tlisten after the start, before the end\n"
    "Up or +, Down or -\tnarrower, wider span (wheel: the same)\n"
    "Page Up, Page Down\tscroll half a span (drag: scroll)\n"
    "Escape\tclose the zoom view\n";

void TKeyMarking::Attach() {
  FBar.OnKeyDown = [this](TKorTrackbar*, int& key, TShiftState shift) {
    if (KeyDown(key, shift)) key = 0;
  };
}

void TKeyMarking::MoveTick(std::int64_t to) {
  // The setter clamps to the range and the segment and fires OnTickChange; OnChange
  // follows as it does for a drag of the thumb.
  FBar.SetPosition(to);
  if (FBar.OnChange) FBar.OnChange(&FBar);
}

bool TKeyMarking::KeyDown(int key, TShiftState shift) {
  if (!FBar.isEnabled() || (shift & (ssCtrl | ssAlt))) return false;
  const std::int64_t step = (shift & ssShift) ? 10 : 1;
  switch (key) {
    case Qt::Key_Space:
      if (OnPlayStop) OnPlayStop();
      return true;
    case Qt::Key_BracketLeft:
    case Qt::Key_B:
      if (!FBar.ShowSegment()) return false;
      FBar.SetSegStartPos(FBar.Position());
      if (FBar.OnStartChange) FBar.OnStartChange(&FBar);
      return true;
    case Qt::Key_BracketRight:
    case Qt::Key_N:
      if (!FBar.ShowSegment()) return false;
      FBar.SetSegEndPos(FBar.Position());
      if (FBar.OnEndChange) FBar.OnEndChange(&FBar);
      return true;
    case Qt::Key_Z:
      if (!OnZoom) return false;
      OnZoom((shift & ssShift) != 0);
      return true;
    case Qt::Key_S:
    case Qt::Key_E:
      if (!OnListen) return false;
      OnListen(key == Qt::Key_E);
      return true;
    case Qt::Key_Left:
      MoveTick(FBar.Position() - step);
      return true;
    case Qt::Key_Right:
      MoveTick(FBar.Position() + step);
      return true;
    case Qt::Key_Home:
      MoveTick(FBar.SegStartPos());
      return true;
    case Qt::Key_End:
      MoveTick(FBar.SegEndPos());
      return true;
    default:
      return false;
  }
}

}  // namespace sw
