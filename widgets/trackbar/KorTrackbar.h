#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>

#include "TrackbarModel.h"
#include "TrackbarPictures.h"
#include "TrackbarPointer.h"
#include "TrackbarTypes.h"

namespace sw {

class TKorTrackbar;

using TNotifyEvent = std::function<void(TKorTrackbar* sender)>;
using TMouseEvent =
    std::function<void(TKorTrackbar* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TKorTrackbar* sender, TShiftState shift, int x, int y)>;
// Setting key to 0 marks the key as handled.
using TKeyEvent = std::function<void(TKorTrackbar* sender, int& key, TShiftState shift)>;

// Time line with a play-position thumb and two segment markers that the mouse drags.
class TKorTrackbar : public QWidget {
 public:
  explicit TKorTrackbar(QWidget* parent = nullptr);
  ~TKorTrackbar() override;

  bool Enabled() const { return isEnabled(); }
  void SetEnabled(bool v) { setEnabled(v); }
  // Shown, or shown as soon as the parent is.
  bool Visible() const { return parentWidget() ? isVisibleTo(parentWidget()) : !isHidden(); }
  void SetVisible(bool v) { setVisible(v); }

  std::int64_t Max() const { return Model_.Max(); }
  void SetMax(std::int64_t v) { Model_.SetMax(v); }
  std::int64_t Min() const { return Model_.Min(); }
  void SetMin(std::int64_t v) { Model_.SetMin(v); }
  std::int64_t Position() const { return Model_.Position(); }
  void SetPosition(std::int64_t v) { Model_.SetPosition(v); }
  std::int64_t SegStartPos() const { return Model_.SegStartPos(); }
  void SetSegStartPos(std::int64_t v) { Model_.SetSegStartPos(v); }
  std::int64_t SegEndPos() const { return Model_.SegEndPos(); }
  void SetSegEndPos(std::int64_t v) { Model_.SetSegEndPos(v); }

  bool ShowSegment() const { return Model_.ShowSegment(); }
  void SetShowSegment(bool v) { Model_.SetShowSegment(v); }
  bool ShowCut() const { return Model_.ShowCut(); }
  void SetShowCut(bool v) { Model_.SetShowCut(v); }
  bool CanDragTick() const { return Model_.CanDragTick(); }
  void SetCanDragTick(bool v) { Model_.SetCanDragTick(v); }
  bool UseBGImage() const { return Model_.UseBGImage(); }
  void SetUseBGImage(bool v) { Model_.SetUseBGImage(v); }

  int Step() const { return Model_.Step(); }
  void SetStep(int v) { Model_.SetStep(v); }
  int TickOffsetY() const { return Model_.TickOffsetY(); }
  void SetTickOffsetY(int v) { Model_.SetTickOffsetY(v); }
  int TrackOffsetY() const { return Model_.TrackOffsetY(); }
  void SetTrackOffsetY(int v) { Model_.SetTrackOffsetY(v); }
  int TrackOffsetX() const { return Model_.TrackOffsetX(); }
  void SetTrackOffsetX(int v) { Model_.SetTrackOffsetX(v); }
  int SegOffsetY() const { return Model_.SegOffsetY(); }
  void SetSegOffsetY(int v) { Model_.SetSegOffsetY(v); }
  int MarginOffsetX() const { return Model_.MarginOffsetX(); }
  void SetMarginOffsetX(int v) { Model_.SetMarginOffsetX(v); }
  int TrackLeftOffset() const { return Model_.TrackLeftOffset(); }
  void SetTrackLeftOffset(int v) { Model_.SetTrackLeftOffset(v); }
  int TrackRightOffset() const { return Model_.TrackRightOffset(); }
  void SetTrackRightOffset(int v) { Model_.SetTrackRightOffset(v); }

  TColor BGColor() const { return Model_.BGColor(); }
  void SetBGColor(TColor c) { Model_.SetBGColor(c); }
  TArgb LeftBrushColor() const { return Model_.LeftBrushColor(); }
  void SetLeftBrushColor(TArgb c) { Model_.SetLeftBrushColor(c); }
  TArgb RightBrushColor() const { return Model_.RightBrushColor(); }
  void SetRightBrushColor(TArgb c) { Model_.SetRightBrushColor(c); }
  TColor StartCutTransparency() const { return Model_.Transparency(TTrackbarModel::kcStartCut); }
  void SetStartCutTransparency(TColor c) { Model_.SetTransparency(TTrackbarModel::kcStartCut, c); }
  TColor EndCutTransparency() const { return Model_.Transparency(TTrackbarModel::kcEndCut); }
  void SetEndCutTransparency(TColor c) { Model_.SetTransparency(TTrackbarModel::kcEndCut, c); }
  TColor SegStartTransparency() const { return Model_.Transparency(TTrackbarModel::kcSegStart); }
  void SetSegStartTransparency(TColor c) { Model_.SetTransparency(TTrackbarModel::kcSegStart, c); }
  TColor SegEndTransparency() const { return Model_.Transparency(TTrackbarModel::kcSegEnd); }
  void SetSegEndTransparency(TColor c) { Model_.SetTransparency(TTrackbarModel::kcSegEnd, c); }
  TColor TickTransparency() const { return Model_.Transparency(TTrackbarModel::kcTick); }
  void SetTickTransparency(TColor c) { Model_.SetTransparency(TTrackbarModel::kcTick, c); }

