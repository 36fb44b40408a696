#pragma once

#include "TrackbarModel.h"
#include "TrackbarTypes.h"

namespace sw {

// What the mouse does to the track bar: which element a press grabs, how a drag moves it
// and the looks that follow the pointer.
class TTrackbarPointer {
 public:
  explicit TTrackbarPointer(TTrackbarModel& model) : Model_(model) {}

  void MouseDown(const TMouseArgs& args);
  void MouseMove(const TMouseArgs& args);
  void MouseUp(const TMouseArgs& args);
  void MouseLeave();

  TElementLook TickLook() const { return TickLook_; }
  TElementLook SegStartLook() const { return SegStartLook_; }
  TElementLook SegEndLook() const { return SegEndLook_; }
  bool ButtonDown() const { return ButtonDown_; }
  TDragElement Drag() const { return Drag_; }

 private:
  void DragTick(int x);
  void DragSegStart(int x);
  void DragSegEnd(int x);
  void Hover(int x, int y);

  TTrackbarModel& Model_;
  TElementLook TickLook_ = elNormal;
  TElementLook SegStartLook_ = elNormal;
  TElementLook SegEndLook_ = elNormal;
  bool ButtonDown_ = false;
  TDragElement Drag_ = deNone;
};

}  // namespace sw
