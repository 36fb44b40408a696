// Fine marking in the window: the zoom view opened from the track bar sets the segment to
// the millisecond, the labels, the run log and the cut follow it exactly, and the edits
// can be heard through the window's player.
#include <QLabel>
#include <QPushButton>

#include <cmath>

#include "../media/engine/DecodeFile.h"
#include "../media/waveform/WaveFixtures.h"
#include "WindowRig.h"
#include "app/KeyMarking.h"
#include "media/player/FFPlay.h"
#include "widgets/trackbar/KorTrackbar.h"
#include "widgets/zoom/ZoomView.h"

using namespace sw;
using namespace window_rig;

namespace {

constexpr int Rate = 48000;  // 12.345 s is a whole count of samples at this rate

// 20 s of a steady tone at 48 kHz.
QString ToneWav(const TRig& rig) {
  const std::string wav = rig.Dir.File("tone.wav");
  WriteWav(wav, Rate, 2, int64_t{Rate} * 20, [](int64_t i, double* ch) { ch[0] = ch[1] = Sine(0.3, 440, i, Rate); });
  return QString::fromStdString(wav);
}

TZoomView* ZoomView(const TRig& rig) { return rig.Window->findChild<TZoomView*>("ZoomView"); }

}  // namespace

class ZoomMarkingTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { qputenv("SDL_AUDIODRIVER", "dummy"); }

  void aStartMarkerAtTwelvePointThreeFourFiveIsCutExactlyThere() {
    TRig rig;
    rig.Show();
    rig.Open(ToneWav(rig));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QVERIFY(ZoomView(rig) && !ZoomView(rig)->isVisible());  // made at the opening, shown by Z
    QTest::keyClick(bar, Qt::Key_Z);
    TZoomView* view = ZoomView(rig);
    QVERIFY(view && view->isVisible());
    QCOMPARE(view->ActiveMarker(), zmStart);
    QCOMPARE(view->SegEnd(), int64_t{20000000});

    view->MoveMarker(zmStart, 12345000);
    QCOMPARE(bar->SegStartPos(), 12);  // the bar shows the second it lies in
    QCOMPARE(bar->SegEndPos(), 20);
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString("00:00:12.345"));
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString("00:00:20"));
    QCOMPARE(rig.Get<QLabel>("lblZoomTimes")->text(), QString("Start 00:00:12.345    End 00:00:20    Length 00:00:07.655"));

    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.File("out")));
    rig.Get<QLineEdit>("tFileName")->setText("clip");
    auto* publish = rig.Get<QPushButton>("BtnPublish");
    TBoxAnswer box(QMessageBox::Cancel);
    QTest::mouseClick(publish, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(publish->isEnabled() && box.Count == 1, 30000);
    QVERIFY(rig.Log().contains("I Begin Time:00:00:12.345"));
    QVERIFY(rig.Log().contains("I End Time:00:00:20"));
    TDecodedAudio audio;
    QVERIFY(DecodeFile(rig.Dir.File("out/clip.mp3"), audio));
    QCOMPARE(audio.SampleRate, Rate);
    QCOMPARE(audio.Frames(), int64_t{(20000 - 12345) * Rate / 1000});

    // A drag on the bar's start marker puts the start on its whole seconds again.
    QTest::keyClick(bar, Qt::Key_BracketLeft);  // the start at the thumb, which the segment held at 12
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString("00:00:12"));
    QCOMPARE(view->SegStart(), int64_t{12000000});
  }

  void aDoubleClickOnTheEndMarkerOpensTheViewThereAndItsKeysAreListed() {
    TRig rig;
    rig.Show();
    rig.Open(ToneWav(rig));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QTest::mouseDClick(bar, Qt::LeftButton, {}, bar->SegEndRect().center());
    TZoomView* view = ZoomView(rig);
    QVERIFY(view && view->isVisible());
    QCOMPARE(view->ActiveMarker(), zmEnd);
    QVERIFY(view->ViewStart() < 20000000 && view->ViewStart() + view->Span() >= 20000000);
    QTest::keyClick(view, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString("00:00:19.999"));
    QCOMPARE(bar->SegEndPos(), 19);
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!view->window()->isVisible());
    QVERIFY(QString(TKeyMarking::KeysText).contains("Double click\tzoom view at a marker or the position"));
  }

  void listeningPlaysTheTwoSecondsAfterTheStartAndStopsByItself() {
    TRig rig;
    rig.Show();
    rig.Open(ToneWav(rig));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QTest::keyClick(bar, Qt::Key_Z);
    TZoomView* view = ZoomView(rig);
    view->MoveMarker(zmStart, 12345000);
    TFFPlayer& player = rig.Window->Player();
    QList<int64_t> reported;
    const TPositionEvent window = player.OnPosition;
    // The reports the window took (those from before the seek it drops) reach the view.
    player.OnPosition = [&](TCustomPlayer* sender, int64_t apts) {
      window(sender, apts);
      if (view->PlayPosition() == apts) reported << apts;
    };
    QTest::keyClick(view, Qt::Key_S);
    QVERIFY(player.Playing());
    QTRY_VERIFY_WITH_TIMEOUT(!player.Playing(), 8000);
    QVERIFY(!reported.isEmpty());
    const int64_t first = *std::min_element(reported.begin(), reported.end());
    const int64_t last = *std::max_element(reported.begin(), reported.end());
    QVERIFY2(first >= 12345000 - 30000, qPrintable(QString::number(first)));
    QVERIFY2(last >= 14000000 && last < 14345000 + 400000, qPrintable(QString::number(last)));
  }
};

QTEST_MAIN(ZoomMarkingTest)
#include "ZoomMarkingTest.moc"
