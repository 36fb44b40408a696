// The window's preview with the real player, sound going to SDL's disk or dummy driver.
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>

#include <algorithm>

#include "WindowRig.h"
#include "app/core/FileInfoText.h"
#include "media/player/FFPlay.h"
#include "widgets/trackbar/KorTrackbar.h"

using namespace sw;
using namespace window_rig;

namespace {

QString Clock(int64_t seconds) { return QString::fromStdString(FormatSeconds(seconds)); }

// The sound goes to a file that is written as fast as the player decodes (delayMs per
// buffer), or to the dummy driver, which keeps real time.
void UseDiskSound(const TTempDir& dir, const char* delayMs) {
  qputenv("SDL_AUDIODRIVER", "disk");
  qputenv("SDL_DISKAUDIOFILE", QByteArray::fromStdString(dir.File("sound.raw")));
  qputenv("SDL_DISKAUDIODELAY", delayMs);
}
void UseRealTimeSound() { qputenv("SDL_AUDIODRIVER", "dummy"); }

// The window's position handler, with every report and the thumb after it kept.
struct TPositions {
  TFFPlayer& Player;
  TPositionEvent Window;
  QList<int64_t> Reported, Thumbs;

  TPositions(TRig& rig) : Player(rig.Window->Player()), Window(Player.OnPosition) {
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    Player.OnPosition = [this, bar](TCustomPlayer* sender, int64_t apts) {
      Reported << apts;
      Window(sender, apts);
      Thumbs << bar->Position();
    };
  }
};

QPoint Center(const TRect& r) { return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }

// Plays the 24 s fixture from a thumb at 3 s and waits for the thumb to follow the sound.
void PlayFromThree(TRig& rig) {
  rig.Open(TestData("vbr-noheader.mp3"));
  auto* bar = rig.Get<TKorTrackbar>("SnipWave");
  bar->SetPosition(3);
  QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
  QVERIFY(rig.Window->Player().Playing());
  QTRY_VERIFY_WITH_TIMEOUT(bar->Position() >= 4, 10000);
}

}  // namespace

class PreviewTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(FSettings.Path()));
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(FCache.Path()));
  }

  // First: the sound library is not loaded yet in this process.
  void aSoundLibraryThatCannotLoadIsShownAndLogged() {
    TRig rig;
    rig.Show();
    rig.Open(TestData("vbr-noheader.mp3"));
    const std::string broken = rig.Dir.Write("libSDL2-2.0.so.0", "not a library");
    const QStringList logBefore = rig.Log();
    TBoxAnswer box(QMessageBox::Ok);
    QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
    QCOMPARE(box.Count, 1);
    QVERIFY2(box.Text.startsWith("Load library " + QString::fromStdString(broken) + " error: "), qPrintable(box.Text));
    QCOMPARE(rig.Log(), logBefore + QStringList({"E Failed to load audio library, error message: " + box.Text}));
    QVERIFY(!rig.Window->Player().Playing());
  }

  void playFollowsTheSoundAndStopsAtTheSegmentEnd() {
    TRig rig;
    rig.Show();
    UseDiskSound(rig.Dir, "4");
    rig.Open(TestData("vbr-noheader.mp3"));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    bar->SetSegEndPos(8);
    bar->SetPosition(3);
    TPositions positions(rig);
    TFFPlayer& player = rig.Window->Player();
    QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
    QVERIFY(player.Playing());
    QCOMPARE(player.State(), psResume);
    QVERIFY(player.DisableDisplay());
    QTRY_VERIFY_WITH_TIMEOUT(!player.Playing() && player.State() == psStop, 20000);
    QCOMPARE(bar->Position(), 8);

    // The sound started at the thumb and moved it step by step to the segment end,
    // where the playback stopped by itself.
    QVERIFY(positions.Thumbs.size() >= 3);
    QVERIFY2(positions.Thumbs.first() >= 3 && positions.Thumbs.first() <= 4, qPrintable(QString::number(positions.Thumbs.first())));
    QVERIFY(std::is_sorted(positions.Thumbs.begin(), positions.Thumbs.end()));
    QCOMPARE(positions.Thumbs.last(), 8);
    QVERIFY2(*std::max_element(positions.Reported.begin(), positions.Reported.end()) < 11000000,
             "played on past the segment end");
    QCOMPARE(rig.Get<QLabel>("pnlHintTime")->isVisible(), false);
  }

  void aReportFromBeforeTheSeekLeavesTheThumb() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    rig.Open(TestData("vbr-noheader.mp3"));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    bar->SetPosition(5);
    TFFPlayer& player = rig.Window->Player();
    QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
    // The file stood opened at its start for a moment before the seek: a report of that
    // time may come first (it does on a slow machine), and must not pull the thumb back.
    player.OnPosition(&player, 0);
    QCOMPARE(bar->Position(), 5);
    player.OnPosition(&player, 4900000);
    QCOMPARE(bar->Position(), 5);
    QTRY_VERIFY_WITH_TIMEOUT(bar->Position() >= 6, 5000);
    // Once the sound from the thumb is reported, the thumb follows every report.
    player.OnPosition(&player, 2000000);
    QCOMPARE(bar->Position(), 2);
  }

  void pressOutsideTheMarkersPausesAndReleaseSeeksThere() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    TPositions positions(rig);
    PlayFromThree(rig);
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    auto* hint = rig.Get<QLabel>("pnlHintTime");
    TFFPlayer& player = rig.Window->Player();

    // A press on the thumb: paused, and the hint shows the thumb's time beside the pointer.
    const QPoint press = Center(bar->Model().TickRect());
    Mouse(bar, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(player.Paused());
    QCOMPARE(player.State(), psPause);
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->parentWidget(), bar->parentWidget());
    QCOMPARE(hint->pos(), press + bar->pos() + QPoint(10, 10));
    QCOMPARE(hint->text(), Clock(bar->Position()));

    // Held: nothing is reported and the thumb stays where the pointer holds it.
    QTest::qWait(100);
    const qsizetype reported = positions.Reported.size();
    const int64_t held = player.CurrentPosition(), thumb = bar->Position();
    QTest::qWait(400);
    QCOMPARE(positions.Reported.size(), reported);
    QCOMPARE(player.CurrentPosition(), held);
    QCOMPARE(bar->Position(), thumb);

    // Dragging the thumb: the hint follows the pointer and tells the thumb's time.
    const QPoint to = press + QPoint(bar->Model().PixelOf(12) - bar->Model().PixelOf(thumb), 0);
    for (int step = 1; step <= 4; ++step)
      Mouse(bar, QEvent::MouseMove, press + (to - press) * step / 4, Qt::NoButton, Qt::LeftButton);
    const int64_t target = bar->Position();
    QVERIFY2(target >= 11 && target <= 13, qPrintable(QString::number(target)));
    QCOMPARE(hint->text(), Clock(target));
    QCOMPARE(hint->pos(), to + bar->pos() + QPoint(10, 10));

    // The release: the hint goes, and the sound goes on from the thumb.
    const qsizetype released = positions.Reported.size();
    Mouse(bar, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    QVERIFY(!hint->isVisible());
    QVERIFY(!player.Paused());
    QTRY_VERIFY_WITH_TIMEOUT(positions.Reported.size() > released, 5000);
    const int64_t resumed = positions.Reported[released];
    QVERIFY2(resumed >= target * 1000000 && resumed < (target + 1) * 1000000, qPrintable(QString::number(resumed)));
    QTRY_VERIFY_WITH_TIMEOUT(bar->Position() > target, 5000);
    QTest::mouseClick(rig.Get<QPushButton>("BtnStop"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!player.Playing(), 5000);
  }

  void pressOnAMarkerShowsTheHintAndPlaysOn() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    PlayFromThree(rig);
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    auto* hint = rig.Get<QLabel>("pnlHintTime");
    TFFPlayer& player = rig.Window->Player();
    hint->setText("caption");

    const QPoint press = bar->SegEndRect().center();
    Mouse(bar, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
    QVERIFY(hint->isVisible());
    QVERIFY(!player.Paused());
    QCOMPARE(hint->text(), QString("caption"));
    const int64_t before = bar->Position();
    QTRY_VERIFY_WITH_TIMEOUT(bar->Position() > before, 5000);  // the sound moves the thumb on

    // The marker moves: the hint and the label tell its time.
    Mouse(bar, QEvent::MouseMove, press - QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    QVERIFY(bar->SegEndPos() < 24);
    QCOMPARE(hint->text(), Clock(bar->SegEndPos()));
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), Clock(bar->SegEndPos()));
    Mouse(bar, QEvent::MouseButtonRelease, press - QPoint(40, 0), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!hint->isVisible());
    QVERIFY(player.Playing());
    QVERIFY(!player.Paused());

    // Restore gives the whole file back.
    QTest::mouseClick(rig.Get<QPushButton>("BtnRestore"), Qt::LeftButton);
    QCOMPARE(bar->SegStartPos(), 0);
    QCOMPARE(bar->SegEndPos(), 24);
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString("00:00:00"));
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString("00:00:24"));
  }

  void volumeSliderAndItsTwoScales() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    rig.Open(TestData("vbr-noheader.mp3"));
    TFFPlayer& player = rig.Window->Player();
    auto* slider = rig.Get<QSlider>("tbVolume");
    auto* button = rig.Get<QPushButton>("BtnVolume");
    auto* play = rig.Get<QPushButton>("BtnPlay");

    // Pressing "Volume" puts the slider under the pointer, its bottom on the button's.
    Mouse(button, QEvent::MouseButtonPress, {20, 10}, Qt::LeftButton, Qt::LeftButton);
    Mouse(button, QEvent::MouseButtonRelease, {20, 10}, Qt::LeftButton, Qt::NoButton);
    QVERIFY(slider->isVisible());
    QCOMPARE(slider->parentWidget(), button->parentWidget());
    QCOMPARE(slider->geometry().left(), 20 + button->x() - 5);
    QCOMPARE(slider->geometry().bottom(), button->geometry().bottom());
    QCOMPARE(slider->width(), 30);
    QVERIFY(slider->hasFocus());

    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(player.AudioVolume(), 70 * 204 / 100);  // 142
    slider->setValue(100);
    QCOMPARE(player.AudioVolume(), 255);
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(player.AudioVolume(), 204);
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Down);
    QCOMPARE(slider->value(), 99);
    QCOMPARE(player.AudioVolume(), 252);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(slider, &leave);
    QVERIFY(!slider->isVisible());
  }

  void failuresShowTheirBoxes() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    TFFPlayer& player = rig.Window->Player();
    // A file deleted after it was opened.
    const std::string gone = rig.Dir.File("gone.mp3");
    fs::copy_file(SNIPWAVE_TEST_DATA "/vbr-noheader.mp3", gone);
    rig.Open(QString::fromStdString(gone));
    fs::remove(gone);
    const QStringList logBefore = rig.Log();
    {
      TBoxAnswer box(QMessageBox::Ok);
      QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
      QCOMPARE(box.Count, 1);
      QCOMPARE(box.Title, QString("Korvane Snip Wave"));
      QCOMPARE(box.Text, "\"" + QString::fromStdString(gone) + "\" do not exist.");
    }
    QVERIFY(!player.Playing());
    QCOMPARE(rig.Log(), logBefore);

    // A file the player cannot open, under a name with a line break: both boxes show the
    // name with the break escaped.
    const std::string text = rig.Dir.Write("two\nlines.mp3", "this is no sound at all, just words\n");
    {
      TBoxAnswer box(QMessageBox::Ok);
      rig.Open(QString::fromStdString(text));
      QCOMPARE(box.Count, 1);
      QVERIFY2(box.Text.startsWith("Failed to load file, error message: ") && box.Text.contains("two\\nlines.mp3") &&
                   !box.Text.contains('\n'),
               qPrintable(box.Text));
    }
    const QStringList logAfterOpen = rig.Log();
    {
      TBoxAnswer box(QMessageBox::Ok);
      QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
      QCOMPARE(box.Count, 1);
      QCOMPARE(box.Text, QString::fromStdString(PrintableText(player.ErrorText())));
      QVERIFY(!box.Text.isEmpty() && !box.Text.contains('\n'));
    }
    QVERIFY(!player.Playing());
    QCOMPARE(rig.Log(), logAfterOpen);  // a file that does not play is not logged
  }

  void stopReturnsAtOnceAndSpacePlaysOrStops() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    TFFPlayer& player = rig.Window->Player();
    QList<TPlayState> states;
    player.OnState = [&](TCustomPlayer*, TPlayState s) { states << s; };
    PlayFromThree(rig);
    QTRY_VERIFY_WITH_TIMEOUT(states.contains(psResume), 5000);

    // Stop posts the close and returns: the player's psStop arrives only afterwards.
    QTest::mouseClick(rig.Get<QPushButton>("BtnStop"), Qt::LeftButton);
    QVERIFY(!states.contains(psStop));
    QTRY_VERIFY_WITH_TIMEOUT(states.contains(psStop), 5000);
    QVERIFY(!player.Playing());
    QTest::mouseClick(rig.Get<QPushButton>("BtnStop"), Qt::LeftButton);  // harmless when nothing plays

    // Space on the track bar plays from the thumb, and stops.
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    bar->setFocus();
    bar->SetPosition(10);
    states.clear();
    QTest::keyClick(bar, Qt::Key_Space);
    QVERIFY(player.Playing());
    QTRY_VERIFY_WITH_TIMEOUT(bar->Position() >= 11, 5000);
    QTest::keyClick(bar, Qt::Key_Space);
    QTRY_VERIFY_WITH_TIMEOUT(!player.Playing() && states.contains(psStop), 5000);
    player.OnState = nullptr;
  }

  void openingAndCuttingStopThePreview() {
    TRig rig;
    rig.Show();
    UseRealTimeSound();
    TFFPlayer& player = rig.Window->Player();
    PlayFromThree(rig);
    rig.Open(TestData("tagged.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(!player.Playing(), 5000);
    QCOMPARE(rig.Get<TKorTrackbar>("SnipWave")->Max(), 12);

    QTest::mouseClick(rig.Get<QPushButton>("BtnPlay"), Qt::LeftButton);
    QVERIFY(player.Playing());
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.Path()));
    TBoxAnswer end(QMessageBox::Cancel);
    auto* publish = rig.Get<QPushButton>("BtnPublish");
    QTest::mouseClick(publish, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!player.Playing(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(publish->isEnabled(), 30000);
    QCOMPARE(end.Count, 1);
  }

  void closingStopsThePreviewAndWaitsForTheCut() {
    UseRealTimeSound();
    {
      TRig rig;
      rig.Show();
      TFFPlayer& player = rig.Window->Player();
      PlayFromThree(rig);
      auto* bar = rig.Get<TKorTrackbar>("SnipWave");
      rig.Window->close();
      // Reports still on their way move nothing once the window is closed.
      const int64_t thumb = bar->Position();
      QTRY_VERIFY_WITH_TIMEOUT(!player.Playing(), 5000);
      QTest::qWait(100);
      QCOMPARE(bar->Position(), thumb);
    }
    TRig rig;
    rig.Show();
    rig.Open(TestData("vbr-noheader.mp3"));
    const std::string out = rig.Dir.File("out");
    fs::create_directory(out);
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(out));
    rig.Get<QLineEdit>("tFileName")->setText("closed");
    QTest::mouseClick(rig.Get<QPushButton>("BtnPublish"), Qt::LeftButton);
    QVERIFY(!rig.Get<QPushButton>("BtnPublish")->isEnabled());  // the cut runs
    rig.Window->close();
    // Closed: the cut is over, and it left no file in the making.
    const auto listing = [&] {
      QStringList names;
      for (const auto& entry : fs::directory_iterator(out)) names << QString::fromStdString(entry.path().filename());
      return names;
    };
    const QStringList closed = listing();
    QVERIFY2(closed.isEmpty() || closed == QStringList({"closed.mp3"}), qPrintable(closed.join(", ")));
    QTest::qWait(300);
    QCOMPARE(listing(), closed);
  }

 private:
  TTempDir FSettings;
  TTempDir FCache;
};

QTEST_MAIN(PreviewTest)
#include "PreviewTest.moc"
