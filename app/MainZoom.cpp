// The main window's fine marking: the exact segment kept beside the track bar's whole
// seconds, the zoom view that sets it to the millisecond, and listening at the edits.
#include <QMouseEvent>

#include <algorithm>

#include "KeyMarking.h"
#include "Main.h"
#include "ZoomWindow.h"
#include "app/core/FileInfoText.h"
#include "ui_Main.h"

namespace sw {

namespace {

constexpr int64_t ListenLength = 2000000;  // µs heard after the start or before the end

}  // namespace

void TTuneSnipForm::ConnectZoom() {
  FKeys->OnZoom = [this](bool atEnd) { OpenZoom(atEnd ? SegEndTime() : SegStartTime(), atEnd ? zmEnd : zmStart); };
  FKeys->OnListen = [this](bool atEnd) { ListenAt(atEnd); };
  ui->SnipWave->installEventFilter(this);
}

bool TTuneSnipForm::ZoomEventFilter(QObject* watched, QEvent* e) {
  if (watched != ui->SnipWave || e->type() != QEvent::MouseButtonDblClick || !ui->SnipWave->isEnabled()) return false;
  const QPoint at = static_cast<QMouseEvent*>(e)->position().toPoint();
  if (ui->SnipWave->SegStartRect().contains(at)) OpenZoom(SegStartTime(), zmStart);
  else if (ui->SnipWave->SegEndRect().contains(at)) OpenZoom(SegEndTime(), zmEnd);
  else OpenZoom(ui->SnipWave->Position() * 1000000, zmStart);
  return true;
}

void TTuneSnipForm::PrepareZoom() {
  if (FSourceDuration <= 0) return;  // nothing opened, or a length the reader does not know
  if (!FZoom) {
    FZoom = std::make_unique<TZoomWindow>(this);
    FZoom->View().OnSegmentChange = [this](int64_t start, int64_t end) { ZoomSegmentChange(start, end); };
    FZoom->View().OnListen = [this](TZoomListen what) { ListenAt(what == zlBeforeEnd); };
    FZoomFile.clear();
  }
  if (FZoomFile != FSourceFile) {
    FZoomFile = FSourceFile;
    FZoom->SetFile(FSourceFile, FSourceDuration);
  }
}

void TTuneSnipForm::OpenZoom(int64_t centre, TZoomMarker active) {
  PrepareZoom();
  if (!FZoom || FSourceDuration <= 0) return;
  FZoom->SetSegment(SegStartTime(), SegEndTime());
  FZoom->ShowAt(centre, active);
}

int64_t TTuneSnipForm::SegStartTime() const {
  const int64_t bar = ui->SnipWave->SegStartPos();
  return FSegStartTime / 1000000 == bar ? FSegStartTime : bar * 1000000;
}

int64_t TTuneSnipForm::SegEndTime() const {
  const int64_t bar = ui->SnipWave->SegEndPos();
  return FSegEndTime / 1000000 == bar ? FSegEndTime : bar * 1000000;
}

void TTuneSnipForm::SegmentFromBar() {
  FSegStartTime = ui->SnipWave->SegStartPos() * 1000000;
  FSegEndTime = ui->SnipWave->SegEndPos() * 1000000;
  ShowSegment();
}

void TTuneSnipForm::ShowSegment() {
  ui->lblStartTime->setText(QString::fromStdString(FormatSegmentTime(SegStartTime())));
  ui->lblEndTime->setText(QString::fromStdString(FormatSegmentTime(SegEndTime())));
  if (FZoom) FZoom->SetSegment(SegStartTime(), SegEndTime());
}

void TTuneSnipForm::ZoomSegmentChange(int64_t start, int64_t end) {
  FSegStartTime = start;
  FSegEndTime = end;
  // The bar shows the whole seconds the exact times lie in; its setters fire no change.
  TKorTrackbar& bar = *ui->SnipWave;
  bar.SetSegEndPos(bar.Max());
  bar.SetSegStartPos(start / 1000000);
  bar.SetSegEndPos(end / 1000000);
  ShowSegment();
}

void TTuneSnipForm::ListenAt(bool atEnd) {
  const int64_t start = SegStartTime(), end = SegEndTime();
  if (end <= start) return;
  if (atEnd) PlayFrom(std::max(start, end - ListenLength), end);
  else PlayFrom(start, std::min(end, start + ListenLength));
}

}  // namespace sw
