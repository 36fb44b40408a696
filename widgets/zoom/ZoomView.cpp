#include "ZoomView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "QuietPlace.h"

namespace sw {

namespace {

constexpr int RulerHeight = 22;
constexpr double MarkerGrip = 5;  // pixels either side of a marker's line that grab it
const QColor Background(0xEC, 0xEA, 0xDB);
const QColor RulerBackground(0xF7, 0xF5, 0xEA);
const QColor Outside(0, 0, 0, 28);  // over the sound outside the segment
const QColor Wave(0x1F, 0x4E, 0x79);
const QColor ZeroLine(0xB8, 0xB8, 0xB0);
const QColor StartColour(0x32, 0x65, 0x4C);
const QColor EndColour(0x65, 0x32, 0x4B);
const QColor PlayColour(0xD0, 0x60, 0x10);

int64_t RoundToMs(int64_t t) { return static_cast<int64_t>(std::llround(static_cast<double>(t) / 1000.0)) * 1000; }

}  // namespace

TZoomView::TZoomView(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumSize(200, 100);
}

void TZoomView::SetDuration(int64_t duration) {
  FDuration = std::max<int64_t>(0, duration);
  // Only clamped: the view asks for sound once it is shown where it is wanted.
  FStart = std::max<int64_t>(0, std::min(FStart, FDuration - FSpan));
  update();
}

void TZoomView::SetSound(TZoomSound sound) {
  FSound = std::move(sound);
  if (FSound.Empty()) FAskedFrom = FAskedTo = -1;  // a new file: nothing asked of it yet
  update();
}

void TZoomView::SetSegment(int64_t start, int64_t end) {
  FSegStart = start, FSegEnd = end;
  update();
}

void TZoomView::SetPlayPosition(int64_t time) {
  if (time == FPlay) return;
  FPlay = time;
  update();
}

void TZoomView::SetActiveMarker(TZoomMarker m) {
  FActive = m;
  update();
}

void TZoomView::ShowAround(int64_t centre) { SetView(centre - FSpan / 2, FSpan); }

void TZoomView::SetSpan(int64_t span) {
  span = std::clamp(span, ZoomMinSpan, ZoomMaxSpan);
  SetView(FStart + FSpan / 2 - span / 2, span);
}

void TZoomView::SetView(int64_t start, int64_t span) {
  FSpan = std::clamp(span, ZoomMinSpan, ZoomMaxSpan);
  FStart = std::max<int64_t>(0, std::min(start, FDuration - FSpan));
  AskForSound();
  update();
}

void TZoomView::AskForSound() {
  const int64_t need0 = FStart, need1 = std::min(FStart + FSpan, std::max(FDuration, FStart));
  const bool have = !FSound.Empty() && FSound.StartTime() <= need0 && FSound.EndTime() >= need1;
  const bool asked = FAskedFrom >= 0 && FAskedFrom <= need0 && FAskedTo >= need1;
  if (have || asked || need1 <= need0) return;
  // Half a span more on each side, so that small scrolls and nudges need no new read.
  FAskedFrom = std::max<int64_t>(0, FStart - FSpan / 2);
  FAskedTo = std::min(FDuration, FStart + FSpan + FSpan / 2);
  if (OnNeedSound) OnNeedSound(FAskedFrom, FAskedTo);
}

void TZoomView::KeepInView(int64_t time) {
  const int64_t margin = FSpan / 10;
  if (time < FStart + margin) SetView(time - margin, FSpan);
  else if (time > FStart + FSpan - margin) SetView(time - FSpan + margin, FSpan);
}

double TZoomView::XOf(int64_t time) const { return ZoomX(time, FStart, FSpan, width()); }

int64_t TZoomView::TimeAt(double x) const { return ZoomTime(x, FStart, FSpan, width()); }

void TZoomView::MoveMarker(TZoomMarker m, int64_t time) {
  time = std::clamp<int64_t>(RoundToMs(time), 0, FDuration);
  int64_t start = FSegStart, end = FSegEnd;
  if (m == zmStart) start = std::min(time, FSegEnd);
  else end = std::max(time, FSegStart);
  KeepInView(m == zmStart ? start : end);
  if (start == FSegStart && end == FSegEnd) return;
  FSegStart = start, FSegEnd = end;
  update();
  if (OnSegmentChange) OnSegmentChange(FSegStart, FSegEnd);
}

bool TZoomView::SnapMarker() {
  if (FSound.Empty()) return false;
  const int rate = FSound.SampleRate;
  const int64_t mark = std::llround(static_cast<double>(MarkerTime(FActive)) * rate / 1e6);
  const int64_t quiet = QuietPlace(FSound.Samples->data(), FSound.Count(), FSound.FirstSample, rate, mark);
  if (quiet == mark) return false;
  MoveMarker(FActive, std::llround(static_cast<double>(quiet) * 1e6 / rate));
  return true;
}

// ---- Drawing ----

void TZoomView::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  AskForSound();
}

