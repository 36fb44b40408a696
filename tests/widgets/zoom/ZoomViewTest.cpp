// The zoom view on a WAV file with a known tone burst, read as the window reads it: the
// burst's edges are drawn where their times say, the markers move to the millisecond,
// and the view asks for the sound it lacks.
#include <QtTest>

#include <atomic>
#include <cmath>

#include "../../TempDir.h"
#include "../../media/waveform/WaveFixtures.h"
#include "media/binding/FFLoad.h"
#include "media/binding/FFLog.h"
#include "media/waveform/SpanRead.h"
#include "widgets/zoom/ZoomView.h"

using namespace sw;

namespace {

constexpr int Rate = 44100;
constexpr double BurstFrom = 12.3456, BurstTo = 12.5432;  // s
constexpr int64_t FileLength = 40 * 1000000;

TZoomSound AsSound(const TSpan& span) {
  return {span.SampleRate, span.FirstSample, std::make_shared<const std::vector<float>>(span.Samples)};
}

// The columns (device pixels) whose waveform is taller than the quiet line: the burst.
std::pair<int, int> LoudColumns(const QImage& image, int top) {
  int first = -1, last = -1;
  for (int x = 0; x < image.width(); ++x) {
    int dark = 0;
    for (int y = top; y < image.height(); ++y) {
      const QColor c = image.pixelColor(x, y);
      if (c.blue() > 0x60 && c.red() < 0x40 && c.green() < 0x60) ++dark;  // the wave's blue
    }
    if (dark > 10) {
      if (first < 0) first = x;
      last = x;
    }
  }
  return {first, last};
}

}  // namespace

class ZoomViewTest : public QObject {
  Q_OBJECT

  TTempDir FDir;
  std::string FFile;

 private slots:
  void initTestCase() {
    GetLogger().SetLogLevel(llQuiet);
    QVERIFY(FFLoader().LoadLibrarySet(DecoderLibraries));
    FFile = FDir.File("burst.wav");
    WriteWav(FFile, Rate, 2, static_cast<int64_t>(FileLength / 1e6 * Rate), [](int64_t i, double* ch) {
      const double t = static_cast<double>(i) / Rate;
      const double v = t >= BurstFrom && t < BurstTo ? Sine(0.8, 1000, i, Rate) : 0;
      ch[0] = ch[1] = v;
    });
  }

  void BurstEdgesLieAtTheirTimesAtOneAndThirtySeconds() {
    for (const int64_t span : {int64_t{1000000}, int64_t{30000000}}) {
      TZoomView view;
      view.resize(800, 160);
      view.SetDuration(FileLength);
      view.SetSegment(0, FileLength);  // the markers at the file's ends, out of this view
      int64_t askedFrom = -1, askedTo = -1;
      view.OnNeedSound = [&](int64_t from, int64_t to) { askedFrom = from, askedTo = to; };
      view.SetSpan(span);
      view.ShowAround(static_cast<int64_t>((BurstFrom + BurstTo) / 2 * 1e6));
      QVERIFY(askedFrom >= 0);
      QVERIFY(askedFrom <= view.ViewStart() && askedTo >= view.ViewStart() + view.Span());

      TSpanReader reader;
      std::atomic<bool> stop{false};
      QVERIFY(reader.Open(FFile, stop));
      TSpan read;
      QCOMPARE(reader.Read(askedFrom, askedTo, stop, read), erDone);
      view.SetSound(AsSound(read));

      const QImage image = view.grab().toImage();
      const double dpr = image.devicePixelRatio();
      const auto [first, last] = LoudColumns(image, static_cast<int>(30 * dpr));
      QVERIFY2(first >= 0, "no burst drawn");
      const double width = 800 * dpr;
      const double from = ZoomX(static_cast<int64_t>(BurstFrom * 1e6), view.ViewStart(), view.Span(), width);
      const double to = ZoomX(static_cast<int64_t>(BurstTo * 1e6), view.ViewStart(), view.Span(), width);
      QVERIFY2(std::fabs(first - std::floor(from)) <= 1, qPrintable(QString("span %1: first %2, expected %3").arg(span).arg(first).arg(from)));
      QVERIFY2(std::fabs(last - std::floor(to)) <= 1, qPrintable(QString("span %1: last %2, expected %3").arg(span).arg(last).arg(to)));
      // $ZOOM_GRAB_DIR/zoom-<span>@<ratio>x.png when that is set, for a look.
      if (const QString dir = qEnvironmentVariable("ZOOM_GRAB_DIR"); !dir.isEmpty()) {
        QDir().mkpath(dir);
        image.save(dir + QString("/zoom-%1us@%2x.png").arg(span).arg(dpr));
      }
    }
  }