  enum TPictureId {
    piTickUp, piTickDown, piTickHot, piTickDisable, piTrack,
    piSegmentStart, piSegmentEnd, piBGImage, piStartCut, piEndCut, piCount
  };
  const TKorPicture& Picture(TPictureId id) const { return Pictures_[id]; }
  void SetPicture(TPictureId id, const TKorPicture& picture);

  const TKorPicture& TickUp() const { return Picture(piTickUp); }
  void SetTickUp(const TKorPicture& p) { SetPicture(piTickUp, p); }
  const TKorPicture& TickDown() const { return Picture(piTickDown); }
  void SetTickDown(const TKorPicture& p) { SetPicture(piTickDown, p); }
  const TKorPicture& TickHot() const { return Picture(piTickHot); }
  void SetTickHot(const TKorPicture& p) { SetPicture(piTickHot, p); }
  const TKorPicture& TickDisable() const { return Picture(piTickDisable); }
  void SetTickDisable(const TKorPicture& p) { SetPicture(piTickDisable, p); }
  const TKorPicture& Track() const { return Picture(piTrack); }
  void SetTrack(const TKorPicture& p) { SetPicture(piTrack, p); }
  const TKorPicture& SegmentStart() const { return Picture(piSegmentStart); }
  void SetSegmentStart(const TKorPicture& p) { SetPicture(piSegmentStart, p); }
  const TKorPicture& SegmentEnd() const { return Picture(piSegmentEnd); }
  void SetSegmentEnd(const TKorPicture& p) { SetPicture(piSegmentEnd, p); }
  const TKorPicture& BGImage() const { return Picture(piBGImage); }
  void SetBGImage(const TKorPicture& p) { SetPicture(piBGImage, p); }
  const TKorPicture& StartCut() const { return Picture(piStartCut); }
  void SetStartCut(const TKorPicture& p) { SetPicture(piStartCut, p); }
  const TKorPicture& EndCut() const { return Picture(piEndCut); }
  void SetEndCut(const TKorPicture& p) { SetPicture(piEndCut, p); }

  // The sound overview along the track; an empty one leaves the track plain.
  const TTrackbarEnvelope& Envelope() const { return Model_.Envelope(); }
  void SetEnvelope(TTrackbarEnvelope v) { Model_.SetEnvelope(std::move(v)); }

  // Where the markers are drawn, for telling a marker click from any other.
  QRect SegStartRect() const;
  QRect SegEndRect() const;

  // Pointer state, for callers that draw hints or test the control.
  const TTrackbarPointer& Pointer() const { return Pointer_; }
  const TTrackbarModel& Model() const { return Model_; }

  TNotifyEvent OnChange;
  TNotifyEvent OnStartChange;
  TNotifyEvent OnEndChange;
  TNotifyEvent OnTickChange;
  TMouseEvent OnTickMouseDown;
  TMouseEvent OnTickMouseUp;
  TMouseEvent OnSegStartMouseDown;
  TMouseEvent OnSegStartMouseUp;
  TMouseEvent OnSegendMouseDown;
  TMouseEvent OnSegEndMouseUp;
  // Inherited events, fired before the control's own handling.
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnMouseLeave;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;

 private:
  void Dispatch(TTrackbarEvent e, const TMouseArgs& args);
  void UpdatePictureSizes();
  void Render(QImage& surface) const;
  void DrawEnvelope(QPainter& p, qreal ratio) const;
  void DrawPicture(QPainter& p, TPictureId id, const TRect& where, TArgb key) const;
  const TKorPicture& TickPicture() const;
  void SetPictureSmoothing(QPainter& p) const;

  TTrackbarModel Model_;
  TTrackbarPointer Pointer_{Model_};
  std::array<TKorPicture, piCount> Pictures_;
  QImage Surface_;
};

}  // namespace sw
