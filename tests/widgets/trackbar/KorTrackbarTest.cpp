#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QtTest>

#include <vector>

#include "KorTrackbar.h"
#include "TrackbarGrab.h"

using namespace sw;
using sw::test::PixelAt;
using sw::test::SaveForReview;

namespace {

// Records the order in which the control's events arrive, with the values they saw.
struct Journal {
  QStringList Events;

  void Watch(TKorTrackbar& t) {
    const auto note = [this](const char* name) {
      return [this, name](TKorTrackbar*) { Events << name; };
    };
    const auto mouse = [this](const char* name) {
      return [this, name](TKorTrackbar*, TMouseButton, TShiftState, int, int) { Events << name; };
    };
    t.OnChange = note("Change");
    t.OnTickChange = note("TickChange");
    t.OnStartChange = note("StartChange");
    t.OnEndChange = note("EndChange");
    t.OnTickMouseDown = mouse("TickMouseDown");
    t.OnTickMouseUp = mouse("TickMouseUp");
    t.OnSegStartMouseDown = mouse("SegStartMouseDown");
    t.OnSegStartMouseUp = mouse("SegStartMouseUp");
    t.OnSegendMouseDown = mouse("SegEndMouseDown");
    t.OnSegEndMouseUp = mouse("SegEndMouseUp");
    t.OnMouseDown = mouse("MouseDown");
    t.OnMouseUp = mouse("MouseUp");
    t.OnMouseMove = [this](TKorTrackbar*, TShiftState, int, int) { Events << "MouseMove"; };
  }
};

void Send(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent e(type, at, w.mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(&w, &e);
}
void Press(QWidget& w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonPress, at, b, b);
}
void Drag(QWidget& w, QPoint to) { Send(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton); }
void Release(QWidget& w, QPoint at, Qt::MouseButton b = Qt::LeftButton) {
  Send(w, QEvent::MouseButtonRelease, at, b, Qt::NoButton);
}

// Built-in pictures, 400 wide: track 9..391. Range 0..382 makes one value one pixel.
void Prepare(TKorTrackbar& t, qint64 start, qint64 end, qint64 position) {
  t.show();
  QVERIFY(QTest::qWaitForWindowExposed(&t));
  t.SetMax(382);
  t.SetSegEndPos(end);
  t.SetSegStartPos(start);
  t.SetPosition(position);
}

}  // namespace

class KorTrackbarTest : public QObject {
  Q_OBJECT

 private slots:
  void builtInPicturesHaveTheirSizes() {
    TKorTrackbar t;
    QCOMPARE(t.size(), QSize(400, 40));
    for (auto id : {TKorTrackbar::piTickUp, TKorTrackbar::piTickDown, TKorTrackbar::piTickHot,
                    TKorTrackbar::piTickDisable, TKorTrackbar::piSegmentStart, TKorTrackbar::piSegmentEnd}) {
      QCOMPARE(t.Picture(id).Size().Width, 9);
      QCOMPARE(t.Picture(id).Size().Height, 17);
      QCOMPARE(t.Picture(id).Image2x().size(), QSize(18, 34));
    }
    QCOMPARE(t.StartCut().Size().Width, 11);
    QCOMPARE(t.EndCut().Size().Height, 9);
    QCOMPARE(t.Track().Size().Width, 366);
    QVERIFY(t.BGImage().IsEmpty());
    const TKorPicture window = TKorPicture::FromFile(":/trackbar/window/SegmentStart");
    QCOMPARE(window.Size().Width, 16);
    QCOMPARE(window.Size().Height, 16);
  }

  void layoutWaitsForTheWindow() {
    TKorTrackbar t;
    t.SetMax(382);
    t.SetPosition(100);
    QCOMPARE(t.TrackOffsetX(), 0);
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    QCOMPARE(t.TrackOffsetX(), 9);
    QCOMPARE(t.Model().TickX(), 109);
  }

  void startMarkerPushesTheThumbAndStopsAtTheEndMarker() {
    TKorTrackbar t;
    Prepare(t, 100, 300, 150);
    Journal j;
    j.Watch(t);
    Press(t, {105, 28});
    Drag(t, {200, 28});
    QCOMPARE(t.SegStartPos(), 191);
    QCOMPARE(t.Position(), 191);
    Drag(t, {380, 28});
    QCOMPARE(t.SegStartPos(), 300);
    QCOMPARE(t.Position(), 300);
    QCOMPARE(t.SegEndPos(), 300);
    QCOMPARE(t.Pointer().SegStartLook(), elPressed);
    Release(t, {380, 28});
    QCOMPARE(t.Pointer().SegStartLook(), elNormal);
    QCOMPARE(j.Events, QStringList({"MouseDown", "SegStartMouseDown", "MouseMove", "StartChange",
                                    "MouseMove", "StartChange", "MouseUp", "SegStartMouseUp"}));
  }

