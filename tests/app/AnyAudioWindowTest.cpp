// The window with sources other than MP3: a WAV and a FLAC made here open, fill the
// information panel and the track bar, and "Cut without re-encoding" is off for them with
// its reason as the tooltip, and on again for an MP3.
#include <QAbstractButton>

#include "WindowRig.h"
#include "media/binding/FFLoad.h"
#include "tests/media/encoder/RunConvert.h"
#include "widgets/trackbar/KorTrackbar.h"

using namespace window_rig;

class AnyAudioWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY(FFLoader().LoadLibrarySet(AllLibraries)); }

  void otherAudioOpensAndOnlyMp3CanBeCutWithoutReencoding() {
    TRig rig;
    rig.Show();
    QAction* lossless = rig.Get<QAction>("CutLossless1");
    for (const char* codec : {"pcm_s16le", "flac"}) {
      const std::string file = rig.Dir.File(std::string("memo.") + (codec[0] == 'p' ? "wav" : "flac"));
      QCOMPARE(QString::fromStdString(RunConvert("sine=frequency=440:duration=7", "lavfi", file, {},
                                                 {std::string("acodec=") + codec, "metadata=title=Memo"})),
               QString());
      lossless->setChecked(true);
      rig.Open(QString::fromStdString(file));
      const QStringList lines = rig.MemoLines();
      QVERIFY2(lines.contains("Title: Memo"), qPrintable(lines.join("|")));
      QVERIFY2(lines.contains("Duration: 00:00:07."), qPrintable(lines.join("|")));
      QCOMPARE(rig.Get<TKorTrackbar>("SnipWave")->Max(), 7);
      QCOMPARE(rig.Get<QLineEdit>("tFileName")->text(), QString("memo_new.mp3"));  // the cut writes an MP3
      QVERIFY(!lossless->isEnabled());
      QVERIFY(!lossless->isChecked());  // a cut now re-encodes
      QVERIFY2(lossless->toolTip().startsWith("Only MP3 files can be cut without re-encoding; this file is "),
               qPrintable(lossless->toolTip()));
      QVERIFY(lossless->toolTip().contains(codec[0] == 'p' ? "WAV" : "FLAC"));
    }
    rig.Open(TestData("tagged.mp3"));
    QVERIFY(lossless->isEnabled());
    QVERIFY(!lossless->toolTip().startsWith("Only MP3"));  // the item's own text again
  }
};

QTEST_MAIN(AnyAudioWindowTest)
#include "AnyAudioWindowTest.moc"
