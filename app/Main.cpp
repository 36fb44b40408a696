#include "Main.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QUrl>

#include "AboutForm.h"
#include "KeyMarking.h"
#include "KorLog.h"
#include "LinkText.h"
#include "Links.h"
#include "RevealFile.h"
#include "ZoomWindow.h"
#include "app/core/FileInfoText.h"
#include "app/core/RunLogLines.h"
#include "media/base/HostWindow.h"
#include "media/base/MainThread.h"
#include "media/base/MyUtils.h"
#include "ui_Main.h"

namespace sw {

// The open dialog's filters: MP3 first, as always, then the audio (and the sound of the
// video) files the media libraries read.
const char* const OpenFileFilters =
    "Support file(*.mp3);;"
    "Audio files(*.mp3 *.wav *.flac *.ogg *.oga *.opus *.m4a *.m4b *.aac *.mp4 *.aif *.aiff *.aifc *.wma *.mp2 *.mpa "
    "*.ac3 *.wv *.ape *.mka *.webm *.mkv *.avi *.mov *.3gp *.amr)";

namespace {

constexpr int ShownClientWidth = 700;
constexpr int ClientHeight = 389;

void LogInfo(const std::string& text) {
  if (RunLog) RunLog->WriteInfo(text);
}
void LogError(const std::string& text) {
  if (RunLog) RunLog->WriteError(text);
}

QString Text(const std::string& s) { return QString::fromStdString(s); }
std::string Text(const QString& s) { return s.toStdString(); }

// The button at the right end of an edit; its action carries the edit's name + "Button".
QAction* AddEditButton(QLineEdit* edit, QStyle::StandardPixmap icon) {
  QAction* action = edit->addAction(edit->style()->standardIcon(icon), QLineEdit::TrailingPosition);
  action->setObjectName(edit->objectName() + "Button");
  return action;
}

TTrackbarEnvelope ForTrackbar(const TEnvelope& e) {
  TTrackbarEnvelope t;
  t.Columns.reserve(e.Columns.size());
  for (const TPeak& p : e.Columns) t.Columns.push_back({p.Min, p.Max});
  t.Span = e.Duration / 1e6;  // the track bar's unit is the second
  t.Filled = e.Filled;
  return t;
}

}  // namespace

TTuneSnipForm::TTuneSnipForm(std::string programFolder, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TTuneSnipForm>()),
      FProgramFolder(std::move(programFolder)),
      FCutJob(FProgramFolder) {
  // The layout:
  ui->setupUi(this);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  FAboutForm = std::make_unique<TAboutForm>(this);
  ui->RzURLLabel1->setText(LinkText(config::WebAddress));
  ui->lblContactUs->setText(LinkText(config::SupportMail));
  ui->mmInfo->document()->setDocumentMargin(8);
  QAction* openButton = AddEditButton(ui->btnOpenFile, QStyle::SP_DialogOpenButton);
  QAction* folderButton = AddEditButton(ui->tFilePath, QStyle::SP_DirIcon);

  // Calls from the workers' threads run on this thread from its event loop:
  SetMainThread();
  SetMainThreadWaker([] {
    if (QCoreApplication* app = QCoreApplication::instance())
      QMetaObject::invokeMethod(app, [] { ProcessPendingMessages(); }, Qt::QueuedConnection);
  });

  // The player's display is the size of the window it is handed (in device pixels).
  SetHostWindowSizeQuery([](uintptr_t id, int& width, int& height) {
    const QWidget* widget = QWidget::find(static_cast<WId>(id));
    if (!widget) return false;
    width = qRound(widget->width() * widget->devicePixelRatioF());
    height = qRound(widget->height() * widget->devicePixelRatioF());
    return true;
  });

  // The platform dialogs:
  ChooseSourceFile = [this] { return QFileDialog::getOpenFileName(this, QString(), QString(), OpenFileFilters); };
  ui->File1->setToolTipsVisible(true);  // why "Cut without re-encoding" is off for a file
  ChooseFolder = [this](const QString& current) {
    return QFileDialog::getExistingDirectory(this, "Select Directory", QFileInfo(current).isDir() ? current : QString());
  };
  RevealOutput = RevealFile;

  // The track bar:
  TKorTrackbar& bar = *ui->SnipWave;
  bar.SetBGColor(0xDBEAEC);
  bar.SetShowCut(false);
  bar.SetTickOffsetY(5);
  bar.SetTrackOffsetY(5);
  bar.SetTrackOffsetX(16);
  bar.SetSegOffsetY(5);
  bar.SetMarginOffsetX(0);
  bar.SetSegStartTransparency(0);
  bar.SetSegEndTransparency(0);
  bar.SetTickTransparency(0);
  const QString pictures = ":/trackbar/window/";
  bar.SetTickUp(TKorPicture::FromFile(pictures + "TickUp"));
  bar.SetTickDown(TKorPicture::FromFile(pictures + "TickDown"));
  bar.SetTickHot(TKorPicture::FromFile(pictures + "TickHot"));
  bar.SetTickDisable(TKorPicture::FromFile(pictures + "TickDisable"));
  bar.SetTrack(TKorPicture::FromFile(pictures + "Track"));
  bar.SetSegmentStart(TKorPicture::FromFile(pictures + "SegmentStart"));
  bar.SetSegmentEnd(TKorPicture::FromFile(pictures + "SegmentEnd"));
  bar.SetMax(100);
  bar.SetSegEndPos(90);
  bar.SetSegStartPos(10);
  bar.SetPosition(10);
  bar.OnStartChange = [this](TKorTrackbar*) { SnipWaveStartChange(); };
  bar.OnEndChange = [this](TKorTrackbar*) { SnipWaveEndChange(); };

  // Keys: marking on the track bar, opening and cutting anywhere in the window.
  FKeys = std::make_unique<TKeyMarking>(bar);
  FKeys->Attach();
  FKeys->OnPlayStop = [this] { PlayOrStop(); };
  ConnectZoom();
  ui->Open1->setShortcut(QKeySequence::Open);
  for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
    connect(new QShortcut(keys, this), &QShortcut::activated, this, [this] {
      if (ui->BtnPublish->isEnabled() && ui->BtnPublish->isVisible() && ui->gbStep3->isEnabled()) btnPublishClick();
    });
  auto* keysItem = new QAction("Keys", this);
  keysItem->setObjectName("Keys1");
  ui->Help1->insertAction(ui->About1, keysItem);
  connect(keysItem, &QAction::triggered, this, &TTuneSnipForm::KeysClick);

  // Menus, buttons and links:
  connect(ui->Open1, &QAction::triggered, this, &TTuneSnipForm::btnOpenFileButtonClick);
  connect(openButton, &QAction::triggered, this, &TTuneSnipForm::btnOpenFileButtonClick);
  connect(ui->Exit1, &QAction::triggered, this, &TTuneSnipForm::Exit1Click);
  // Which cut "Start Cut" does is not kept between runs: a cut without its fades and
  // volume is chosen anew each time, never inherited unseen.
  connect(ui->Home1, &QAction::triggered, this, &TTuneSnipForm::Home1Click);
  connect(ui->Contactus1, &QAction::triggered, this, &TTuneSnipForm::Contactus1Click);
  connect(ui->About1, &QAction::triggered, this, &TTuneSnipForm::About1Click);
  connect(ui->RzURLLabel1, &QLabel::linkActivated, this, &TTuneSnipForm::Home1Click);
  connect(ui->lblContactUs, &QLabel::linkActivated, this, &TTuneSnipForm::lblContactUsClick);
  connect(ui->BtnPublish, &QPushButton::clicked, this, &TTuneSnipForm::btnPublishClick);
  connect(folderButton, &QAction::triggered, this, &TTuneSnipForm::tFilePathButtonClick);
  ui->ImgArrLeft->installEventFilter(this);
  ui->ImgArrRight->installEventFilter(this);
  ui->pnlLeft->installEventFilter(this);
  ConnectPreview();

  // The cut's reports, all on this thread:
  FCutJob.OnLog = [](bool error, const std::string& line) { error ? LogError(line) : LogInfo(line); };
  FCutJob.OnAskReplace = [this](const std::string&) { return AskQuestion("The file exists, do you want to replace it?"); };
  FCutJob.OnProgress = [this](int percent) { ui->pbPercent->setValue(percent); };
  FCutJob.OnEnd = [this](const TCutEnd& end) { CutJobEnd(end); };
}

TTuneSnipForm::~TTuneSnipForm() {
  FormCloseQuery();
  SetMainThreadWaker(nullptr);
  SetHostWindowSizeQuery(nullptr);
}

// ---- Start and end ----

void TTuneSnipForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (FShown) return;
  FShown = true;
  FormShow();
}

