#include <QtTest>

#include "app/KeyMarking.h"

using namespace sw;

namespace {

// A shown track bar of 0..300 s with the segment 100..200 and the thumb at 150, its key
// marking attached, and the events it fires in order.
struct TMarkedBar {
  TKorTrackbar Bar;
  TKeyMarking Keys{Bar};
  QStringList Events;
  int PlayStops = 0;

  TMarkedBar() {
    Bar.resize(400, 40);
    Bar.show();
    Bar.SetMax(300);
    Bar.SetSegEndPos(200);
    Bar.SetSegStartPos(100);
    Bar.SetPosition(150);
    Keys.Attach();
    Keys.OnPlayStop = [this] { ++PlayStops; };
    Bar.OnStartChange = [this](TKorTrackbar*) { Events << "Start"; };
    Bar.OnEndChange = [this](TKorTrackbar*) { Events << "End"; };
    Bar.OnTickChange = [this](TKorTrackbar*) { Events << "Tick"; };
    Bar.OnChange = [this](TKorTrackbar*) { Events << "Change"; };
    Bar.setFocus();
  }
  void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(&Bar, key, mods); }
};

}  // namespace

class KeyMarkingTest : public QObject {
  Q_OBJECT

 private slots:
  void bracketsAndLettersPutTheSegmentEndsAtTheThumb() {
    TMarkedBar m;
    QVERIFY(QTest::qWaitForWindowExposed(&m.Bar));
    m.Press(Qt::Key_Right, Qt::ShiftModifier);  // 160
    m.Press(Qt::Key_BracketLeft);
    QCOMPARE(m.Bar.SegStartPos(), 160);
    m.Press(Qt::Key_Right);  // 161
    m.Press(Qt::Key_BracketRight);
    QCOMPARE(m.Bar.SegEndPos(), 161);
    QCOMPARE(m.Bar.Position(), 161);
    m.Events.clear();
    m.Press(Qt::Key_Left, Qt::ShiftModifier);  // held at the new segment start
    QCOMPARE(m.Bar.Position(), 160);
    m.Press(Qt::Key_N);  // the end comes down to the thumb
    QCOMPARE(m.Bar.SegEndPos(), 160);
    m.Press(Qt::Key_B);
    QCOMPARE(m.Bar.SegStartPos(), 160);
    QCOMPARE(m.Events, QStringList({"Tick", "Change", "End", "Start"}));
  }

  void arrowsHomeAndEndMoveTheThumbInsideTheSegment() {
    TMarkedBar m;
    QVERIFY(QTest::qWaitForWindowExposed(&m.Bar));
    m.Press(Qt::Key_Right);
    QCOMPARE(m.Bar.Position(), 151);
    m.Press(Qt::Key_Left);
    m.Press(Qt::Key_Left);
    QCOMPARE(m.Bar.Position(), 149);
    m.Press(Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(m.Bar.Position(), 159);
    m.Press(Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(m.Bar.Position(), 149);
    m.Press(Qt::Key_End);
    QCOMPARE(m.Bar.Position(), 200);
    m.Press(Qt::Key_Right, Qt::ShiftModifier);  // not past the segment end
    QCOMPARE(m.Bar.Position(), 200);
    m.Press(Qt::Key_Home);
    QCOMPARE(m.Bar.Position(), 100);
    m.Press(Qt::Key_Left);
    QCOMPARE(m.Bar.Position(), 100);
    QCOMPARE(m.Bar.SegStartPos(), 100);
    QCOMPARE(m.Bar.SegEndPos(), 200);
    QCOMPARE(m.Events.count("Tick"), 9);
    QCOMPARE(m.Events.count("Change"), 9);
    QVERIFY(!m.Events.contains("Start") && !m.Events.contains("End"));
  }

  void spacePlaysOrStopsAndOtherKeysPassThrough() {
    TMarkedBar m;
    QVERIFY(QTest::qWaitForWindowExposed(&m.Bar));
    m.Press(Qt::Key_Space);
    m.Press(Qt::Key_Space);
    QCOMPARE(m.PlayStops, 2);
    QVERIFY(!m.Keys.KeyDown(Qt::Key_B, ssCtrl));  // Ctrl and Alt keys belong to the window
    QVERIFY(!m.Keys.KeyDown(Qt::Key_Left, ssAlt));
    QVERIFY(!m.Keys.KeyDown(Qt::Key_X, 0));
    QCOMPARE(m.Bar.SegStartPos(), 100);
    QCOMPARE(m.Bar.Position(), 150);
    m.Keys.OnPlayStop = nullptr;
    m.Press(Qt::Key_Space);  // nothing to play with: no fault
    QCOMPARE(m.PlayStops, 2);
  }

  void zoomAndListenKeysAskTheWindowAndPassWithoutIt() {
    TMarkedBar m;
    QVERIFY(QTest::qWaitForWindowExposed(&m.Bar));
    QStringList asked;
    m.Press(Qt::Key_Z);  // nothing attached: the key passes on
    QVERIFY(!m.Keys.KeyDown(Qt::Key_S, 0));
    m.Keys.OnZoom = [&](bool atEnd) { asked << (atEnd ? "zoom end" : "zoom start"); };
    m.Keys.OnListen = [&](bool atEnd) { asked << (atEnd ? "listen end" : "listen start"); };
    m.Press(Qt::Key_Z);
    m.Press(Qt::Key_Z, Qt::ShiftModifier);
    m.Press(Qt::Key_S);
    m.Press(Qt::Key_E);
    QCOMPARE(asked, QStringList({"zoom start", "zoom end", "listen start", "listen end"}));
    QCOMPARE(m.Bar.Position(), 150);
  }

  void disabledBarOrNoSegmentIgnoresMarking() {
    TMarkedBar m;
    QVERIFY(QTest::qWaitForWindowExposed(&m.Bar));
    m.Bar.SetEnabled(false);
    QVERIFY(!m.Keys.KeyDown(Qt::Key_Right, 0));
    QVERIFY(!m.Keys.KeyDown(Qt::Key_BracketLeft, 0));
    QCOMPARE(m.Bar.Position(), 150);
    m.Bar.SetEnabled(true);
    m.Bar.SetShowSegment(false);
    QVERIFY(!m.Keys.KeyDown(Qt::Key_BracketLeft, 0));
    QVERIFY(m.Keys.KeyDown(Qt::Key_Right, 0));
    QCOMPARE(m.Bar.Position(), 151);
  }

  void keysTextNamesEveryKey() {
    const QString text = TKeyMarking::KeysText;
    for (const char* key : {"Space", "[", "]", "B", "N", "Left", "Right", "Shift+", "Home", "End", "Ctrl+O",
                            "Ctrl+Return", "Z, Shift+Z", "Double click", "Ctrl+Left", "Tab", "Q\t", "Escape"})
      QVERIFY2(text.contains(key), key);
  }
};

QTEST_MAIN(KeyMarkingTest)
#include "KeyMarkingTest.moc"
