// The previewer with its Qt window: created by the first picture and sized by it, closed
// for good, fed from a worker thread through the main-thread queue.
#include <QApplication>
#include <QDir>
#include <QTest>
#include <atomic>
#include <thread>

#include "widgets/previewer/PreviewWidget.h"
#include "media/base/MainThread.h"

using namespace sw;

namespace {

// Four quarters: red, green, blue, white (24-bit BGR rows).
TPixelBuffer Quarters(int width, int height) {
  TPixelBuffer p;
  p.Width = width;
  p.Height = height;
  p.Bits = 24;
  p.BytesPerRow = ((width * 24 + 31) / 32) * 4;
  p.Pixels.assign(static_cast<size_t>(p.BytesPerRow) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t* px = &p.Pixels[static_cast<size_t>(y) * p.BytesPerRow + x * 3];
      const bool right = x >= width / 2, bottom = y >= height / 2;
      const int r = !right && !bottom ? 255 : right && bottom ? 255 : 0;
      const int g = right && !bottom ? 255 : right && bottom ? 255 : 0;
      const int b = !right && bottom ? 255 : right && bottom ? 255 : 0;
      px[0] = static_cast<uint8_t>(b), px[1] = static_cast<uint8_t>(g), px[2] = static_cast<uint8_t>(r);
    }
  return p;
}

}  // namespace

class PreviewWidgetTest : public QObject {
  Q_OBJECT

  int Made = 0;
  TPreviewWidget* Last = nullptr;

 private slots:
  void init() {
    Made = 0;
    Last = nullptr;
    SetPreviewWindowFactory([this]() -> std::unique_ptr<TPreviewWindow> {
      ++Made;
      auto w = std::make_unique<TPreviewWidget>();
      Last = w.get();
      return w;
    });
  }
  void cleanup() { SetPreviewWindowFactory(nullptr); }

  void firstPictureDecidesTheSize() {
    TPreviewer previewer;
    const TPixelBuffer first = Quarters(64, 48), larger = Quarters(100, 80);
    QVERIFY(previewer.ShowPreview(first, 1, 1500000));
    QCOMPARE(Made, 1);
    QVERIFY(Last->isVisible());
    QCOMPARE(Last->size(), QSize(64, 48));
    QCOMPARE(Last->windowTitle(), QString("00:00:01.500"));
    QVERIFY(Last->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(Last->windowFlags() & Qt::Tool);
    QVERIFY(previewer.ShowPreview(larger, 2, 3723004000));
    QCOMPARE(Made, 1);
    QCOMPARE(Last->size(), QSize(64, 48));
    QCOMPARE(Last->windowTitle(), QString("01:02:03.004"));
    QCOMPARE(Last->Picture().size(), QSize(100, 80));
    // Drawn at (0, 0): the window's corner shows the new picture's red corner.
    const QImage shown = Last->grab().toImage();
    QCOMPARE(QColor(shown.pixel(2, 2)), QColor(Qt::red));
    QCOMPARE(QColor(shown.pixel(40, 30)), QColor(Qt::red));  // the top-left quarter of 100x80, not 64x48
  }

  void closedWindowAnswersFalseAndIsNeverMadeAgain() {
    TPreviewer previewer;
    const TPixelBuffer p = Quarters(32, 32);
    QVERIFY(previewer.ShowPreview(p, 1, 0));
    QVERIFY(Last->close());
    QVERIFY(previewer.Closed());
    QVERIFY(!previewer.ShowPreview(p, 2, 40000));
    QVERIFY(!previewer.ShowPreview(p, 3, 80000));
    QCOMPARE(Made, 1);
    QVERIFY(!Last->isVisible());
  }

  void destroyingWithoutAPictureTouchesNothing() {
    const int before = QApplication::topLevelWidgets().size();
    { TPreviewer previewer; }
    QCOMPARE(Made, 0);
    QCOMPARE(QApplication::topLevelWidgets().size(), before);
  }

  void withoutADisplayNothingIsShown() {
    SetPreviewWindowFactory(nullptr);
    TPreviewer previewer;
    const TPixelBuffer p = Quarters(16, 16);
    QVERIFY(!previewer.ShowPreview(p, 1, 0));
    QVERIFY(previewer.Closed());
  }

  void workerPicturesArePaintedOnTheMainThread() {
    TPreviewer previewer;
    const TPixelBuffer p = Quarters(80, 60);
    std::atomic<int> answered{0};
    std::thread worker([&] {
      for (int i = 0; i < 5; ++i) answered += previewer.ShowPreview(p, i, i * 40000) ? 1 : 0;
    });
    for (int spins = 0; answered < 5 && spins < 500; ++spins) WaitForPendingMessages(std::chrono::milliseconds(10));
    worker.join();
    QCOMPARE(answered.load(), 5);
    QCOMPARE(Made, 1);
    QCOMPARE(Last->windowTitle(), QString("00:00:00.160"));
  }

  void dragMovesTheWindowByItsPicture() {
    TPreviewer previewer;
    const TPixelBuffer p = Quarters(64, 48);
    QVERIFY(previewer.ShowPreview(p, 1, 0));
    const QPoint before = Last->pos();
    QTest::mousePress(Last, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(Last, QPoint(40, 30));
    QTest::mouseRelease(Last, Qt::LeftButton, {}, QPoint(40, 30));
    QCOMPARE(Last->pos() - before, QPoint(30, 20));
  }

  void grab() {
    TPreviewer previewer;
    const TPixelBuffer p = Quarters(160, 120);
    QVERIFY(previewer.ShowPreview(p, 1, 61250000));
    const QString dir = qEnvironmentVariable("PREVIEW_GRAB_DIR");
    if (!dir.isEmpty()) {
      QDir().mkpath(dir);
      QVERIFY(Last->grab().save(dir + "/previewer.png"));
    }
    const QImage shown = Last->grab().toImage();
    QCOMPARE(QColor(shown.pixel(120, 90)), QColor(Qt::white));
    QCOMPARE(QColor(shown.pixel(20, 90)), QColor(Qt::blue));
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  SetMainThread();
  PreviewWidgetTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "PreviewWidgetTest.moc"