void TTuneSnipForm::FormShow() {
  LoadPictures();
  ui->ImgArrRight->hide();
  ImgArrLeftClick();
  if (QScreen* screen = this->screen()) {
    adjustSize();
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TTuneSnipForm::LoadPictures() {
  const std::pair<const char*, QLabel*> pictures[] = {{"res/1.png", ui->Img1},
                                                      {"res/2.png", ui->Img2},
                                                      {"res/3.png", ui->Img3},
                                                      {"res/arr-left.png", ui->ImgArrLeft},
                                                      {"res/arr-right.png", ui->ImgArrRight}};
  for (const auto& [file, control] : pictures) {
    const std::string path = FProgramFolder + file;
    QPixmap picture;
    if (WideFileExists(path) && picture.load(Text(path), "PNG")) control->setPixmap(picture);
  }
}

void TTuneSnipForm::ImgArrLeftClick() {
  ui->ImgArrLeft->hide();
  ui->ImgArrRight->show();
  ToggleInformationPanel();
}

void TTuneSnipForm::ImgArrRightClick() {
  ui->ImgArrRight->hide();
  ui->ImgArrLeft->show();
  ToggleInformationPanel();
}

void TTuneSnipForm::ToggleInformationPanel() {
  if (ui->pnlRight->isVisibleTo(ui->RzPanel1)) {
    SetClientWidth(ui->pnlLeft->width() + 5);
    ui->pnlRight->hide();
  } else {
    SetClientWidth(ShownClientWidth);
    ui->pnlRight->show();
  }
  // The layouts follow at once, so that the next toggle reads the new widths.
  ui->RzPanel1->layout()->activate();
  layout()->activate();
  // A window that grows to the right stays on its screen.
  if (QScreen* screen = this->screen(); screen && isVisible()) {
    const int overhang = frameGeometry().right() - screen->availableGeometry().right();
    if (overhang > 0) move(std::max(screen->availableGeometry().left(), x() - overhang), y());
  }
}

void TTuneSnipForm::SetClientWidth(int width) {
  ui->RzPanel1->setFixedSize(width, ClientHeight);
}

bool TTuneSnipForm::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
    if (watched == ui->ImgArrLeft) ImgArrLeftClick();
    if (watched == ui->ImgArrRight) ImgArrRightClick();
  }
  // The arrows keep their distance from the right edge of the left panel.
  if (watched == ui->pnlLeft && e->type() == QEvent::Resize) {
    const int right = ui->pnlLeft->width() - 2 - ui->ImgArrLeft->width();
    ui->ImgArrLeft->move(right, ui->ImgArrLeft->y());
    ui->ImgArrRight->move(right, ui->ImgArrRight->y());
  }
  PreviewEventFilter(watched, e);
  if (ZoomEventFilter(watched, e)) return true;
  return QMainWindow::eventFilter(watched, e);
}