  void thumbStopsAtTheEndMarkerAndAtTheTrackEnd() {
    TKorTrackbar t;
    Prepare(t, 100, 300, 150);
    Journal j;
    j.Watch(t);
    Press(t, {159, 28});
    QCOMPARE(t.Pointer().Drag(), deTick);
    Drag(t, {395, 28});
    QCOMPARE(t.Position(), 300);
    Release(t, {395, 28});
    QCOMPARE(j.Events, QStringList({"MouseDown", "TickMouseDown", "MouseMove", "TickChange", "Change",
                                    "MouseUp", "TickMouseUp"}));
    t.SetSegEndPos(382);
    Press(t, {309, 28});
    Drag(t, {399, 28});
    QCOMPARE(t.Model().TickX(), 391);
    QCOMPARE(t.Position(), 382);
  }

  void pressPicksTheElement_data() {
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("drag");
    QTest::newRow("start marker") << QPoint(105, 25) << int(Qt::LeftButton) << int(deSegStart);
    QTest::newRow("end marker") << QPoint(312, 25) << int(Qt::LeftButton) << int(deSegEnd);
    QTest::newRow("thumb") << QPoint(157, 25) << int(Qt::LeftButton) << int(deTick);
    QTest::newRow("track") << QPoint(250, 25) << int(Qt::LeftButton) << int(deTrack);
    QTest::newRow("above the track") << QPoint(250, 10) << int(Qt::LeftButton) << int(deNone);
    QTest::newRow("right button on thumb") << QPoint(157, 25) << int(Qt::RightButton) << int(deNone);
  }

  void pressPicksTheElement() {
    QFETCH(QPoint, at);
    QFETCH(int, button);
    QFETCH(int, drag);
    TKorTrackbar t;
    Prepare(t, 100, 300, 150);
    Journal j;
    j.Watch(t);
    Press(t, at, Qt::MouseButton(button));
    QCOMPARE(int(t.Pointer().Drag()), drag);
    Drag(t, {200, 25});
    Release(t, {200, 25}, Qt::MouseButton(button));
    QCOMPARE(j.Events.first(), QString("MouseDown"));
    if (drag == deNone) {
      QCOMPARE(t.Position(), 150);
      QCOMPARE(t.SegStartPos(), 100);
      QCOMPARE(t.SegEndPos(), 300);
      QCOMPARE(j.Events, QStringList({"MouseDown", "MouseMove", "MouseUp"}));
    }
  }

  void windowHandlersSeeTheStateBeforeTheControlActs() {
    TKorTrackbar t;
    Prepare(t, 100, 300, 150);
    QRect startRectAtPress;
    qint64 positionSeenByMove = -1;
    t.OnMouseDown = [&](TKorTrackbar* s, TMouseButton, TShiftState, int, int) {
      QCOMPARE(s, &t);
      startRectAtPress = s->SegStartRect();
    };
    t.OnMouseMove = [&](TKorTrackbar* s, TShiftState, int, int) { positionSeenByMove = s->Position(); };
    Press(t, {105, 25});
    QCOMPARE(startRectAtPress, QRect(100, 20, 9, 17));
    QCOMPARE(t.SegStartRect(), QRect(96, 20, 9, 17));
    Release(t, {105, 25});
    Press(t, {159, 25});
    Drag(t, {250, 25});
    QCOMPARE(positionSeenByMove, 150);
    QCOMPARE(t.Position(), 241);
  }

