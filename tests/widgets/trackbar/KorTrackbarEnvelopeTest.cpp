#include <QtTest>

#include <cmath>
#include <random>

#include "KorTrackbar.h"
#include "TrackbarGrab.h"

using namespace sw;
using sw::test::PixelAt;

namespace {

constexpr int kColumns = 2048;

// Music: a steady bed with beats every half second and a quieter bridge.
TTrackbarEnvelope MusicLike(double seconds) {
  TTrackbarEnvelope e;
  std::mt19937 random(7);
  std::uniform_real_distribution<float> jitter(0.85f, 1.0f);
  for (int i = 0; i < kColumns; ++i) {
    const double t = seconds * i / kColumns;
    const double beat = std::exp(-std::fmod(t, 0.5) * 6);
    const double level = (t > seconds * 0.55 && t < seconds * 0.7 ? 0.25 : 0.45) + 0.4 * beat;
    e.Columns.push_back({static_cast<float>(-level * jitter(random)), static_cast<float>(level * jitter(random))});
  }
  e.Span = seconds;
  e.Filled = kColumns;
  return e;
}

// Speech: quiet syllables in phrases, with silent pauses between them.
TTrackbarEnvelope SpeechLike(double seconds) {
  TTrackbarEnvelope e;
  std::mt19937 random(11);
  std::uniform_real_distribution<float> syllable(0.03f, 0.3f);
  float level = 0;
  for (int i = 0; i < kColumns; ++i) {
    const double t = seconds * i / kColumns;
    const bool pause = std::fmod(t, 9.0) > 6.5;
    if (i % 6 == 0) level = pause ? 0.0f : syllable(random);
    e.Columns.push_back({-level, level * 0.9f});
  }
  e.Span = seconds;
  e.Filled = kColumns;
  return e;
}

QImage Grab(TKorTrackbar& t) { return t.grab().toImage(); }

// Columns of the track (logical pixels) where two grabs differ.
QList<int> ChangedColumns(const QImage& a, const QImage& b, const QRect& track) {
  QList<int> changed;
  for (int x = track.left(); x <= track.right(); ++x)
    for (int y = track.top(); y <= track.bottom(); ++y)
      if (PixelAt(a, x, y) != PixelAt(b, x, y)) {
        changed << x;
        break;
      }
  return changed;
}

}  // namespace

class KorTrackbarEnvelopeTest : public QObject {
  Q_OBJECT

 private slots:
  void trackStaysPlainWithoutAnEnvelope() {
    TKorTrackbar t;
    QVERIFY(test::ShowWindowLook(t, 205, 0, 205, 0));
    const QImage plain = Grab(t);
    t.SetEnvelope(TTrackbarEnvelope{});
    QCOMPARE(Grab(t), plain);
    t.SetEnvelope(MusicLike(205.4));
    const QImage drawn = Grab(t);
    const QRect track(16, 5, 212, 16);
    QVERIFY(ChangedColumns(plain, drawn, track).size() > 200);
    t.SetEnvelope(TTrackbarEnvelope{});
    QCOMPARE(Grab(t), plain);
  }

  void overviewFillsInFromTheLeft() {
    TKorTrackbar t;
    QVERIFY(test::ShowWindowLook(t, 200, 0, 200, 200));  // the thumb out of the way, at the far end
    const QImage plain = Grab(t);
    TTrackbarEnvelope e = MusicLike(200);
    e.Filled = kColumns / 4;  // the first 50 seconds
    t.SetEnvelope(e);
    const QList<int> changed = ChangedColumns(plain, Grab(t), QRect(16, 5, 200, 16));
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.first(), 16);
    QVERIFY(qAbs(changed.last() - t.Model().PixelOf(50)) <= 1);
  }

  void thumbAndMarkersStayClearOverIt() {
    for (const bool speech : {false, true}) {
      TKorTrackbar t;
      QVERIFY(test::ShowWindowLook(t, 205, 40, 150, 100));
      const QImage plain = Grab(t);
      t.SetEnvelope(speech ? SpeechLike(205.4) : MusicLike(205.4));
      const QImage shot = Grab(t);
      test::SaveForReview(shot, speech ? "envelope-speech" : "envelope-music");
      // The thumb is drawn over the overview: its middle is untouched.
      const int tick = t.Model().TickX();
      QCOMPARE(PixelAt(shot, tick, 13), PixelAt(plain, tick, 13));
      // The markers let a fifth of what lies beneath through, no more.
      for (const QRect& marker : {t.SegStartRect(), t.SegEndRect()}) {
        const QPoint c = marker.center();
        const QRgb before = PixelAt(plain, c.x(), c.y()), after = PixelAt(shot, c.x(), c.y());
        QVERIFY2(qAbs(qRed(before) - qRed(after)) <= 51 && qAbs(qGreen(before) - qGreen(after)) <= 51 &&
                     qAbs(qBlue(before) - qBlue(after)) <= 51,
                 qPrintable(QString("marker at %1").arg(c.x())));
      }
    }
  }

  void shadingStillMarksTheOutside() {
    TKorTrackbar t;  // built-in pictures, with the cut pictures and the shading
    t.show();
    QVERIFY(QTest::qWaitForWindowExposed(&t));
    t.SetMax(382);
    t.SetSegEndPos(300);
    t.SetSegStartPos(100);
    t.SetPosition(150);
    for (const bool speech : {false, true}) {
      t.SetEnvelope(speech ? SpeechLike(382) : MusicLike(382));
      const QImage shot = Grab(t);
      test::SaveForReview(shot, speech ? "envelope-speech-cut" : "envelope-music-cut");
      t.SetLeftBrushColor(0x00000000);  // no shading: the outside looks like the inside
      const QImage unshaded = Grab(t);
      t.SetLeftBrushColor(0x653DF72D);
      const QRect leftOutside(12, 20, 80, 17);
      QVERIFY(ChangedColumns(unshaded, shot, leftOutside).size() > 70);
    }
  }
};

QTEST_MAIN(KorTrackbarEnvelopeTest)
#include "KorTrackbarEnvelopeTest.moc"