void TTuneSnipForm::closeEvent(QCloseEvent* e) {
  FormCloseQuery();
  e->accept();
}

void TTuneSnipForm::FormCloseQuery() {
  FClosing = true;
  FWaveform.Cancel();
  if (FZoom) FZoom->close();
  FCutJob.OnProgress = nullptr;
  FCutJob.OnEnd = nullptr;
  FCutJob.Stop(true);
  StopPlayer();
  FFLogger.OnLog = nullptr;
}

void TTuneSnipForm::Exit1Click() { close(); }

// ---- Opening a file ----

void TTuneSnipForm::btnOpenFileButtonClick() {
  ui->mmInfo->clear();
  RestoreSegment();
  StopPlayer();
  ui->pbPercent->setValue(0);
  const QString path = ChooseSourceFile();
  if (path.isEmpty()) return;
  OpenChosenFile(path);
}

void TTuneSnipForm::OpenChosenFile(const QString& path) {
  ui->gbStep2->setEnabled(true);
  ui->gbStep3->setEnabled(true);
  const TProposedOutput proposed = ProposeOutput(Text(path));
  ui->btnOpenFile->setText(path);
  ui->tFilePath->setText(Text(proposed.Folder));
  ui->tFileName->setText(Text(proposed.Name));
  StartWaveform("");  // the running overview belongs to the file before
  FSourceFile.clear();
  FSourceDuration = 0;
  if (FZoom) FZoom->hide();
  ShowFileInfo(Text(path));
}