  void arrowKeysStayWithTheControl() {
    QWidget parent;
    int keysAtParent = 0;
    struct Catcher : QObject {
      int* Count;
      explicit Catcher(int* c) : Count(c) {}
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) ++*Count;
        return false;
      }
    } catcher(&keysAtParent);
    parent.installEventFilter(&catcher);
    auto* t = new TKorTrackbar(&parent);
    QStringList seen;
    t->OnKeyDown = [&](TKorTrackbar*, int& key, TShiftState) { seen << QString::number(key); };
    for (int key : {int(Qt::Key_Left), int(Qt::Key_Right), int(Qt::Key_Up), int(Qt::Key_Down), int(Qt::Key_A)}) {
      QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(t, &e);
    }
    QCOMPARE(seen.size(), 5);
    QCOMPARE(keysAtParent, 1);
  }

  void hotThumbFollowsThePointer() {
    TKorTrackbar t;
    Prepare(t, 100, 300, 150);
    Send(t, QEvent::MouseMove, {158, 25}, Qt::NoButton, Qt::NoButton);
    QCOMPARE(t.Pointer().TickLook(), elHot);
    const QImage hot = t.grab().toImage();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&t, &leave);
    QCOMPARE(t.Pointer().TickLook(), elNormal);
    QVERIFY(hot != t.grab().toImage());
  }

  void paintsLayersWhereTheModelSays() {
    TKorTrackbar t;
    Prepare(t, 0, 382, 0);
    const QImage plain = t.grab().toImage();
    SaveForReview(plain, "default");
    QCOMPARE(PixelAt(plain, 200, 5), qRgb(255, 255, 255));
    QVERIFY(qGray(PixelAt(plain, 200, 28)) < 220);  // the groove

    t.SetSegStartPos(100);
    t.SetSegEndPos(300);
    t.SetPosition(200);
    const QImage segment = t.grab().toImage();
    SaveForReview(segment, "segment");
    QCOMPARE(PixelAt(segment, 108, 17), qRgb(0x32, 0x65, 0x4C));  // start line
    QCOMPARE(PixelAt(segment, 309, 17), qRgb(0x65, 0x32, 0x4B));  // end line
    const QRgb left = PixelAt(segment, 40, 21);
    const QRgb right = PixelAt(segment, 360, 21);
    QVERIFY(qGreen(left) > qRed(left) && qGreen(left) > qBlue(left));
    QVERIFY(qRed(right) > qGreen(right));
    QCOMPARE(PixelAt(segment, 200, 21), qRgb(255, 255, 255));  // inside the segment: no shade

    Press(t, {209, 28});
    Drag(t, {260, 28});
    const QImage dragging = t.grab().toImage();
    SaveForReview(dragging, "dragging");
    Release(t, {260, 28});

    t.SetShowCut(false);
    QCOMPARE(PixelAt(t.grab().toImage(), 40, 21), qRgb(255, 255, 255));

    t.SetShowCut(true);
    const QImage enabled = t.grab().toImage();
    t.SetEnabled(false);
    const QImage disabled = t.grab().toImage();
    SaveForReview(disabled, "disabled");
    QVERIFY(PixelAt(enabled, 260, 24) != PixelAt(disabled, 260, 24));
  }

  void keyColourHidesAndMarkersBlend() {
    TKorTrackbar t;
    QImage thumb(9, 17, QImage::Format_RGB32);
    thumb.fill(Qt::black);
    thumb.setPixel(4, 8, qRgb(0, 0, 255));
    t.SetTickUp(thumb);
    QImage marker(12, 17, QImage::Format_RGB32);
    marker.fill(Qt::red);
    t.SetSegmentStart(marker);
    Prepare(t, 0, 382, 100);
    QCOMPARE(t.TrackOffsetX(), 12);  // a new marker picture is measured at once
    const int x = t.Model().TickX();
    QImage shot = t.grab().toImage();
    QCOMPARE(PixelAt(shot, x - 4, 21), qRgb(255, 255, 255));  // black keyed out, background shows
    QCOMPARE(PixelAt(shot, x, 28), qRgb(0, 0, 255));
    const QRgb blended = PixelAt(shot, 5, 21);  // 80 % red over white
    QVERIFY(qAbs(qRed(blended) - 255) <= 1 && qAbs(qGreen(blended) - 51) <= 2 && qAbs(qBlue(blended) - 51) <= 2);

    t.SetTickTransparency(0xFF0000);  // blue as 0x00BBGGRR: now the dot goes and black stays
    shot = t.grab().toImage();
    QCOMPARE(PixelAt(shot, x - 4, 21), qRgb(0, 0, 0));
    QCOMPARE(PixelAt(shot, x, 21), qRgb(0, 0, 0));
    QVERIFY(PixelAt(shot, x, 28) != qRgb(0, 0, 255));
  }

  void mainWindowSetLooksRight() {
    TKorTrackbar t;
    QVERIFY(test::ShowWindowLook(t, 205, 40, 150, 100));
    QCOMPARE(t.TrackOffsetX(), 16);
    QCOMPARE(t.Model().TickX(), 119);
    const QImage shot = t.grab().toImage();
    SaveForReview(shot, "window");
    QCOMPARE(PixelAt(shot, 2, 1), qRgb(0xEC, 0xEA, 0xDB));
    t.SetEnabled(false);
    SaveForReview(t.grab().toImage(), "window-disabled");
  }
};

QTEST_MAIN(KorTrackbarTest)
#include "KorTrackbarTest.moc"
