#include "TrackbarModel.h"

#include <algorithm>
#include <utility>

namespace sw {

void TTrackbarModel::Fire(TTrackbarEvent e, const TMouseArgs& args) const {
  if (Notify) Notify(e, args);
}

void TTrackbarModel::RequestRepaint() const {
  if (Ready_ && Repaint) Repaint();
}

void TTrackbarModel::SetMax(std::int64_t v) {
  // Values above a lowered Max stay until they are set again.
  Max_ = v;
}

void TTrackbarModel::SetMin(std::int64_t v) {
  Min_ = v;
  if (Position_ < v) Position_ = v;
}

void TTrackbarModel::SetPosition(std::int64_t v) {
  // Every test looks at the value passed, so the segment wins over the range.
  std::int64_t p = v;
  if (v > Max_) p = Max_;
  if (v < Min_) p = Min_;
  if (v < SegStart_) p = SegStart_;
  if (v > SegEnd_) p = SegEnd_;
  Position_ = p;
  TickX_ = PixelOf(p);
  RequestRepaint();
  Fire(teTickChange);
}

void TTrackbarModel::SetSegStartPos(std::int64_t v) {
  if (v < Min_) {
    v = Min_;
  } else if (v > SegEnd_) {
    v = SegEnd_;
  }
  SegStart_ = v;
  if (Position_ < SegStart_) SetPosition(SegStart_);
  SegStartX_ = PixelOf(SegStart_);
  RequestRepaint();
}

void TTrackbarModel::SetSegEndPos(std::int64_t v) {
  if (v >= Max_) {
    v = Max_;
  } else if (v < SegStart_) {
    v = SegStart_;
  }
  SegEnd_ = v;
  if (SegEnd_ < Position_) SetPosition(SegEnd_);
  SegEndX_ = PixelOf(SegEnd_);
  RequestRepaint();
}

void TTrackbarModel::SetShowSegment(bool v) {
  ShowSegment_ = v;
  SegStart_ = Min_;
  SegEnd_ = Max_;
  SegStartX_ = PixelOf(SegStart_);
  SegEndX_ = PixelOf(SegEnd_);
  RequestRepaint();
}

void TTrackbarModel::SetEnvelope(TTrackbarEnvelope v) {
  Envelope_ = std::move(v);
  RequestRepaint();
}

void TTrackbarModel::SetShowCut(bool v) {
  ShowCut_ = v;
  RequestRepaint();
}

void TTrackbarModel::SetTrackOffsetY(int v) {
  TrackOffsetY_ = v;
  Geo_.TrackRect.Top = v;
  Geo_.TrackRect.Bottom = v + Geo_.Sizes.TrackHeight;
}

void TTrackbarModel::SetMarginOffsetX(int v) {
  MarginOffsetX_ = v;
  Layout();
  RequestRepaint();
}

void TTrackbarModel::Resize(int width) {
  Width_ = width;
  Layout();
}

void TTrackbarModel::SetPictureSizes(const TPictureSizes& sizes) {
  Sizes_ = sizes;
  Layout();
}

void TTrackbarModel::CreateWindow() {
  Ready_ = true;
  Layout();
}

void TTrackbarModel::Layout() {
  if (!Ready_) return;
  Geo_ = TTrackbarGeometry::Layout({Width_, MarginOffsetX_, TrackOffsetY_, SegOffsetY_, Sizes_});
  TrackOffsetX_ = Geo_.TrackOffsetX;
  MapColumns();
}

void TTrackbarModel::MapColumns() {
  // Mapped from the values rather than parked at the track's ends, so a resize keeps
  // the thumb and markers where the values say.
  TickX_ = PixelOf(Position_);
  SegStartX_ = PixelOf(SegStart_);
  SegEndX_ = PixelOf(SegEnd_);
}

TValueMap TTrackbarModel::Map() const {
  return {Min_, Max_, Geo_.TrackLeft, Geo_.TrackWidth, TrackLeftOffset_, TrackRightOffset_};
}

std::int64_t TTrackbarModel::DragValue(int x) const {
  // A drag never produces a value outside the range, whatever the offsets or a stale column.
  return std::max(std::min(ValueOf(x), Max_), Min_);
}

void TTrackbarModel::PlaceTick(int x) {
  TickX_ = x;
  // A column maps back to a value within one pixel's worth: it may fall outside.
  Position_ = std::max(std::min(DragValue(x), SegEnd_), SegStart_);
}

void TTrackbarModel::PlaceSegStart(int x) {
  SegStartX_ = x;
  SegStart_ = std::min(DragValue(x), SegEnd_);
}

void TTrackbarModel::PlaceSegEnd(int x) {
  SegEndX_ = x;
  SegEnd_ = std::max(DragValue(x), SegStart_);
}

TRect TTrackbarModel::TickRect() const {
  const TSize s = Geo_.Sizes.Tick;
  return TRect::FromSize(TickX_ - s.Width / 2, TickOffsetY_, s);
}

TRect TTrackbarModel::SegStartRect() const {
  const TSize s = Geo_.Sizes.SegStart;
  const int left = SegStart_ == Min_ ? MarginOffsetX_ : SegStartX_ - s.Width;
  return TRect::FromSize(left, SegOffsetY_, s);
}

TRect TTrackbarModel::SegEndRect() const {
  const int left = SegEnd_ == Max_ ? Geo_.TrackRight : SegEndX_;
  return TRect::FromSize(left, SegOffsetY_, Geo_.Sizes.SegEnd);
}

TRect TTrackbarModel::StartCutRect() const {
  const TSize s = Geo_.Sizes.StartCut;
  return TRect::FromSize(SegStartX_ - s.Width, 5, s);
}

TRect TTrackbarModel::EndCutRect() const {
  return TRect::FromSize(SegEndX_, 5, Geo_.Sizes.EndCut);
}

TRect TTrackbarModel::LeftShadeRect() const {
  const TRect track = Geo_.TrackRect;
  const int right = std::max(SegStartX_ - Geo_.Sizes.SegStart.Width, track.Left);
  return {track.Left, track.Top, right, track.Bottom};
}

TRect TTrackbarModel::RightShadeRect() const {
  const TRect track = Geo_.TrackRect;
  const int left = std::min(SegEndX_ + Geo_.Sizes.SegEnd.Width, track.Right);
  return {left, track.Top, track.Right, track.Bottom};
}

}  // namespace sw