void TTuneSnipForm::ShowFileInfo(const std::string& path) {
  if (!FFDecoder.LibrariesReady() && !FFDecoder.LoadLibrariesFrom(FProgramFolder)) {
    ShowMessage(FFDecoder.ErrorText());
    LogError("Failed to load audio library, error message: " + FFDecoder.ErrorText());
    return;
  }
  if (!FFDecoder.OpenMediaFile(path, "")) {
    const std::string text = "Failed to load file, error message: " + FFDecoder.ErrorText();
    ShowFileMessage(text);
    LogError(text);
    return;
  }
  const TFileFacts facts = ReadFileFacts(FFDecoder, path);
  // Frames can be copied only out of an MP3 stream; the re-encoding cut takes any audio.
  const AVInputFormat* format = FFDecoder.FormatContext()->iformat;
  const bool mp3 = format && format->name && std::string(format->name) == "mp3";
  ui->CutLossless1->setEnabled(mp3);
  if (!mp3) ui->CutLossless1->setChecked(false);
  ui->CutLossless1->setToolTip(
      mp3 ? QString() : Text("Only MP3 files can be cut without re-encoding; this file is " + facts.TypeName + "."));
  const int64_t seconds = facts.Info.Duration / 1000000;  // an unknown length (-1) gives 0

  const std::vector<std::string> lines = FileInfoLines(facts);
  for (const std::string& line : lines) ui->mmInfo->appendPlainText(Text(line));
  for (const std::string& line : FileInfoLogLines(lines)) LogInfo(line);

  ui->lblStartTime->setText(Text(FormatSeconds(0)));
  ui->lblEndTime->setText(Text(FormatSeconds(seconds)));
  // The whole file is marked, as the labels say, however the file was opened.
  ui->SnipWave->SetSegStartPos(0);
  ui->SnipWave->SetMax(seconds);
  ui->SnipWave->SetSegEndPos(ui->SnipWave->Max());
  SegmentFromBar();
  FSourceFile = path;
  FSourceDuration = std::max<int64_t>(0, facts.Info.Duration);
  PrepareZoom();
  StartWaveform(path);
  ui->SnipWave->setFocus(Qt::OtherFocusReason);  // ready for marking from the keyboard
}

void TTuneSnipForm::StartWaveform(const std::string& path) {
  FWaveform.Cancel();
  const int run = ++FWaveformRun;
  ui->SnipWave->SetEnvelope({});
  if (path.empty()) return;
  // Envelopes arrive on the job's thread and are handed over in posted calls; one from a
  // job that was cancelled meanwhile is dropped.
  FWaveform.OnEnvelope = [this, run](const TEnvelope& e) {
    QMetaObject::invokeMethod(this, [this, run, envelope = ForTrackbar(e)]() mutable {
        if (run == FWaveformRun) ui->SnipWave->SetEnvelope(std::move(envelope));
      }, Qt::QueuedConnection);
  };
  FWaveform.Start(path);
}

