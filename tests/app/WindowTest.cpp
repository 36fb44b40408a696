#include <QAction>
#include <QDir>
#include <QApplication>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSlider>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "WindowRig.h"
#include "../media/engine/DecodeFile.h"
#include "app/core/FileInfoText.h"
#include "app/core/OutputPreparation.h"
#include "app/KorLog.h"
#include "app/Links.h"
#include "app/Main.h"
#include "media/binding/FFLoad.h"
#include "media/base/HostWindow.h"
#include "media/base/SafeOutput.h"
#include "widgets/trackbar/KorTrackbar.h"

using namespace sw;
using namespace window_rig;
namespace fs = std::filesystem;

namespace {

// The link opener of the desktop, caught.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  TUrlCatcher() {
    for (const char* scheme : {"http", "https", "mailto", "file"}) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~TUrlCatcher() override {
    for (const char* scheme : {"http", "https", "mailto", "file"}) QDesktopServices::unsetUrlHandler(scheme);
  }
  QList<QUrl> Urls;
 public slots:
  void Open(const QUrl& url) { Urls << url; }
};

// Text that a control shows does not run past its edges.
void CheckCaptionFits(QWidget* w) {
  const QFontMetrics fm(w->font());
  if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text().isEmpty() || label->objectName() == "pnlHintTime") return;
    if (label->wordWrap())
      QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(label->objectName()));
    else
      QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->objectName()));
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    QVERIFY2(fm.horizontalAdvance(button->text()) + 8 <= button->width(), qPrintable(button->objectName()));
    QVERIFY2(fm.height() + 4 <= button->height(), qPrintable(button->objectName()));
  } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
    QVERIFY2(fm.horizontalAdvance(group->title()) + 16 <= group->width(), qPrintable(group->objectName()));
  }
}