void TZoomView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int w = width(), h = height();
  p.fillRect(rect(), Background);
  const QRect wave(0, RulerHeight, w, h - RulerHeight);

  // The sound outside the segment lies under a shade.
  const double xs = XOf(FSegStart), xe = XOf(FSegEnd);
  if (xs > 0) p.fillRect(QRectF(0, wave.top(), std::min<double>(xs, w), wave.height()), Outside);
  if (xe < w) p.fillRect(QRectF(std::max(0.0, xe), wave.top(), w - std::max(0.0, xe), wave.height()), Outside);

  // The waveform, one column per device pixel.
  const double dpr = devicePixelRatioF();
  const int columns = static_cast<int>(std::lround(w * dpr));
  const double top = wave.top() * dpr, height = wave.height() * dpr;
  const double middle = top + height / 2, half = height / 2 - dpr;
  p.save();
  p.scale(1 / dpr, 1 / dpr);
  p.fillRect(QRectF(0, std::floor(middle), columns, 1), ZeroLine);
  const std::vector<TZoomColumn> peaks = ZoomColumns(FSound, FStart, FSpan, columns);
  for (int c = 0; c < columns; ++c) {
    const TZoomColumn& k = peaks[static_cast<size_t>(c)];
    if (!k.Known) continue;
    const double y0 = std::floor(middle - std::clamp(k.Max, -1.0f, 1.0f) * half);
    const double y1 = std::ceil(middle - std::clamp(k.Min, -1.0f, 1.0f) * half);
    p.fillRect(QRectF(c, y0, 1, std::max(1.0, y1 - y0)), Wave);
  }
  p.restore();

  // The ruler: labelled ticks in milliseconds, four small ones between.
  p.fillRect(QRect(0, 0, w, RulerHeight), RulerBackground);
  p.setPen(QColor(0x80, 0x80, 0x78));
  p.drawLine(0, RulerHeight - 1, w, RulerHeight - 1);
  const int64_t step = RulerStep(FSpan, w, 90);
  const int64_t minor = step / 5;
  QFont font = p.font();
  font.setPixelSize(11);
  p.setFont(font);
  for (int64_t t = (FStart / minor) * minor; t <= FStart + FSpan; t += minor) {
    const double x = std::round(XOf(t)) + 0.5;
    if (t % step == 0) {
      p.setPen(QColor(0x30, 0x30, 0x30));
      p.drawLine(QPointF(x, RulerHeight - 9), QPointF(x, RulerHeight - 1));
      p.drawText(QPointF(x + 3, RulerHeight - 10), QString::fromStdString(RulerText(t)));
    } else {
      p.setPen(QColor(0x90, 0x90, 0x88));
      p.drawLine(QPointF(x, RulerHeight - 4), QPointF(x, RulerHeight - 1));
    }
  }

  // The markers (the chosen one wider, with its flag filled) and the play position.
  const auto marker = [&](int64_t t, const QColor& colour, bool chosen, const char* flag) {
    const double x = XOf(t);
    if (x < -20 || x > w + 20) return;
    p.setPen(QPen(colour, chosen ? 2 : 1));
    p.drawLine(QPointF(x, wave.top()), QPointF(x, wave.bottom()));
    const QRectF box(x - 7, wave.top(), 14, 14);
    if (chosen) p.fillRect(box, colour);
    else p.drawRect(box);
    p.setPen(chosen ? Qt::white : colour);
    p.drawText(box, Qt::AlignCenter, flag);
  };
  marker(FSegStart, StartColour, FActive == zmStart, "S");
  marker(FSegEnd, EndColour, FActive == zmEnd, "E");
  if (FPlay >= 0) {
    const double x = XOf(FPlay);
    p.setPen(QPen(PlayColour, 1));
    p.drawLine(QPointF(x, wave.top()), QPointF(x, wave.bottom()));
  }
  if (hasFocus()) {
    p.setPen(QPen(QColor(0x1F, 0x4E, 0x79, 90), 1, Qt::DotLine));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

// ---- Keys and pointer ----

void TZoomView::keyPressEvent(QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers();
  const int64_t nudge = (mods & Qt::ControlModifier) ? 1000 : (mods & Qt::ShiftModifier) ? 100000 : 10000;
  switch (e->key()) {
    case Qt::Key_Left: MoveMarker(FActive, MarkerTime(FActive) - nudge); break;
    case Qt::Key_Right: MoveMarker(FActive, MarkerTime(FActive) + nudge); break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      SetActiveMarker(FActive == zmStart ? zmEnd : zmStart);
      KeepInView(MarkerTime(FActive));
      break;
    case Qt::Key_Q: SnapMarker(); break;
    case Qt::Key_Up:
    case Qt::Key_Plus:
    case Qt::Key_Equal: SetSpan(FSpan * 2 / 3); break;
    case Qt::Key_Down:
    case Qt::Key_Minus: SetSpan(FSpan * 3 / 2); break;
    case Qt::Key_PageUp: SetView(FStart - FSpan / 2, FSpan); break;
    case Qt::Key_PageDown: SetView(FStart + FSpan / 2, FSpan); break;
    case Qt::Key_S:
      if (OnListen) OnListen(zlAfterStart);
      break;
    case Qt::Key_E:
      if (OnListen) OnListen(zlBeforeEnd);
      break;
    default: QWidget::keyPressEvent(e); return;
  }
  e->accept();
}

// Tab chooses a marker here instead of moving the focus.
bool TZoomView::focusNextPrevChild(bool) { return false; }

void TZoomView::wheelEvent(QWheelEvent* e) {
  const QPoint angle = e->angleDelta();
  const bool scroll = angle.x() != 0 || (e->modifiers() & Qt::ShiftModifier);
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (delta == 0) return;
  if (scroll) {
    SetView(FStart - static_cast<int64_t>(static_cast<double>(FSpan) * delta / 120 / 8), FSpan);
  } else {
    // The time under the pointer stays under it.
    const double x = e->position().x();
    const int64_t at = TimeAt(x);
    const int64_t span = std::clamp<int64_t>(std::llround(FSpan * std::pow(0.8, delta / 120.0)), ZoomMinSpan, ZoomMaxSpan);
    SetView(at - static_cast<int64_t>(x * static_cast<double>(span) / std::max(1, width())), span);
  }
  e->accept();
}

void TZoomView::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const double x = e->position().x();
  const double ds = std::fabs(x - XOf(FSegStart)), de = std::fabs(x - XOf(FSegEnd));
  if (std::min(ds, de) <= MarkerGrip) {
    // The nearer one; on a tie the chosen one, so that two markers on one place can part.
    const TZoomMarker m = ds < de ? zmStart : de < ds ? zmEnd : FActive;
    SetActiveMarker(m);
    FDrag = dgMarker;
  } else {
    FDrag = dgView;
    FDragX = x;
    FDragStart = FStart;
  }
}

void TZoomView::mouseMoveEvent(QMouseEvent* e) {
  const double x = e->position().x();
  if (FDrag == dgMarker) MoveMarker(FActive, TimeAt(x));
  else if (FDrag == dgView)
    SetView(FDragStart - static_cast<int64_t>((x - FDragX) * static_cast<double>(FSpan) / std::max(1, width())), FSpan);
  const bool overMarker = std::min(std::fabs(x - XOf(FSegStart)), std::fabs(x - XOf(FSegEnd))) <= MarkerGrip;
  setCursor(FDrag == dgMarker || overMarker ? Qt::SizeHorCursor : FDrag == dgView ? Qt::ClosedHandCursor : Qt::ArrowCursor);
}

void TZoomView::mouseReleaseEvent(QMouseEvent*) { FDrag = dgNone; }

}  // namespace sw