void TTuneSnipForm::RestoreSegment() {
  TKorTrackbar& bar = *ui->SnipWave;
  bar.SetSegStartPos(0);
  ui->lblStartTime->setText(Text(FormatSeconds(bar.SegStartPos())));
  bar.SetSegEndPos(bar.Max());
  ui->lblEndTime->setText(Text(FormatSeconds(bar.SegEndPos())));
  SegmentFromBar();
}

void TTuneSnipForm::SnipWaveStartChange() {
  const QString text = Text(FormatSeconds(ui->SnipWave->SegStartPos()));
  ui->pnlHintTime->setText(text);
  FSegStartTime = ui->SnipWave->SegStartPos() * 1000000;
  ShowSegment();
}

void TTuneSnipForm::SnipWaveEndChange() {
  const QString text = Text(FormatSeconds(ui->SnipWave->SegEndPos()));
  ui->pnlHintTime->setText(text);
  FSegEndTime = ui->SnipWave->SegEndPos() * 1000000;
  ShowSegment();
}

// ---- Cutting ----

TCutRequest TTuneSnipForm::CutRequest() const {
  TCutRequest r;
  r.Source = Text(ui->btnOpenFile->text());
  // The exact segment: the zoom view sets it to the millisecond, the bar to the second.
  r.StartTime = SegStartTime();
  r.EndTime = SegEndTime();
  r.Volume = ui->tbVolume->value();
  r.Folder = Text(ui->tFilePath->text());
  r.Name = Text(ui->tFileName->text());
  r.Mode = ui->CutLossless1->isChecked() ? cmLossless : cmReencode;
  return r;
}

void TTuneSnipForm::btnPublishClick() {
  StopPlayer();
  // An empty folder would be the process's current one, which the user never chose.
  if (ui->tFilePath->text().trimmed().isEmpty()) {
    ShowMessage("Choose a folder for the new file in \"File Path\".");
    return;
  }
  // Off while the replace question is open too: one cut at a time.
  ui->BtnPublish->setEnabled(false);
  std::string refusal;
  if (!FCutJob.Start(CutRequest(), refusal)) {
    if (!refusal.empty()) ShowMessage(refusal);
    ui->BtnPublish->setEnabled(true);
  }
}

void TTuneSnipForm::tFilePathButtonClick() {
  const QString folder = ChooseFolder(ui->tFilePath->text());
  if (!folder.isEmpty()) ui->tFilePath->setText(folder);
}

void TTuneSnipForm::CutJobEnd(const TCutEnd& end) {
  if (end.Outcome == coFinished) {
    ui->pbPercent->setValue(100);
    // The file the job wrote, whatever the edits say by now.
    if (AskQuestion("Published successfully, Click \"OK\" to open the folder of the generated file."))
      RevealOutput(Text(end.Output));
  }
  // A cut that failed while it ran says why, not only in the run log.
  if (end.Outcome == coFailed) ShowMessage("Failed to cut file.\n" + end.Reason);
  ui->BtnPublish->setEnabled(true);
}

// ---- Help ----

void TTuneSnipForm::Home1Click() { QDesktopServices::openUrl(QUrl(config::WebAddress)); }

void TTuneSnipForm::Contactus1Click() { lblContactUsClick(); }

void TTuneSnipForm::lblContactUsClick() {
  QDesktopServices::openUrl(QUrl(QString("mailto:") + config::SupportMail));
}

void TTuneSnipForm::About1Click() { FAboutForm->exec(); }

void TTuneSnipForm::KeysClick() {
  QMessageBox box(QMessageBox::Information, "Keys", TKeyMarking::KeysText, QMessageBox::Ok, this);
  box.exec();
}

// ---- Shared ----

void TTuneSnipForm::StopPlayer() { FFPlayer.Stop(false); }

void TTuneSnipForm::ShowFileMessage(const std::string& text) { ShowMessage(PrintableText(text)); }

void TTuneSnipForm::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Information, "Korvane Snip Wave", Text(text), QMessageBox::Ok, this);
  box.exec();
}

bool TTuneSnipForm::AskQuestion(const QString& text) {
  QMessageBox box(QMessageBox::Information, "Infomation", text, QMessageBox::Ok | QMessageBox::Cancel, this);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace sw
