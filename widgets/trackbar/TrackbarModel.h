#pragma once

#include <cstdint>
#include <functional>

#include "TrackbarEnvelope.h"
#include "TrackbarGeometry.h"
#include "TrackbarTypes.h"

namespace sw {

// The track bar without its window: range, thumb and segment values, their pixel columns
// and the rectangles derived from them. Knows nothing of Qt so it can be tested alone.
class TTrackbarModel {
 public:
  TTrackbarModel() = default;
  TTrackbarModel(const TTrackbarModel&) = delete;
  TTrackbarModel& operator=(const TTrackbarModel&) = delete;

  // Reports the events the control publishes; mouse arguments are empty for value changes.
  std::function<void(TTrackbarEvent, const TMouseArgs&)> Notify;
  // Asks the window to draw again; only called once the window exists.
  std::function<void()> Repaint;

  std::int64_t Max() const { return Max_; }
  void SetMax(std::int64_t v);
  std::int64_t Min() const { return Min_; }
  void SetMin(std::int64_t v);
  std::int64_t Position() const { return Position_; }
  void SetPosition(std::int64_t v);
  std::int64_t SegStartPos() const { return SegStart_; }
  void SetSegStartPos(std::int64_t v);
  std::int64_t SegEndPos() const { return SegEnd_; }
  void SetSegEndPos(std::int64_t v);

  bool ShowSegment() const { return ShowSegment_; }
  void SetShowSegment(bool v);
  bool ShowCut() const { return ShowCut_; }
  void SetShowCut(bool v);
  bool CanDragTick() const { return CanDragTick_; }
  void SetCanDragTick(bool v) { CanDragTick_ = v; }
  bool UseBGImage() const { return UseBGImage_; }
  void SetUseBGImage(bool v) { UseBGImage_ = v; }

  int Step() const { return Step_; }
  void SetStep(int v) { Step_ = v; }
  int TickOffsetY() const { return TickOffsetY_; }
  void SetTickOffsetY(int v) { TickOffsetY_ = v; }
  int TrackOffsetY() const { return TrackOffsetY_; }
  void SetTrackOffsetY(int v);
  int TrackOffsetX() const { return TrackOffsetX_; }
  void SetTrackOffsetX(int v) { TrackOffsetX_ = v; }
  int SegOffsetY() const { return SegOffsetY_; }
  void SetSegOffsetY(int v) { SegOffsetY_ = v; }
  int MarginOffsetX() const { return MarginOffsetX_; }
  void SetMarginOffsetX(int v);
  int TrackLeftOffset() const { return TrackLeftOffset_; }
  void SetTrackLeftOffset(int v) { TrackLeftOffset_ = v; }
  int TrackRightOffset() const { return TrackRightOffset_; }
  void SetTrackRightOffset(int v) { TrackRightOffset_ = v; }

  // The sound overview drawn along the track; an empty one leaves the track plain.
  const TTrackbarEnvelope& Envelope() const { return Envelope_; }
  void SetEnvelope(TTrackbarEnvelope v);
  // The overview's bar between two control columns (see EnvelopeBarAt).
  bool EnvelopeBar(double x0, double x1, TEnvelopeBar& bar) const { return EnvelopeBarAt(Envelope_, Map(), x0, x1, bar); }

  // Colours: TColor in and out, kept as opaque ARGB for drawing.
  TColor BGColor() const { return ArgbToColor(BGArgb_); }
  void SetBGColor(TColor c) { BGArgb_ = ColorToArgb(c); }
  TArgb BGArgb() const { return BGArgb_; }
  TArgb LeftBrushColor() const { return LeftBrush_; }
  void SetLeftBrushColor(TArgb c) { LeftBrush_ = c; }
  TArgb RightBrushColor() const { return RightBrush_; }
  void SetRightBrushColor(TArgb c) { RightBrush_ = c; }

  enum TKeyColor { kcStartCut, kcEndCut, kcSegStart, kcSegEnd, kcTick, kcCount };
  TColor Transparency(TKeyColor which) const { return ArgbToColor(Keys_[which]); }
  void SetTransparency(TKeyColor which, TColor c) { Keys_[which] = ColorToArgb(c); }
  TArgb TransparencyArgb(TKeyColor which) const { return Keys_[which]; }

  // Window life: sizes are remembered at any time, laid out only once the window exists.
  int ControlWidth() const { return Width_; }
  void Resize(int width);
  void SetPictureSizes(const TPictureSizes& sizes);
  void CreateWindow();
  bool WindowReady() const { return Ready_; }
  void Layout();
  const TTrackbarGeometry& Geometry() const { return Geo_; }

  TValueMap Map() const;
  int PixelOf(std::int64_t v) const { return ValueToPixel(Map(), v); }
  std::int64_t ValueOf(int x) const { return PixelToValue(Map(), x); }

  // Pixel columns of the thumb and of the two segment ends.
  int TickX() const { return TickX_; }
  int SegStartX() const { return SegStartX_; }
  int SegEndX() const { return SegEndX_; }
  void SetTickX(int x) { TickX_ = x; }
  void SetSegStartX(int x) { SegStartX_ = x; }
  void SetSegEndX(int x) { SegEndX_ = x; }
  // Drag moves: the column and the value under it, without the setters' events. The value
  // stays in the range, and the thumb's within the segment, the start's not above the end.
  void PlaceTick(int x);
  void PlaceSegStart(int x);
  void PlaceSegEnd(int x);
  // Puts the three columns where the values map to.
  void MapColumns();

  // Where each element is drawn and hit.
  TRect TickRect() const;
  TRect SegStartRect() const;
  TRect SegEndRect() const;
  TRect TrackRect() const { return Geo_.TrackRect; }
  TRect StartCutRect() const;
  TRect EndCutRect() const;
  TRect LeftShadeRect() const;
  TRect RightShadeRect() const;

  void Fire(TTrackbarEvent e, const TMouseArgs& args = {}) const;
  void RequestRepaint() const;

 private:
  std::int64_t DragValue(int x) const;

  std::int64_t Max_ = 1000;
  std::int64_t Min_ = 0;
  std::int64_t Position_ = 0;
  std::int64_t SegStart_ = 0;
  std::int64_t SegEnd_ = 1000;
  bool ShowSegment_ = true;
  bool ShowCut_ = true;
  bool CanDragTick_ = true;
  bool UseBGImage_ = false;
  int Step_ = 1;
  int TickOffsetY_ = 20;
  int TrackOffsetY_ = 20;
  int TrackOffsetX_ = 0;
  int SegOffsetY_ = 20;
  int MarginOffsetX_ = 0;
  int TrackLeftOffset_ = 0;
  int TrackRightOffset_ = 0;
  TArgb BGArgb_ = ColorToArgb(clWhite);
  TArgb LeftBrush_ = 0x653DF72D;
  TArgb RightBrush_ = 0x65F5BCDA;
  TArgb Keys_[kcCount] = {ColorToArgb(0xE7E7E7), ColorToArgb(0xE7E7E7), ColorToArgb(clBlack),
                          ColorToArgb(clBlack), ColorToArgb(clBlack)};

  TTrackbarEnvelope Envelope_;

  int Width_ = 0;
  TPictureSizes Sizes_;
  bool Ready_ = false;
  TTrackbarGeometry Geo_;
  int TickX_ = 0;
  int SegStartX_ = 0;
  int SegEndX_ = 0;
};

}  // namespace sw
