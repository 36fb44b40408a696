#include <QKeyEvent>
#include <QMouseEvent>

#include <cmath>
#include <optional>

#include "KorTrackbar.h"

namespace sw {

namespace {

std::optional<TMouseButton> ButtonOf(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return mbLeft;
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: return std::nullopt;
  }
}

TShiftState ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons = Qt::NoButton) {
  TShiftState s = 0;
  if (mods & Qt::ShiftModifier) s |= ssShift;
  if (mods & Qt::AltModifier) s |= ssAlt;
  if (mods & Qt::ControlModifier) s |= ssCtrl;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

TMouseArgs ArgsOf(const QMouseEvent* e, TMouseButton button) {
  const QPointF at = e->position();
  return {button, ShiftOf(e->modifiers(), e->buttons()), static_cast<int>(std::floor(at.x())),
          static_cast<int>(std::floor(at.y()))};
}

bool IsArrow(int key) {
  return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

}  // namespace

// The window's handlers run first: they read the values as they were before this event.

void TKorTrackbar::mousePressEvent(QMouseEvent* e) {
  const auto button = ButtonOf(e->button());
  if (!button) return QWidget::mousePressEvent(e);
  const TMouseArgs a = ArgsOf(e, *button);
  if (OnMouseDown) OnMouseDown(this, a.Button, a.Shift, a.X, a.Y);
  setFocus(Qt::MouseFocusReason);
  Pointer_.MouseDown(a);
}

void TKorTrackbar::mouseMoveEvent(QMouseEvent* e) {
  const TMouseArgs a = ArgsOf(e, mbLeft);
  if (OnMouseMove) OnMouseMove(this, a.Shift, a.X, a.Y);
  Pointer_.MouseMove(a);
}

void TKorTrackbar::mouseReleaseEvent(QMouseEvent* e) {
  const auto button = ButtonOf(e->button());
  if (!button) return QWidget::mouseReleaseEvent(e);
  const TMouseArgs a = ArgsOf(e, *button);
  if (OnMouseUp) OnMouseUp(this, a.Button, a.Shift, a.X, a.Y);
  Pointer_.MouseUp(a);
}

void TKorTrackbar::leaveEvent(QEvent* e) {
  if (OnMouseLeave) OnMouseLeave(this);
  Pointer_.MouseLeave();
  QWidget::leaveEvent(e);
}

// The arrow keys are swallowed: nothing on the track bar moves from the keyboard.
void TKorTrackbar::keyPressEvent(QKeyEvent* e) {
  int key = e->key();
  if (OnKeyDown) OnKeyDown(this, key, ShiftOf(e->modifiers()));
  if (key == 0 || IsArrow(key)) return e->accept();
  QWidget::keyPressEvent(e);
}

void TKorTrackbar::keyReleaseEvent(QKeyEvent* e) {
  int key = e->key();
  if (OnKeyUp) OnKeyUp(this, key, ShiftOf(e->modifiers()));
  if (key == 0 || IsArrow(key)) return e->accept();
  QWidget::keyReleaseEvent(e);
}

}  // namespace sw
