#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "KorTrackbar.h"
#include "TrackbarQtTypes.h"

namespace sw {

namespace {

constexpr TArgb kStartPen = 0xFF32654C;
constexpr TArgb kEndPen = 0xFF65324B;
// Marker and cut pictures let the track show through a little.
constexpr qreal kMarkerOpacity = 0.8;
// The sound overview: a translucent clear blue that the light thumb, the green and red
// markers and the shading all stand out against, with the groove still showing through.
constexpr TArgb kEnvelopeColor = 0x992F7FC8;

QColor Argb(TArgb c) { return QColor::fromRgba(c); }

// A one-pixel vertical line from top to bottom inclusive, exact at any pixel ratio.
void VerticalLine(QPainter& p, int x, int top, int bottom, TArgb color) {
  p.fillRect(QRect(x, top, 1, bottom - top + 1), Argb(color));
}

void Shade(QPainter& p, const TRect& r, TArgb color) {
  if (r.Width() > 0) p.fillRect(ToQRect(r), Argb(color));
}

}  // namespace

const TKorPicture& TKorTrackbar::TickPicture() const {
  // A disabled control shows the disabled thumb, so it does not invite a drag.
  if (!isEnabled()) return Pictures_[piTickDisable];
  switch (Pointer_.TickLook()) {
    case elPressed: return Pictures_[piTickDown];
    case elHot: return Pictures_[piTickHot];
    case elNormal: break;
  }
  return Pictures_[piTickUp];
}

void TKorTrackbar::DrawPicture(QPainter& p, TPictureId id, const TRect& where, TArgb key) const {
  const TKorPicture& picture = Pictures_[id];
  if (picture.IsEmpty()) return;
  p.drawImage(ToQRect(where), picture.Keyed(p.device()->devicePixelRatioF(), key));
}

void TKorTrackbar::SetPictureSmoothing(QPainter& p) const {
  // Whole-number ratios keep small pictures crisp; other ratios need filtering.
  const qreal ratio = p.device()->devicePixelRatioF();
  p.setRenderHint(QPainter::SmoothPixmapTransform, ratio != std::floor(ratio));
}

void TKorTrackbar::DrawEnvelope(QPainter& p, qreal ratio) const {
  const TRect track = Model_.TrackRect();
  if (Model_.Envelope().Empty() || track.Height() <= 2) return;
  // One bar per device pixel, so a 2x screen shows twice the detail.
  p.save();
  p.scale(1 / ratio, 1 / ratio);
  const double middle = (track.Top + track.Bottom) / 2.0 * ratio;
  const double half = (track.Height() / 2.0 - 1) * ratio;
  const QColor color = Argb(kEnvelopeColor);
  const int right = static_cast<int>(std::ceil(track.Right * ratio));
  for (int px = static_cast<int>(std::floor(track.Left * ratio)); px < right; ++px) {
    TEnvelopeBar bar;
    if (!Model_.EnvelopeBar(px / ratio, (px + 1) / ratio, bar)) continue;
    const int top = static_cast<int>(std::floor(middle - bar.Up * half));
    const int bottom = static_cast<int>(std::ceil(middle + bar.Down * half));
    p.fillRect(QRect(px, top, 1, std::max(1, bottom - top)), color);
  }
  p.restore();
}

void TKorTrackbar::Render(QImage& surface) const {
  const TTrackbarModel& m = Model_;
  QPainter p(&surface);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const qreal ratio = surface.devicePixelRatioF();

  if (m.UseBGImage()) {
    if (Pictures_[piBGImage].IsEmpty()) return;
    p.drawImage(rect(), Pictures_[piBGImage].ForRatio(ratio));
  } else {
    p.fillRect(rect(), Argb(m.BGArgb()));
  }

  if (!Pictures_[piTrack].IsEmpty()) p.drawImage(ToQRect(m.TrackRect()), Pictures_[piTrack].ForRatio(ratio));
  DrawEnvelope(p, ratio);

  SetPictureSmoothing(p);
  const TKorPicture& tick = TickPicture();
  if (!tick.IsEmpty()) {
    p.drawImage(ToQRect(m.TickRect()), tick.Keyed(ratio, m.TransparencyArgb(TTrackbarModel::kcTick)));
  }

  if (!m.ShowSegment()) return;
  const int startX = m.SegStartX();
  const int endX = m.SegEndX();

  p.setOpacity(kMarkerOpacity);
  DrawPicture(p, piSegmentStart, m.SegStartRect(), m.TransparencyArgb(TTrackbarModel::kcSegStart));
  if (m.ShowCut()) {
    DrawPicture(p, piStartCut, m.StartCutRect(), m.TransparencyArgb(TTrackbarModel::kcStartCut));
    p.setOpacity(1);
    VerticalLine(p, startX - 1, 15, 20, kStartPen);
    Shade(p, m.LeftShadeRect(), m.LeftBrushColor());
  }

  p.setOpacity(kMarkerOpacity);
  DrawPicture(p, piSegmentEnd, m.SegEndRect(), m.TransparencyArgb(TTrackbarModel::kcSegEnd));
  if (m.ShowCut()) {
    DrawPicture(p, piEndCut, m.EndCutRect(), m.TransparencyArgb(TTrackbarModel::kcEndCut));
    p.setOpacity(1);
    VerticalLine(p, endX, 15, 20, kEndPen);
    Shade(p, m.RightShadeRect(), m.RightBrushColor());
  }
}

void TKorTrackbar::paintEvent(QPaintEvent*) {
  if (!Model_.WindowReady()) return;
  const qreal ratio = devicePixelRatioF();
  const QSize pixels = size() * ratio;
  if (Surface_.size() != pixels || Surface_.devicePixelRatioF() != ratio) {
    Surface_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    Surface_.setDevicePixelRatio(ratio);
  }
  Surface_.fill(Qt::transparent);
  Render(Surface_);
  QPainter(this).drawImage(0, 0, Surface_);
}

}  // namespace sw
