#include "ZoomWindow.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/core/FileInfoText.h"

namespace sw {

TZoomWindow::TZoomWindow(QWidget* owner) : QWidget(owner, Qt::Window), FView(new TZoomView(this)), FTimes(new QLabel(this)) {
  setWindowTitle("Zoom");
  setObjectName("ZoomWindow");
  FView->setObjectName("ZoomView");
  FTimes->setObjectName("lblZoomTimes");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(FView, 1);
  layout->addWidget(FTimes);
  resize(820, 240);

  FView->OnNeedSound = [this](int64_t from, int64_t to) { FJob.Request(from, to); };
  // Spans arrive on the job's thread and are handed over in posted calls; one of the file
  // before is dropped.
  FJob.OnSpan = [this](int64_t, int64_t, const TSpan& span) {
    TZoomSound sound;
    sound.SampleRate = span.SampleRate;
    sound.FirstSample = span.FirstSample;
    sound.Samples = std::make_shared<const std::vector<float>>(span.Samples);
    const int run = FRun;
    QMetaObject::invokeMethod(this, [this, run, sound = std::move(sound)]() mutable {
        if (run == FRun) FView->SetSound(std::move(sound));
      }, Qt::QueuedConnection);
  };
}

TZoomWindow::~TZoomWindow() { FJob.Cancel(); }

void TZoomWindow::SetFile(const std::string& fileName, int64_t duration) {
  ++FRun;
  FJob.SetFile(fileName);
  FView->SetSound({});
  FView->SetDuration(duration);
}

void TZoomWindow::ShowAt(int64_t centre, TZoomMarker active) {
  FView->SetActiveMarker(active);
  FView->ShowAround(centre);
  show();
  raise();
  activateWindow();
  FView->setFocus(Qt::OtherFocusReason);
}

void TZoomWindow::SetSegment(int64_t start, int64_t end) {
  FView->SetSegment(start, end);
  ShowTimes();
}

void TZoomWindow::ShowTimes() {
  const int64_t start = FView->SegStart(), end = FView->SegEnd();
  FTimes->setText(QString::fromStdString("Start " + FormatSegmentTime(start) + "    End " + FormatSegmentTime(end) +
                                         "    Length " + FormatSegmentTime(end - start)));
}

void TZoomWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape) close();
  else QWidget::keyPressEvent(e);
}


}  // namespace sw
