#pragma once
// A close look at the sound around a place: a strip of the waveform at full resolution
// (lowest and highest sample per pixel column) over a span of 0.5 to 60 s, the two
// segment markers and the play position drawn in it, and a ruler in milliseconds.
// The markers are moved to the millisecond by dragging them or from the keyboard; the
// view asks for the sound it needs and draws what it has been given.
//
// Keys: Left/Right move the chosen marker 10 ms (Ctrl: 1 ms, Shift: 100 ms); Tab chooses
// the other marker; Q moves it to the quiet place within 50 ms; Up or + narrows the span,
// Down or - widens it; Page Up/Page Down scroll by half a span; S and E ask to listen after
// the start and before the end. The wheel narrows and widens the span about the pointer;
// a drag outside the markers scrolls.
#include <QWidget>

#include <cstdint>
#include <functional>

#include "ZoomModel.h"

namespace sw {

enum TZoomMarker { zmStart, zmEnd };
enum TZoomListen { zlAfterStart, zlBeforeEnd };

class TZoomView : public QWidget {
 public:
  explicit TZoomView(QWidget* parent = nullptr);

  // The length of the file (µs): the view and the markers stay inside it.
  void SetDuration(int64_t duration);
  int64_t Duration() const { return FDuration; }
  // Sound for the view; replaces what it had.
  void SetSound(TZoomSound sound);
  const TZoomSound& Sound() const { return FSound; }

  // The segment (µs), as the window has it; moves nothing else and fires nothing.
  void SetSegment(int64_t start, int64_t end);
  int64_t SegStart() const { return FSegStart; }
  int64_t SegEnd() const { return FSegEnd; }
  // Where the preview plays (µs), or -1 for nowhere.
  void SetPlayPosition(int64_t time);
  int64_t PlayPosition() const { return FPlay; }

  void SetActiveMarker(TZoomMarker m);
  TZoomMarker ActiveMarker() const { return FActive; }
  int64_t MarkerTime(TZoomMarker m) const { return m == zmStart ? FSegStart : FSegEnd; }

  // The view: its first time and its span (µs). SetSpan keeps the middle where it is.
  void ShowAround(int64_t centre);
  void SetSpan(int64_t span);
  int64_t ViewStart() const { return FStart; }
  int64_t Span() const { return FSpan; }

  // Moves a marker as a drag or a key does: to the millisecond, inside the file, not past
  // the other marker; fires OnSegmentChange when it moved.
  void MoveMarker(TZoomMarker m, int64_t time);
  // Q: the chosen marker to the quiet place near it, when the sound there is at hand.
  bool SnapMarker();

  // The segment after the user moved a marker.
  std::function<void(int64_t start, int64_t end)> OnSegmentChange;
  // The view needs the sound from..to (µs) it does not have.
  std::function<void(int64_t from, int64_t to)> OnNeedSound;
  std::function<void(TZoomListen what)> OnListen;

  QSize sizeHint() const override { return {800, 180}; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void SetView(int64_t start, int64_t span);
  // Scrolls so the time is in view, with a margin.
  void KeepInView(int64_t time);
  void AskForSound();
  double XOf(int64_t time) const;
  int64_t TimeAt(double x) const;

  TZoomSound FSound;
  int64_t FDuration = 0;
  int64_t FStart = 0, FSpan = 5000000;
  int64_t FSegStart = 0, FSegEnd = 0, FPlay = -1;
  TZoomMarker FActive = zmStart;
  // The pointer's drag: a marker, the view (from where), or nothing.
  enum { dgNone, dgMarker, dgView } FDrag = dgNone;
  double FDragX = 0;
  int64_t FDragStart = 0;
  // The span last asked for, so that one need is asked once (µs).
  int64_t FAskedFrom = -1, FAskedTo = -1;
};

}  // namespace sw
