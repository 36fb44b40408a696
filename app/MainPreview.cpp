// The main window's preview: playing the file from the thumb, the thumb following the
// sound, the stop at the segment end, the volume slider and the time hint of the track bar.
#include <QMouseEvent>

#include <algorithm>

#include "KorLog.h"
#include "Main.h"
#include "ZoomWindow.h"
#include "app/core/FileInfoText.h"
#include "app/core/VolumeScales.h"
#include "media/base/MyUtils.h"
#include "ui_Main.h"

namespace sw {

namespace {

QString ClockText(int64_t seconds) { return QString::fromStdString(FormatSeconds(seconds)); }

}  // namespace

void TTuneSnipForm::ConnectPreview() {
  connect(ui->BtnPlay, &QPushButton::clicked, this, &TTuneSnipForm::BtnPlayClick);
  connect(ui->BtnStop, &QPushButton::clicked, this, &TTuneSnipForm::BtnStopClick);
  connect(ui->BtnRestore, &QPushButton::clicked, this, &TTuneSnipForm::BtnRestoreClick);
  connect(ui->tbVolume, &QSlider::valueChanged, this, &TTuneSnipForm::tbVolumeChange);
  ui->BtnVolume->installEventFilter(this);
  ui->tbVolume->installEventFilter(this);

  TKorTrackbar& bar = *ui->SnipWave;
  bar.OnMouseDown = [this](TKorTrackbar*, TMouseButton, TShiftState, int x, int y) { SnipWaveMouseDown(x, y); };
  bar.OnMouseMove = [this](TKorTrackbar*, TShiftState, int x, int y) { SnipWaveMouseMove(x, y); };
  bar.OnMouseUp = [this](TKorTrackbar*, TMouseButton, TShiftState, int, int) { SnipWaveMouseUp(); };
  bar.OnTickChange = [this](TKorTrackbar*) { SnipWaveTickChange(); };

  // Reports reach this thread through the main-thread queue; none is handled once the
  // window closes.
  FFPlayer.SetTriggerEventInMainThread(true);
  FFPlayer.OnPosition = [this](TCustomPlayer*, int64_t APTS) {
    if (!FClosing) FFPlayerPosition(APTS);
  };
}

bool TTuneSnipForm::PreviewEventFilter(QObject* watched, QEvent* e) {
  if (watched == ui->BtnVolume && e->type() == QEvent::MouseButtonPress)
    btnVolumeMouseDown(static_cast<int>(static_cast<QMouseEvent*>(e)->position().x()));
  if (watched == ui->tbVolume && e->type() == QEvent::Leave) tbVolumeMouseLeave();
  return false;
}

// ---- Play, Stop, Restore ----

void TTuneSnipForm::BtnPlayClick() { PlayPreview(); }

void TTuneSnipForm::PlayPreview() { PlayFrom(ui->SnipWave->Position() * 1000000, -1); }

void TTuneSnipForm::PlayFrom(int64_t from, int64_t until) {
  const std::string path = ui->btnOpenFile->text().toStdString();
  if (!WideFileExists(path)) {
    ShowFileMessage("\"" + path + "\" do not exist.");
    return;
  }
  if (!FFPlayer.LibrariesReady() && !FFPlayer.LoadLibrariesFrom(FProgramFolder)) {
    ShowFileMessage(FFPlayer.ErrorText());
    if (RunLog) RunLog->WriteError("Failed to load audio library, error message: " + FFPlayer.ErrorText());
    return;
  }
  FFPlayer.SetDisableAudio(false);
  FFPlayer.SetDisableVideo(false);
  // Only the sound is previewed: the player draws nothing, for the window or beside it.
  FFPlayer.SetDisableDisplay(true);
  FFPlayer.SetVideoFilterText("");
  FFPlayer.SetAudioVolume(PreviewStartVolume(ui->tbVolume->value()));
  if (!FFPlayer.OpenMedia(path, winId(), true)) {
    ShowFileMessage(FFPlayer.ErrorText());
    return;
  }
  FPlayFrom = from;
  FPlayUntil = until;
  FFPlayer.Seek(0, false, FPlayFrom);
  FFPlayer.Resume();
}

void TTuneSnipForm::BtnStopClick() { StopPlayer(); }

void TTuneSnipForm::BtnRestoreClick() { RestoreSegment(); }

void TTuneSnipForm::PlayOrStop() {
  if (FFPlayer.Playing()) BtnStopClick();
  else BtnPlayClick();
}

// ---- Volume ----

void TTuneSnipForm::btnVolumeMouseDown(int x) {
  QSlider* slider = ui->tbVolume;
  QWidget* button = ui->BtnVolume;
  if (slider->parentWidget() != button->parentWidget()) slider->setParent(button->parentWidget());
  slider->setOrientation(Qt::Vertical);
  slider->setTickPosition(QSlider::NoTicks);
  slider->resize(30, slider->height());
  // The slider's bottom on the button's bottom, under the pointer.
  slider->move(x + button->x() - 5, button->y() + button->height() - slider->height());
  slider->show();
  slider->setFocus(Qt::MouseFocusReason);
  slider->raise();
}

void TTuneSnipForm::tbVolumeChange() { FFPlayer.SetAudioVolume(PreviewVolume(ui->tbVolume->value())); }

void TTuneSnipForm::tbVolumeMouseLeave() { ui->tbVolume->hide(); }

// ---- The thumb following the sound ----

void TTuneSnipForm::FFPlayerPosition(int64_t APTS) {
  // A report sent before a press paused the player must not take the thumb from the pointer.
  if (FThumbHeld) return;
  if (FPlayFrom >= 0) {
    if (APTS < FPlayFrom) return;
    FPlayFrom = -1;
  }
  if (FZoom) FZoom->View().SetPlayPosition(APTS);
  TKorTrackbar& bar = *ui->SnipWave;
  bar.SetPosition(APTS / 1000000);  // clamped into the segment
  // The exact segment end, or a listen's end; the thumb held at the end stops it too.
  const int64_t stopAt = FPlayUntil >= 0 ? FPlayUntil : SegEndTime();
  if (APTS >= stopAt || bar.Position() * 1000000 >= stopAt) BtnStopClick();
}

// ---- The track bar's pointer and the time hint ----

bool TTuneSnipForm::OnMarker(int x, int y) const {
  return ui->SnipWave->SegStartRect().contains(x, y) || ui->SnipWave->SegEndRect().contains(x, y);
}

void TTuneSnipForm::PlaceHint(int x, int y) {
  // Ten pixels right of and below the pointer, kept inside the group so it is never cut off.
  const TKorTrackbar& bar = *ui->SnipWave;
  QWidget* hint = ui->pnlHintTime;
  const QWidget* group = hint->parentWidget();
  const int left = std::clamp(x + bar.x() + 10, 0, std::max(0, group->width() - hint->width()));
  const int top = std::clamp(y + bar.y() + 10, 0, std::max(0, group->height() - hint->height()));
  hint->move(left, top);
}

void TTuneSnipForm::SnipWaveMouseDown(int x, int y) {
  QLabel* hint = ui->pnlHintTime;
  if (hint->parentWidget() != ui->SnipWave->parentWidget()) hint->setParent(ui->SnipWave->parentWidget());
  PlaceHint(x, y);
  if (!OnMarker(x, y)) {
    FThumbHeld = true;
    FFPlayer.Pause();
    SnipWaveMouseMove(x, y);
  }
  hint->show();
  hint->raise();
}

void TTuneSnipForm::SnipWaveMouseMove(int x, int y) {
  PlaceHint(x, y);
  if (!OnMarker(x, y)) ui->pnlHintTime->setText(ClockText(ui->SnipWave->Position()));
}

void TTuneSnipForm::SnipWaveTickChange() {
  // The move handler ran before the thumb moved; the hint catches up with it here.
  if (FThumbHeld) ui->pnlHintTime->setText(ClockText(ui->SnipWave->Position()));
}

void TTuneSnipForm::SnipWaveMouseUp() {
  FThumbHeld = false;
  FPlayFrom = -1;  // the player reports nothing between this seek and its sound
  FPlayUntil = -1;  // on to the segment end
  FFPlayer.Seek(0, false, ui->SnipWave->Position() * 1000000);
  FFPlayer.Resume();
  ui->pnlHintTime->hide();
}

}  // namespace sw
