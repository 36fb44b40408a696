#include "KorTrackbar.h"
#include "TrackbarQtTypes.h"

#include <QEvent>
#include <QResizeEvent>

namespace sw {

namespace {

const char* const kDefaultPictures[] = {
    "TickUp", "TickDown", "TickHot", "TickDisable", "Track",
    "SegmentStart", "SegmentEnd", nullptr, "StartCut", "EndCut",
};
static_assert(std::size(kDefaultPictures) == TKorTrackbar::piCount);

}  // namespace

TKorTrackbar::TKorTrackbar(QWidget* parent) : QWidget(parent) {
  for (int id = 0; id < piCount; ++id) {
    if (kDefaultPictures[id] == nullptr) continue;
    Pictures_[id] = TKorPicture::FromFile(QStringLiteral(":/trackbar/") + kDefaultPictures[id]);
  }
  Model_.Notify = [this](TTrackbarEvent e, const TMouseArgs& args) { Dispatch(e, args); };
  Model_.Repaint = [this] { update(); };
  setFocusPolicy(Qt::ClickFocus);
  setMouseTracking(true);
  resize(400, 40);
  UpdatePictureSizes();
  Model_.Resize(width());
}

TKorTrackbar::~TKorTrackbar() {
  // The hooks capture this; nothing may call them while the widget is torn down.
  Model_.Notify = nullptr;
  Model_.Repaint = nullptr;
}

void TKorTrackbar::Dispatch(TTrackbarEvent e, const TMouseArgs& a) {
  const auto notify = [this](const TNotifyEvent& handler) {
    if (handler) handler(this);
  };
  const auto mouse = [this, &a](const TMouseEvent& handler) {
    if (handler) handler(this, a.Button, a.Shift, a.X, a.Y);
  };
  switch (e) {
    case teChange: notify(OnChange); break;
    case teTickChange: notify(OnTickChange); break;
    case teStartChange: notify(OnStartChange); break;
    case teEndChange: notify(OnEndChange); break;
    case teTickMouseDown: mouse(OnTickMouseDown); break;
    case teTickMouseUp: mouse(OnTickMouseUp); break;
    case teSegStartMouseDown: mouse(OnSegStartMouseDown); break;
    case teSegStartMouseUp: mouse(OnSegStartMouseUp); break;
    case teSegEndMouseDown: mouse(OnSegendMouseDown); break;
    case teSegEndMouseUp: mouse(OnSegEndMouseUp); break;
  }
}

void TKorTrackbar::SetPicture(TPictureId id, const TKorPicture& picture) {
  Pictures_[id] = picture;
  UpdatePictureSizes();
  update();
}

void TKorTrackbar::UpdatePictureSizes() {
  TPictureSizes s;
  s.Tick = Pictures_[piTickUp].Size();
  s.SegStart = Pictures_[piSegmentStart].Size();
  s.SegEnd = Pictures_[piSegmentEnd].Size();
  s.StartCut = Pictures_[piStartCut].Size();
  s.EndCut = Pictures_[piEndCut].Size();
  s.TrackHeight = Pictures_[piTrack].Size().Height;
  // Once the window exists this lays out again, so a new picture is measured at once.
  Model_.SetPictureSizes(s);
}

QRect TKorTrackbar::SegStartRect() const { return ToQRect(Model_.SegStartRect()); }
QRect TKorTrackbar::SegEndRect() const { return ToQRect(Model_.SegEndRect()); }

bool TKorTrackbar::event(QEvent* e) {
  // Polishing comes just before the first show or grab: the point where the window exists.
  if (e->type() == QEvent::Polish && !Model_.WindowReady()) {
    Model_.Resize(width());
    Model_.CreateWindow();
  }
  return QWidget::event(e);
}

void TKorTrackbar::resizeEvent(QResizeEvent* e) {
  Surface_ = QImage();  // made again at the new size by the next paint
  Model_.Resize(e->size().width());
  QWidget::resizeEvent(e);
}

void TKorTrackbar::changeEvent(QEvent* e) {
  if (e->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(e);
}

}  // namespace sw