// Visible controls side by side in one container do not cover each other.
void CheckNoOverlap(QWidget* container, const QStringList& exempt = {}) {
  QList<QWidget*> shown;
  for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isVisibleTo(container) && !child->objectName().startsWith("qt_") && !exempt.contains(child->objectName()))
      shown << child;
  for (int i = 0; i < shown.size(); ++i)
    for (int j = i + 1; j < shown.size(); ++j)
      QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
               qPrintable(shown[i]->objectName() + " covers " + shown[j]->objectName()));
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // Settings the window keeps go to a folder of the test's own.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(FSettings.Path()));
    // Sound overviews are kept in a cache folder of the test's own.
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(FCache.Path()));
    // The output check decodes with the libraries the window loads itself.
    QVERIFY2(FFLoader().LoadLibrarySet(AllLibraries), FFLoader().GetLastErrorText().c_str());
  }

  void controlsHaveTheirNamesCaptionsAndPlaces() {
    TRig rig;
    QCOMPARE(rig.Window->windowTitle(), QString("Korvane Snip Wave"));
    QCOMPARE(rig.Get<QWidget>("RzPanel1")->size(), QSize(702, 389));
    QCOMPARE(rig.Get<QWidget>("pnlRight")->width(), 290);
    QCOMPARE(rig.Get<QWidget>("RzPanel2")->height(), 40);
    rig.Get<QWidget>("RzPanel1")->layout()->activate();
    QCOMPARE(rig.Get<QWidget>("pnlLeft")->width(), 412);
    const struct {
      const char* Name;
      QRect Place;
    } places[] = {{"Img1", {24, 0, 30, 30}},        {"Img2", {24, 71, 30, 30}},
                  {"Img3", {24, 160, 30, 30}},      {"ImgArrLeft", {394, 160, 16, 16}},
                  {"ImgArrRight", {394, 160, 16, 16}}, {"SnipWave", {63, 17, 244, 25}},
                  {"pnlHintTime", {0, 0, 59, 20}}};
    for (const auto& p : places) QCOMPARE(rig.Get<QWidget>(p.Name)->geometry(), p.Place);
    for (const char* name : {"BtnPlay", "BtnStop", "BtnRestore", "BtnVolume"})
      QCOMPARE(rig.Get<QPushButton>(name)->width(), 52);
    const struct {
      const char* Name;
      const char* Caption;
    } captions[] = {{"BtnPlay", "Play"},          {"BtnStop", "Stop"},           {"BtnRestore", "Restore"},
                    {"BtnVolume", "Volume"},      {"BtnPublish", "Start Cut"},   {"lblStartTime", "00:00:00"},
                    {"lblEndTime", "00:00:00"},   {"pnlHintTime", "00:00:00"},   {"lblOutputPath", "File Path:"},
                    {"lblFileName", "File Name:"}, {"Label1", "Our website:"},  {"Label2", "Contact us:"}};
    for (const auto& c : captions) {
      QWidget* w = rig.Get<QWidget>(c.Name);
      const QString text = qobject_cast<QLabel*>(w) ? static_cast<QLabel*>(w)->text() : static_cast<QPushButton*>(w)->text();
      QCOMPARE(text, QString(c.Caption));
    }
    QCOMPARE(rig.Get<QGroupBox>("gbStep1")->title(), QString("           Open"));
    QCOMPARE(rig.Get<QGroupBox>("gbStep2")->title(), QString("           Adjust"));
    QCOMPARE(rig.Get<QGroupBox>("gbStep3")->title(), QString("           Cut"));
    QCOMPARE(rig.Get<QLineEdit>("tFileName")->text(), QString("My Scrap Reel"));
    QVERIFY(rig.Get<QLineEdit>("btnOpenFile")->isReadOnly());
    QVERIFY(!rig.Get<QLineEdit>("tFilePath")->isReadOnly());
    QCOMPARE(rig.Get<QPushButton>("BtnPublish")->size(), QSize(164, 50));
    QVERIFY(rig.Get<QPushButton>("BtnPublish")->font().pointSizeF() > rig.Get<QPushButton>("BtnPlay")->font().pointSizeF());
    QCOMPARE(rig.Get<QWidget>("ImgArrLeft")->toolTip(), QString("Hide file information"));
    QCOMPARE(rig.Get<QWidget>("ImgArrRight")->toolTip(), QString("Show file information"));
    QCOMPARE(rig.Get<QWidget>("ImgArrRight")->cursor().shape(), Qt::PointingHandCursor);

    auto* volume = rig.Get<QSlider>("tbVolume");
    QCOMPARE(volume->orientation(), Qt::Vertical);
    QCOMPARE(volume->minimum(), 0);
    QCOMPARE(volume->maximum(), 100);
    QCOMPARE(volume->value(), 70);
    QVERIFY(!volume->isVisibleTo(rig.Window.get()));
    QVERIFY(!rig.Get<QWidget>("pnlHintTime")->isVisibleTo(rig.Window.get()));
    auto* progress = rig.Get<QProgressBar>("pbPercent");
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), 100);
    auto* memo = rig.Get<QPlainTextEdit>("mmInfo");
    QCOMPARE(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(memo->frameShape(), QFrame::NoFrame);
    QCOMPARE(memo->document()->documentMargin(), 8.0);

    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QCOMPARE(bar->Max(), 100);
    QCOMPARE(bar->Position(), 10);
    QCOMPARE(bar->SegStartPos(), 10);
    QCOMPARE(bar->SegEndPos(), 90);
    QVERIFY(!bar->ShowCut());
    QCOMPARE(bar->BGColor(), TColor(0xDBEAEC));
    QCOMPARE(bar->SegmentStart().Size().Width, 16);
    QCOMPARE(bar->SegmentEnd().Size().Height, 16);

    // The menus, in order.
    QStringList menus;
    for (QAction* top : rig.Window->menuBar()->actions()) {
      menus << top->text();
      for (QAction* item : top->menu()->actions()) menus << "  " + (item->isSeparator() ? "-" : item->text());
    }
    QCOMPARE(menus, QStringList({"File", "  Open", "  Cut without re-encoding", "  -", "  Exit", "Help", "  Home Page",
                                 "  Contact us", "  -", "  Keys", "  About"}));
    QCOMPARE(rig.Get<QLabel>("RzURLLabel1")->text().contains(config::WebAddress), true);
    QCOMPARE(rig.Get<QLabel>("lblContactUs")->text().contains(config::SupportMail), true);
  }

  void windowLooksTidy() {
    TRig rig(true);
    rig.Show();
    for (bool panel : {false, true}) {
      QCOMPARE(rig.PanelShown(), panel);
      for (QWidget* w : rig.Window->findChildren<QWidget*>())
        if (w->isVisibleTo(rig.Window.get())) CheckCaptionFits(w);
      auto* left = rig.Get<QWidget>("pnlLeft");
      CheckNoOverlap(left, {"Img1", "Img2", "Img3"});
      for (const char* group : {"gbStep1", "gbStep2", "gbStep3"}) CheckNoOverlap(rig.Get<QWidget>(group));
      CheckNoOverlap(rig.Get<QWidget>("RzPanel2"));
      // A step picture sits on its group's frame line and ends before the caption's word.
      for (int n = 1; n <= 3; ++n) {
        auto* group = rig.Get<QGroupBox>(qPrintable(QString("gbStep%1").arg(n)));
        auto* image = rig.Get<QLabel>(qPrintable(QString("Img%1").arg(n)));
        QStyleOptionGroupBox opt;
        opt.initFrom(group);
        opt.text = group->title();
        opt.subControls = QStyle::SC_GroupBoxLabel;
        const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
        const int wordStart = group->x() + label.x() + QFontMetrics(group->font()).horizontalAdvance(QString(11, ' '));
        QVERIFY2(image->geometry().right() < wordStart, qPrintable(image->objectName()));
        QVERIFY(image->geometry().bottom() > group->y() + label.center().y());
        QVERIFY(!image->pixmap().isNull());
      }
      QVERIFY(rig.Get<QWidget>(panel ? "ImgArrLeft" : "ImgArrRight")->geometry().right() < left->width());
      QTest::mouseClick(rig.Get<QWidget>(panel ? "ImgArrLeft" : "ImgArrRight"), Qt::LeftButton);
    }
    const QString dir = qEnvironmentVariable("WINDOW_GRAB_DIR");
    if (!dir.isEmpty()) rig.Window->grab().save(dir + QString("/window@%1x.png").arg(rig.Window->devicePixelRatio()));
  }

  void stateTableBeforeAndAfterOpening() {
    TRig rig;
    rig.Show();
    auto* step1 = rig.Get<QWidget>("gbStep1");
    auto* step2 = rig.Get<QWidget>("gbStep2");
    auto* step3 = rig.Get<QWidget>("gbStep3");
    QVERIFY(step1->isEnabled());
    QVERIFY(!step2->isEnabled());
    QVERIFY(!step3->isEnabled());
    QVERIFY(!rig.Get<QWidget>("SnipWave")->isEnabled());
    QVERIFY(!rig.Get<QWidget>("BtnPublish")->isEnabled());
    QVERIFY(!rig.PanelShown());

    // Cancelled dialog: nothing is enabled.
    rig.Open("");
    QVERIFY(!step2->isEnabled());

    rig.Open(TestData("vbr-noheader.mp3"));
    for (const char* name : {"gbStep2", "gbStep3", "SnipWave", "BtnPlay", "BtnStop", "BtnRestore", "BtnVolume",
                             "lblStartTime", "tFilePath", "tFileName", "BtnPublish"})
      QVERIFY2(rig.Get<QWidget>(name)->isEnabled(), name);
    QVERIFY(step1->isEnabled());
    QVERIFY(!rig.PanelShown());
  }

  void groupsStayEnabledWhenTheAnalysisFails() {
    TRig rig;
    rig.Show();
    TBoxAnswer box(QMessageBox::Ok);
    rig.Open(TestData("text.mp3"));
    QCOMPARE(box.Count, 1);
    QCOMPARE(box.Title, QString("Korvane Snip Wave"));
    QCOMPARE(box.Icon, QMessageBox::Information);
    QCOMPARE(box.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY2(box.Text.startsWith("Failed to load file, error message: ") &&
                 box.Text.size() > int(strlen("Failed to load file, error message: ")),
             qPrintable(box.Text));
    QVERIFY(rig.Get<QWidget>("gbStep2")->isEnabled());
    QVERIFY(rig.Get<QWidget>("BtnPublish")->isEnabled());
    QVERIFY(rig.MemoLines().isEmpty());
    QCOMPARE(rig.Log(), QStringList({"E " + box.Text}));
    QCOMPARE(rig.Get<QLineEdit>("btnOpenFile")->text(), TestData("text.mp3"));
  }

  void arrowsToggleTheInformationPanel() {
    TRig rig;
    rig.Show();
    auto* left = rig.Get<QWidget>("ImgArrLeft");
    auto* right = rig.Get<QWidget>("ImgArrRight");
    // Started: hidden, and the window is as wide as the left panel was, plus 5.
    QCOMPARE(rig.ClientWidth(), 412 + 5);
    QVERIFY(!left->isVisible());
    QVERIFY(right->isVisible());
    QCOMPARE(rig.Get<QWidget>("pnlLeft")->width(), 417);
    for (int round = 0; round < 2; ++round) {
      QTest::mouseClick(right, Qt::LeftButton);
      QVERIFY(rig.PanelShown());
      QCOMPARE(rig.ClientWidth(), 700);
      QCOMPARE(rig.Window->width(), 700);
      QCOMPARE(rig.Get<QWidget>("pnlLeft")->width(), 410);
      QVERIFY(left->isVisible());
      QVERIFY(!right->isVisible());
      QTest::mouseClick(left, Qt::LeftButton);
      QVERIFY(!rig.PanelShown());
      QCOMPARE(rig.ClientWidth(), 410 + 5);
      QCOMPARE(rig.Get<QWidget>("pnlLeft")->width(), 415);
      QVERIFY(!left->isVisible());
      QVERIFY(right->isVisible());
      // Right-anchored: two pixels from the left panel's edge.
      QCOMPARE(right->geometry().right(), rig.Get<QWidget>("pnlLeft")->width() - 3);
    }
    // The window cannot be resized by the user.
    QCOMPARE(rig.Window->minimumSize(), rig.Window->maximumSize());
  }

  void windowWorksWithoutPictures() {
    TRig rig;
    rig.Show();
    for (const char* name : {"Img1", "Img2", "Img3", "ImgArrLeft", "ImgArrRight"})
      QVERIFY(rig.Get<QLabel>(name)->pixmap().isNull());
    QTest::mouseClick(rig.Get<QWidget>("ImgArrRight"), Qt::LeftButton);
    QVERIFY(rig.PanelShown());
  }

  void aFileHandedOverAtStartIsMarkedWhole() {
    // The desktop's "Open with" opens a file without the dialog: the layout's markers (10
    // and 90) must not survive into it while the labels say 0.
    TRig rig;
    rig.Show();
    rig.Window->OpenChosenFile(TestData("vbr-noheader.mp3"));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QCOMPARE(bar->SegStartPos(), 0);
    QCOMPARE(bar->SegEndPos(), 24);
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString("00:00:00"));
  }

  void openingFillsTheMemoTheTrackBarAndTheProposal() {
    TRig rig;
    rig.Show();
    const QString file = TestData("vbr-noheader.mp3");
    rig.Open(file);
    const QStringList memo = rig.MemoLines();
    QCOMPARE(memo.size(), 9);
    QCOMPARE(memo[0], "File Name: " + file);
    QCOMPARE(memo[1], QString("Type: MP2/3 (MPEG audio layer 2/3)"));
    QCOMPARE(memo[2], QString("Title: "));
    QCOMPARE(memo[5], QString("Year: 0"));
    QCOMPARE(memo[6], QString("File Size: 203.37 KB"));
    QCOMPARE(memo[7], QString("Duration: 00:00:24."));
    QVERIFY2(memo[8] == "Bit Rate: 69 kbps" || memo[8] == "Bit Rate: 68 kbps", qPrintable(memo[8]));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QCOMPARE(bar->Max(), 24);
    QCOMPARE(bar->SegStartPos(), 0);
    QCOMPARE(bar->SegEndPos(), 24);
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString("00:00:00"));
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString("00:00:24"));
    QCOMPARE(rig.Get<QLineEdit>("btnOpenFile")->text(), file);
    QCOMPARE(rig.Get<QLineEdit>("tFilePath")->text(), QString(SNIPWAVE_TEST_DATA) + "/");
    QCOMPARE(rig.Get<QLineEdit>("tFileName")->text(), QString("vbr-noheader_new.mp3"));
    const QStringList log = rig.Log();
    QCOMPARE(log.size(), 11);
    QCOMPARE(log.first(), QString("I ============ file info ================"));
    QCOMPARE(log[1], "I File Name: " + file);
    QCOMPARE(log[8], "I " + memo[7]);
    QCOMPARE(log.last(), QString("I ======================================="));

    // A second file resets the markers first; a cancelled dialog keeps the range and empties the memo.
    rig.Open(TestData("notags-48k.mp3"));
    QCOMPARE(bar->Max(), 3);
    QCOMPARE(bar->SegEndPos(), 3);
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString("00:00:03"));
    rig.Get<QProgressBar>("pbPercent")->setValue(40);
    rig.Open("");
    QVERIFY(rig.MemoLines().isEmpty());
    QCOMPARE(bar->Max(), 3);
    QCOMPARE(bar->SegStartPos(), 0);
    QCOMPARE(rig.Get<QProgressBar>("pbPercent")->value(), 0);

    // A failed analysis leaves the previous range on the track bar.
    TBoxAnswer box(QMessageBox::Ok);
    rig.Open(TestData("empty.mp3"));
    QCOMPARE(box.Count, 1);
    QCOMPARE(bar->Max(), 3);
    QVERIFY(rig.MemoLines().isEmpty());
  }

  void startCutWritesTheSegment() {
    TRig rig;
    rig.Show();
    rig.Open(TestData("vbr-noheader.mp3"));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    DragBy(bar, bar->SegStartRect().center(), 60);
    DragBy(bar, bar->SegEndRect().center(), -50);
    const int64_t start = bar->SegStartPos(), end = bar->SegEndPos();
    QVERIFY2(start > 0 && end < 24 && end - start >= 6, qPrintable(QString("%1..%2").arg(start).arg(end)));
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString::fromStdString(FormatSeconds(start)));
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString::fromStdString(FormatSeconds(end)));
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.File("out")));
    rig.Get<QLineEdit>("tFileName")->setText("clip");
    auto* publish = rig.Get<QPushButton>("BtnPublish");
    auto* progress = rig.Get<QProgressBar>("pbPercent");

    TBoxAnswer box(QMessageBox::Ok);
    QTest::mouseClick(publish, Qt::LeftButton);
    // The click has returned while the job runs on its own thread. A name edited now
    // names no file: OK shows the one the job wrote.
    QVERIFY(!publish->isEnabled());
    rig.Get<QLineEdit>("tFileName")->setText("edited meanwhile");
    QTRY_VERIFY_WITH_TIMEOUT(publish->isEnabled(), 30000);
    QCOMPARE(box.Count, 1);
    QCOMPARE(box.Title, QString("Infomation"));
    QCOMPARE(box.Text, QString("Published successfully, Click \"OK\" to open the folder of the generated file."));
    QCOMPARE(box.Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(progress->value(), 100);
    const QString output = QString::fromStdString(rig.Dir.File("out/clip.mp3"));
    QCOMPARE(rig.Revealed, QStringList({output}));

    const QStringList log = rig.Log();
    const QStringList tail = log.mid(log.indexOf("I =======================================") + 1);
    QCOMPARE(tail, QStringList({"I Begin Time:" + QString::fromStdString(FormatSeconds(start)),
                                "I End Time:" + QString::fromStdString(FormatSeconds(end)), "I Output:" + output,
                                "I Volume:178", "I Completed to cut mp3 file."}));

    TDecodedAudio audio;
    QVERIFY(DecodeFile(output.toStdString(), audio));
    QCOMPARE(audio.SampleRate, 44100);
    const int64_t expected = (end - start) * 44100;
    QVERIFY2(std::abs(audio.Frames() - expected) <= 1152, qPrintable(QString::number(audio.Frames())));
  }

  void existingOutputKeptOnCancel() {
    TRig rig;
    rig.Show();
    rig.Open(TestData("notags-48k.mp3"));
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.Path()));
    rig.Get<QLineEdit>("tFileName")->setText("keep.MP3");
    const std::string kept = rig.Dir.Write("keep.MP3", "an earlier cut, not to be touched");
    const QStringList logBefore = rig.Log();
    {
      TBoxAnswer box(QMessageBox::Cancel);
      QTest::mouseClick(rig.Get<QPushButton>("BtnPublish"), Qt::LeftButton);
      QCOMPARE(box.Count, 1);
      QCOMPARE(box.Title, QString("Infomation"));
      QCOMPARE(box.Text, QString("The file exists, do you want to replace it?"));
      QCOMPARE(box.Icon, QMessageBox::Information);
    }
    QTest::qWait(200);
    QCOMPARE(ReadAll(kept), std::string("an earlier cut, not to be touched"));
    QVERIFY(rig.Get<QPushButton>("BtnPublish")->isEnabled());
    QCOMPARE(rig.Log(), logBefore);

    // Replacing it, with the end box declined: no file manager.
    TBoxAnswer replace(QMessageBox::Ok);
    QTest::mouseClick(rig.Get<QPushButton>("BtnPublish"), Qt::LeftButton);
    QCOMPARE(replace.Count, 1);
    TBoxAnswer end(QMessageBox::Cancel);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Get<QPushButton>("BtnPublish")->isEnabled(), 30000);
    QCOMPARE(end.Count, 1);
    QVERIFY(rig.Revealed.isEmpty());
    QVERIFY(ReadAll(kept).size() > 10000);
    QCOMPARE(rig.Log().last(), QString("I Completed to cut mp3 file."));
  }

  void folderButtonAsksForAFolder() {
    TRig rig;
    rig.Show();
    rig.Open(TestData("notags-48k.mp3"));
    QStringList asked;
    QString answer = QString::fromStdString(rig.Dir.Path());
    rig.Window->ChooseFolder = [&](const QString& current) {
      asked << current;
      return answer;
    };
    rig.Get<QAction>("tFilePathButton")->trigger();
    QCOMPARE(asked, QStringList({QString(SNIPWAVE_TEST_DATA) + "/"}));
    QCOMPARE(rig.Get<QLineEdit>("tFilePath")->text(), answer);
    answer.clear();
    rig.Get<QAction>("tFilePathButton")->trigger();
    QCOMPARE(rig.Get<QLineEdit>("tFilePath")->text(), QString::fromStdString(rig.Dir.Path()));
  }

  void helpOpensTheAddressesAndTheAboutBox() {
    TRig rig;
    rig.Show();
    TUrlCatcher urls;
    rig.Get<QAction>("Home1")->trigger();
    rig.Get<QAction>("Contactus1")->trigger();
    emit rig.Get<QLabel>("RzURLLabel1")->linkActivated("link");
    emit rig.Get<QLabel>("lblContactUs")->linkActivated("link");
    const QUrl web(config::WebAddress), mail(QString("mailto:") + config::SupportMail);
    QCOMPARE(urls.Urls, QList<QUrl>({web, mail, web, mail}));

    // The About box closes on a click on its group box.
    QDialog* about = nullptr;
    QTimer::singleShot(50, [&] {
      about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!about) return;
      QCOMPARE(about->findChild<QLabel*>("Label1")->text(), QString("Korvane Snip Wave version 1.2.0"));
      QCOMPARE(about->windowTitle(), QString("About"));
      QCOMPARE(about->size(), QSize(347, 178));
      QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);
      for (QWidget* w : about->findChildren<QWidget*>()) CheckCaptionFits(w);
      const QString dir = qEnvironmentVariable("WINDOW_GRAB_DIR");
      if (!dir.isEmpty()) about->grab().save(dir + QString("/about@%1x.png").arg(about->devicePixelRatio()));
      CheckNoOverlap(about->findChild<QWidget*>("RzGroupBox1"));
      emit about->findChild<QLabel*>("RzURLLabel2")->linkActivated("link");
      emit about->findChild<QLabel*>("lbSupportMail")->linkActivated("link");
      QTest::mouseClick(about->findChild<QWidget*>("RzGroupBox1"), Qt::LeftButton, {}, QPoint(150, 130));
    });
    rig.Get<QAction>("About1")->trigger();
    QVERIFY(about);
    QVERIFY(!about->isVisible());
    QCOMPARE(about->result(), int(QDialog::Accepted));
    QCOMPARE(urls.Urls.mid(4), QList<QUrl>({web, mail}));
  }

  void cutWithoutReencodingIsNotKeptAndCopiesFrames() {
    {
      TRig rig;
      auto* item = rig.Get<QAction>("CutLossless1");
      QCOMPARE(item->text(), QString("Cut without re-encoding"));
      QVERIFY(item->isCheckable());
      QVERIFY(!item->isChecked());
      QVERIFY(rig.Get<QMenu>("File1")->actions().contains(item));
      item->setChecked(true);
    }
    // The next run cuts with its fades and volume until the item is ticked again.
    TRig rig;
    auto* item = rig.Get<QAction>("CutLossless1");
    QVERIFY(!item->isChecked());
    item->setChecked(true);
    rig.Show();
    rig.Open(TestData("tagged.mp3"));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    bar->SetSegEndPos(11);
    bar->SetSegStartPos(1);
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.Path()));
    rig.Get<QLineEdit>("tFileName")->setText("copied");
    TBoxAnswer box(QMessageBox::Ok);
    QTest::mouseClick(rig.Get<QPushButton>("BtnPublish"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(rig.Get<QPushButton>("BtnPublish")->isEnabled(), 30000);
    QCOMPARE(box.Count, 1);
    QCOMPARE(box.Text, QString("Published successfully, Click \"OK\" to open the folder of the generated file."));
    QVERIFY(rig.Get<QPushButton>("BtnPublish")->isEnabled());
    QCOMPARE(rig.Get<QProgressBar>("pbPercent")->value(), 100);
    const QString output = QString::fromStdString(rig.Dir.File("copied.mp3"));
    QCOMPARE(rig.Revealed, QStringList({output}));
    const QStringList log = rig.Log();
    QVERIFY2(log.contains("I Volume:178") && log.last() == "I Completed to cut mp3 file." &&
                 log[log.size() - 2].startsWith("I Copied frames "),
             qPrintable(log.join('\n')));
    TDecodedAudio audio;
    QVERIFY(DecodeFile(output.toStdString(), audio));
    QCOMPARE(audio.Frames(), int64_t(10 * 44100));
  }

  // The cut without re-encoding runs as the other does: its name refused in the same
  // words, on a worker with the window answering meanwhile, with the progress bar, and
  // stopped without leaving anything when the window closes.
  void theLosslessCutIsAJobLikeTheOther() {
    TTempDir data;
    const std::string source = data.File("long.mp3");
    {
      std::ofstream out(source, std::ios::binary);
      for (int i = 0; i < 50; ++i) out << ReadAll(SNIPWAVE_TEST_DATA "/vbr-noheader.mp3");
    }
    for (const bool lossless : {false, true}) {
      TRig rig;
      rig.Show();
      rig.Open(QString::fromStdString(source));
      rig.Get<QAction>("CutLossless1")->setChecked(lossless);
      fs::create_directory(rig.Dir.File("in"));
      rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.File("in")));
      rig.Get<QLineEdit>("tFileName")->setText("../x");
      TBoxAnswer box(QMessageBox::Ok);
      QTest::mouseClick(rig.Get<QPushButton>("BtnPublish"), Qt::LeftButton);
      QCOMPARE(box.Text, QString::fromStdString(OutputNameRefusal("../x")));
      QCOMPARE(rig.Log().last(), "E " + box.Text);
      QVERIFY(rig.Get<QPushButton>("BtnPublish")->isEnabled());
      QVERIFY(!fs::exists(rig.Dir.File("x.mp3")));
    }

    TRig rig;
    rig.Show();
    rig.Open(QString::fromStdString(source));
    rig.Get<QAction>("CutLossless1")->setChecked(true);
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.File("out")));
    rig.Get<QLineEdit>("tFileName")->setText("copied");
    auto* publish = rig.Get<QPushButton>("BtnPublish");
    auto* progress = rig.Get<QProgressBar>("pbPercent");
    progress->setValue(100);  // as a cut before left it
    QList<int> shown;
    connect(progress, &QProgressBar::valueChanged, progress, [&](int v) { shown << v; });
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(1);
    {
      TBoxAnswer box(QMessageBox::Cancel);
      QTest::mouseClick(publish, Qt::LeftButton);
      QVERIFY(!publish->isEnabled());  // the click returned while the cut runs
      const int ticksAtClick = ticks;
      QTRY_VERIFY_WITH_TIMEOUT(publish->isEnabled(), 30000);
      QCOMPARE(box.Count, 1);
      QVERIFY2(ticks > ticksAtClick, "no timer fired while the cut ran");
    }
    QVERIFY(shown.size() > 10 && shown.first() == 0 && shown.last() == 100);
    QVERIFY(std::is_sorted(shown.begin(), shown.end()));
    QVERIFY(fs::exists(rig.Dir.File("out/copied.mp3")));

    // Once more, and the window closed at the first step of its progress.
    rig.Get<QLineEdit>("tFileName")->setText("closed");
    shown.clear();
    bool closing = false;
    connect(progress, &QProgressBar::valueChanged, rig.Window.get(), [&](int v) {
      if (v > 0 && v < 100 && !std::exchange(closing, true))
        QTimer::singleShot(0, rig.Window.get(), [&] { rig.Window->close(); });
    });
    QTest::mouseClick(publish, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Window->isVisible(), 30000);
    QVERIFY(shown.last() < 100);
    QCOMPARE(std::distance(fs::directory_iterator(rig.Dir.File("out")), {}), 1);
    // The stopped cut is neither completed nor failed.
    const QStringList log = rig.Log();
    const QStringList tail = log.mid(log.lastIndexOf("I Output:" + QString::fromStdString(rig.Dir.File("out/closed.mp3"))));
    QVERIFY2(tail.size() >= 2 && !tail.contains("I Completed to cut mp3 file.") && !tail.contains("I Failed to cut file."),
             qPrintable(log.join('\n')));
  }

  // A cut that fails on its worker says why in a box; the run log keeps its lines, and
  // the bar that the last cut left full starts from nothing.
  void aCutThatFailsWhileItRunsShowsItsReason() {
    TRig rig;
    rig.Show();
    rig.Open(TestData("vbr-noheader.mp3"));
    auto* progress = rig.Get<QProgressBar>("pbPercent");
    progress->setValue(100);
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.Path()));
    rig.Get<QLineEdit>("tFileName")->setText("taken");
    auto* publish = rig.Get<QPushButton>("BtnPublish");
    // A file takes the output's name while the cut is written beside it: it is kept.
    const std::string taken = rig.Dir.File("taken.mp3");
    QTimer appear;
    QObject::connect(&appear, &QTimer::timeout, [&] {
      for (const auto& e : fs::directory_iterator(rig.Dir.Path()))
        if (e.path().extension() == ".part") {
          rig.Dir.Write("taken.mp3", "my precious data");
          appear.stop();
        }
    });
    appear.start(1);
    QTest::mouseClick(publish, Qt::LeftButton);
    QCOMPARE(progress->value(), 0);
    TBoxAnswer failed(QMessageBox::Ok);
    QTRY_VERIFY_WITH_TIMEOUT(publish->isEnabled(), 30000);
    QTRY_COMPARE(failed.Count, 1);
    QCOMPARE(failed.Title, QString("Korvane Snip Wave"));
    QCOMPARE(failed.Text, "Failed to cut file.\n" + QString::fromStdString(taken) + ": " + TargetAppearedWords);
    QCOMPARE(ReadAll(taken), std::string("my precious data"));
    const QStringList log = rig.Log();
    QCOMPARE(log.mid(log.size() - 3, 2), QStringList({"I Failed to cut file.", "I Error Message:"}));
    QCOMPARE("I " + failed.Text.mid(failed.Text.indexOf('\n') + 1), log.last());
    QVERIFY(rig.Revealed.isEmpty());
  }

  // "Start Cut" does nothing silently: a folder left empty (the process's current one,
  // which the user never chose), a source gone since it was opened, one never read.
  void startCutSaysWhyItCannotStart() {
    TRig rig;
    rig.Show();
    const std::string source = rig.Dir.File("gone.mp3");
    fs::copy_file(SNIPWAVE_TEST_DATA "/notags-48k.mp3", source);
    const auto refused = [&](const QString& folder, const QString& start) {
      rig.Get<QLineEdit>("tFilePath")->setText(folder);
      TBoxAnswer box(QMessageBox::Ok);
      QTest::mouseClick(rig.Get<QPushButton>("BtnPublish"), Qt::LeftButton);
      QCOMPARE(box.Title, QString("Korvane Snip Wave"));
      QVERIFY2(box.Text.startsWith(start), qPrintable(box.Text));
      QVERIFY(rig.Get<QPushButton>("BtnPublish")->isEnabled());
    };
    rig.Open(QString::fromStdString(source));
    TTempDir current;
    const QString startedIn = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(current.Path()));
    refused("  ", "Choose a folder for the new file in \"File Path\".");
    QDir::setCurrent(startedIn);
    QVERIFY(fs::is_empty(current.Path()));

    const QString out = QString::fromStdString(rig.Dir.File("out"));
    fs::remove(source);
    refused(out, "The source file \"" + QString::fromStdString(source) + "\" cannot be opened:\n" +
                     QString::fromStdString(source) + ": No such file or directory");
    QCOMPARE(rig.Log().last(), "E " + QString::fromStdString(source) + ": No such file or directory");
    // The source itself as the output: refused at once, with no question about replacing it.
    fs::copy_file(SNIPWAVE_TEST_DATA "/notags-48k.mp3", source);
    rig.Open(QString::fromStdString(source));
    rig.Get<QLineEdit>("tFileName")->setText("gone");
    refused(QString::fromStdString(rig.Dir.Path()),
            "The output file \"" + QString::fromStdString(source) + "\" is the source itself: a cut may not overwrite its source.");
    QCOMPARE(ReadAll(source), ReadAll(SNIPWAVE_TEST_DATA "/notags-48k.mp3"));
    {
      TBoxAnswer box(QMessageBox::Ok);
      rig.Open(TestData("text.mp3"));
    }
    refused(out, "The source file \"" + TestData("text.mp3") + "\" cannot be opened:\n");
  }

  // The player's display takes the size of the window it is handed.
  void theWindowsSizeIsTellable() {
    TRig rig;
    rig.Show();
    int width = 0, height = 0;
    QVERIFY(HostWindowSize(rig.Window->winId(), width, height));
    QCOMPARE(width, qRound(rig.Window->width() * rig.Window->devicePixelRatioF()));
    QCOMPARE(height, qRound(rig.Window->height() * rig.Window->devicePixelRatioF()));
    QVERIFY(!HostWindowSize(rig.Window->winId() + 12345, width, height));
  }

  void openingDrawsTheOverviewAndFocusesTheTrackBar() {
    TRig rig;
    rig.Show();
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    rig.Open(TestData("tagged.mp3"));
    QVERIFY(bar->hasFocus());
    const auto complete = [bar] {
      const TTrackbarEnvelope& e = bar->Envelope();
      return !e.Columns.empty() && e.Filled == int(e.Columns.size());
    };
    QTRY_VERIFY_WITH_TIMEOUT(complete(), 10000);
    QVERIFY(qAbs(bar->Envelope().Span - 12.04) < 0.01);  // the reader's length, in seconds
    const QString dir = qEnvironmentVariable("WINDOW_GRAB_DIR");
    if (!dir.isEmpty()) bar->grab().save(dir + QString("/overview@%1x.png").arg(bar->devicePixelRatio()));
    QVERIFY(!fs::is_empty(qEnvironmentVariable("XDG_CACHE_HOME").toStdString() + "/snipwave/waveforms"));

    // A file that cannot be read leaves the track plain at once.
    {
      TBoxAnswer box(QMessageBox::Ok);
      rig.Open(TestData("text.mp3"));
      QCOMPARE(box.Count, 1);
    }
    QVERIFY(bar->Envelope().Columns.empty());
    QTest::qWait(100);
    QVERIFY(bar->Envelope().Columns.empty());

    // Another file replaces the overview; nothing of the one before comes back.
    rig.Open(TestData("cover.mp3"));
    QTRY_VERIFY_WITH_TIMEOUT(complete(), 10000);
    QVERIFY(qAbs(bar->Envelope().Span - 2.04) < 0.01);
  }

  void keysMarkTheSegmentAndMoveTheThumb() {
    TRig rig;
    rig.Show();
    rig.Open(TestData("tagged.mp3"));
    auto* bar = rig.Get<TKorTrackbar>("SnipWave");
    QCOMPARE(bar->Max(), 12);
    QTest::keyClick(bar, Qt::Key_Home);  // the thumb stays where the segment end pushed it
    QCOMPARE(bar->Position(), 0);
    QTest::keyClick(bar, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(bar->Position(), 10);
    QTest::keyClick(bar, Qt::Key_BracketRight);
    QCOMPARE(bar->SegEndPos(), 10);
    QCOMPARE(rig.Get<QLabel>("lblEndTime")->text(), QString("00:00:10"));
    for (int i = 0; i < 3; ++i) QTest::keyClick(bar, Qt::Key_Left);
    QTest::keyClick(bar, Qt::Key_B);
    QCOMPARE(bar->SegStartPos(), 7);
    QCOMPARE(rig.Get<QLabel>("lblStartTime")->text(), QString("00:00:07"));
    QTest::keyClick(bar, Qt::Key_End);
    QCOMPARE(bar->Position(), 10);
    QTest::keyClick(bar, Qt::Key_Home);
    QCOMPARE(bar->Position(), 7);
    // The labels show what a cut would take.
    QCOMPARE(bar->SegStartPos(), 7);
    QCOMPARE(bar->SegEndPos(), 10);
  }

  void ctrlKeysOpenAndCutAndTheKeysAreListed() {
    TRig rig;
    rig.Show();
    rig.NextChoice = TestData("cover.mp3");
    QTest::keyClick(rig.Window.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(rig.Get<QLineEdit>("btnOpenFile")->text(), TestData("cover.mp3"));
    rig.Get<QLineEdit>("tFilePath")->setText(QString::fromStdString(rig.Dir.Path()));
    rig.Get<QLineEdit>("tFileName")->setText("keyed");
    auto* publish = rig.Get<QPushButton>("BtnPublish");
    {
      TBoxAnswer box(QMessageBox::Cancel);
      QTest::keyClick(rig.Window.get(), Qt::Key_Return, Qt::ControlModifier);
      QVERIFY(!publish->isEnabled());
      QTRY_VERIFY_WITH_TIMEOUT(publish->isEnabled(), 30000);
      QCOMPARE(box.Count, 1);
    }
    QVERIFY(fs::exists(rig.Dir.File("keyed.mp3")));

    TBoxAnswer keys(QMessageBox::Ok);
    QAction* item = rig.Get<QAction>("Keys1");
    QVERIFY(rig.Get<QMenu>("Help1")->actions().contains(item));
    item->trigger();
    QCOMPARE(keys.Count, 1);
    QCOMPARE(keys.Title, QString("Keys"));
    for (const char* key : {"Space", "Ctrl+O", "Ctrl+Return", "Home"}) QVERIFY2(keys.Text.contains(key), key);
  }

  void exitClosesTheWindow() {
    TRig rig;
    rig.Show();
    rig.Get<QAction>("Exit1")->trigger();
    QVERIFY(!rig.Window->isVisible());
  }

 private:
  TTempDir FSettings;
  TTempDir FCache;
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
