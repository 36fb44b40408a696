#include "TrackbarPointer.h"

#include <algorithm>

namespace sw {

void TTrackbarPointer::MouseDown(const TMouseArgs& args) {
  ButtonDown_ = true;
  TTrackbarModel& m = Model_;
  const int x = args.X;
  const int y = args.Y;
  Drag_ = deNone;
  if (args.Button == mbLeft) {
    // Markers first: at rest they overlap the thumb's outer half.
    if (m.ShowSegment() && m.SegStartRect().Contains(x, y)) {
      Drag_ = deSegStart;
      SegStartLook_ = elPressed;
      m.SetSegStartX(x);
      m.Fire(teSegStartMouseDown, args);
    } else if (m.ShowSegment() && m.SegEndRect().Contains(x, y)) {
      Drag_ = deSegEnd;
      SegEndLook_ = elPressed;
      m.SetSegEndX(x);
      m.Fire(teSegEndMouseDown, args);
    } else if (m.CanDragTick() && m.TickRect().Contains(x, y)) {
      Drag_ = deTick;
      TickLook_ = elPressed;
      m.SetTickX(x);
      m.Fire(teTickMouseDown, args);
    } else if (m.TrackRect().Contains(x, y)) {
      Drag_ = deTrack;
    }
  }
  m.RequestRepaint();
}

void TTrackbarPointer::MouseMove(const TMouseArgs& args) {
  if (!ButtonDown_) {
    Hover(args.X, args.Y);
  } else if (Drag_ == deTick) {
    DragTick(args.X);
  } else if (Drag_ == deSegStart) {
    DragSegStart(args.X);
  } else if (Drag_ == deSegEnd) {
    DragSegEnd(args.X);
  } else if (Drag_ == deTrack) {
    Model_.Fire(teChange);
  }
  Model_.RequestRepaint();
}

void TTrackbarPointer::DragTick(int x) {
  TTrackbarModel& m = Model_;
  const TTrackbarGeometry& g = m.Geometry();
  x = std::min(std::max(x, g.TrackLeft + m.TrackLeftOffset()), g.TrackRight - m.TrackRightOffset());
  // The segment's columns come from its values: a press on a marker moves its column to
  // the press point without changing its value, and that column must not hold the thumb.
  x = std::min(std::max(x, m.PixelOf(m.SegStartPos())), m.PixelOf(m.SegEndPos()));
  m.PlaceTick(x);
  m.Fire(teTickChange);
  m.Fire(teChange);
}

void TTrackbarPointer::DragSegStart(int x) {
  TTrackbarModel& m = Model_;
  x = std::min(x, m.PixelOf(m.SegEndPos()));
  if (m.PixelOf(m.Position()) < x) m.PlaceTick(x);
  x = std::max(x, m.Geometry().TrackLeft);
  m.PlaceSegStart(x);
  m.Fire(teStartChange);
}

void TTrackbarPointer::DragSegEnd(int x) {
  TTrackbarModel& m = Model_;
  x = std::max(x, m.PixelOf(m.SegStartPos()));
  if (x < m.PixelOf(m.Position())) m.PlaceTick(x);
  x = std::min(x, m.Geometry().TrackRight);
  m.PlaceSegEnd(x);
  m.Fire(teEndChange);
}

void TTrackbarPointer::Hover(int x, int y) {
  const TTrackbarModel& m = Model_;
  const bool onStart = m.SegStartRect().Contains(x, y);
  const bool onEnd = !onStart && m.SegEndRect().Contains(x, y);
  SegStartLook_ = onStart ? elHot : elNormal;
  SegEndLook_ = onEnd ? elHot : elNormal;
  TickLook_ = !onStart && !onEnd && m.TickRect().Contains(x, y) ? elHot : elNormal;
}

void TTrackbarPointer::MouseUp(const TMouseArgs& args) {
  ButtonDown_ = false;
  // The grabbed element is remembered; only its look and its release event change.
  if (Drag_ == deTick) {
    TickLook_ = elNormal;
    Model_.Fire(teTickMouseUp, args);
  } else if (Drag_ == deSegStart) {
    SegStartLook_ = elNormal;
    Model_.Fire(teSegStartMouseUp, args);
  } else if (Drag_ == deSegEnd) {
    SegEndLook_ = elNormal;
    Model_.Fire(teSegEndMouseUp, args);
  }
  // A press without a drag moved a column but no value: draw where the values are.
  Model_.MapColumns();
  Model_.RequestRepaint();
}

void TTrackbarPointer::MouseLeave() {
  // A hot look would otherwise stay lit after the pointer has gone.
  if (ButtonDown_) return;
  TickLook_ = SegStartLook_ = SegEndLook_ = elNormal;
  Model_.RequestRepaint();
}

}  // namespace sw