  void MarkersMoveToTheMillisecondByKeysAndStayInOrder() {
    TZoomView view;
    view.resize(800, 160);
    view.SetDuration(FileLength);
    view.SetSegment(12000000, 20000000);
    std::vector<std::pair<int64_t, int64_t>> changes;
    view.OnSegmentChange = [&](int64_t s, int64_t e) { changes.push_back({s, e}); };
    view.SetActiveMarker(zmStart);
    view.ShowAround(12000000);
    QTest::keyClick(&view, Qt::Key_Right);                         // +10 ms
    QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);      // +100 ms
    for (int i = 0; i < 3; ++i) QTest::keyClick(&view, Qt::Key_Right);  // +30 ms
    for (int i = 0; i < 5; ++i) QTest::keyClick(&view, Qt::Key_Right, Qt::ControlModifier);  // +5 ms
    QCOMPARE(view.SegStart(), int64_t{12145000});
    QCOMPARE(changes.size(), size_t{10});
    QCOMPARE(changes.back(), std::make_pair(int64_t{12145000}, int64_t{20000000}));
    // Tab chooses the end marker; it cannot pass the start, nor the file's end.
    QTest::keyClick(&view, Qt::Key_Tab);
    QCOMPARE(view.ActiveMarker(), zmEnd);
    view.MoveMarker(zmEnd, 1000000);
    QCOMPARE(view.SegEnd(), int64_t{12145000});
    view.MoveMarker(zmEnd, FileLength + 5000000);
    QCOMPARE(view.SegEnd(), FileLength);
    // A drag puts the marker at the millisecond under the pointer, and keeps it in view.
    view.SetSpan(1000000);
    view.ShowAround(12145000);
    const int x = static_cast<int>(std::lround(ZoomX(view.SegStart(), view.ViewStart(), view.Span(), 800)));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(x, 100));
    QTest::mouseMove(&view, QPoint(x + 160, 100));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(x + 160, 100));
    QCOMPARE(view.ActiveMarker(), zmStart);
    QVERIFY(std::llabs(view.SegStart() - 12345000) <= 2000);
    QCOMPARE(view.SegStart() % 1000, int64_t{0});
  }

  void TheSpanStaysBetweenHalfASecondAndAMinute() {
    TZoomView view;
    view.resize(800, 160);
    view.SetDuration(FileLength);
    view.SetSpan(2000000);
    for (int i = 0; i < 20; ++i) QTest::keyClick(&view, Qt::Key_Up);
    QCOMPARE(view.Span(), ZoomMinSpan);
    for (int i = 0; i < 40; ++i) QTest::keyClick(&view, Qt::Key_Down);
    QCOMPARE(view.Span(), ZoomMaxSpan);
    QCOMPARE(view.ViewStart(), int64_t{0});  // a file shorter than the span starts at 0
  }

  void SnapMovesTheChosenMarkerIntoTheSilenceAfterTheBurst() {
    // The burst ends at 12.5432 s; a mark 30 ms before it moves into the silence after it,
    // the quiet place nearest within 50 ms.
    TZoomView view;
    view.resize(800, 160);
    view.SetDuration(FileLength);
    TSpanReader reader;
    std::atomic<bool> stop{false};
    QVERIFY(reader.Open(FFile, stop));
    TSpan read;
    QCOMPARE(reader.Read(12000000, 13000000, stop, read), erDone);
    view.SetSound(AsSound(read));
    view.SetSegment(10000000, 12520000);
    view.SetActiveMarker(zmEnd);
    view.ShowAround(12500000);
    QTest::keyClick(&view, Qt::Key_Q);
    QVERIFY2(view.SegEnd() >= 12544000 && view.SegEnd() <= 12570000, qPrintable(QString::number(view.SegEnd())));
    QCOMPARE(view.SegStart(), int64_t{10000000});
  }
};

QTEST_MAIN(ZoomViewTest)
#include "ZoomViewTest.moc"
