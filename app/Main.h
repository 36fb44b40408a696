#pragma once
// The main window: open an MP3 file and read its description, mark a segment on the track
// bar, and cut it into a new MP3 file with fades.
#include <QMainWindow>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/core/CutJob.h"
#include "media/binding/FFLog.h"
#include "media/info/FFDecode.h"
#include "media/player/FFPlay.h"
#include "media/waveform/WaveformJob.h"
#include "widgets/zoom/ZoomView.h"

namespace Ui {
class TTuneSnipForm;
}

namespace sw {

class TAboutForm;
class TKeyMarking;
class TZoomWindow;

class TTuneSnipForm : public QMainWindow {
 public:
  // programFolder: where the libraries and the "res" pictures are looked for (with its
  // trailing "/"); the executable's folder in the program.
  explicit TTuneSnipForm(std::string programFolder, QWidget* parent = nullptr);
  ~TTuneSnipForm() override;

  // The platform dialogs, replaceable so that tests can answer them. An empty text is a cancel.
  std::function<QString()> ChooseSourceFile;
  std::function<QString(const QString& current)> ChooseFolder;
  // Shows the new file after a cut when the user asks for it.
  std::function<void(const QString& path)> RevealOutput;

  // Opens a file as the open command does after its dialog (a file named on the command line).
  void OpenChosenFile(const QString& path);

  // The preview player, for the checks of tests and benches (its handlers are the window's).
  TFFPlayer& Player() { return FFPlayer; }

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  // Start and end:
  void FormShow();
  void FormCloseQuery();
  void LoadPictures();
  void ImgArrLeftClick();
  void ImgArrRightClick();
  void ToggleInformationPanel();
  void SetClientWidth(int width);
  void Exit1Click();

  // Opening a file:
  void btnOpenFileButtonClick();
  void ShowFileInfo(const std::string& path);
  void RestoreSegment();
  void SnipWaveStartChange();
  void SnipWaveEndChange();
  // The sound overview of the file just opened, made in the background; an empty path
  // stops the running one and leaves the track plain.
  void StartWaveform(const std::string& path);

  // Cutting (File > "Cut without re-encoding" chooses the mode):
  void btnPublishClick();
  void tFilePathButtonClick();
  TCutRequest CutRequest() const;
  void CutJobEnd(const TCutEnd& end);

  // Preview (MainPreview.cpp):
  void ConnectPreview();
  // The Volume button's press and the slider's leave; false: the event goes on.
  bool PreviewEventFilter(QObject* watched, QEvent* e);
  void BtnPlayClick();
  void PlayPreview();
  // Plays from a time (µs) until another, or until the segment end (-1).
  void PlayFrom(int64_t from, int64_t until);
  void BtnStopClick();
  void BtnRestoreClick();
  // Space: plays from the thumb, or stops what plays.
  void PlayOrStop();
  void btnVolumeMouseDown(int x);
  void tbVolumeChange();
  void tbVolumeMouseLeave();
  void FFPlayerPosition(int64_t APTS);
  void SnipWaveMouseDown(int x, int y);
  void SnipWaveMouseMove(int x, int y);
  void SnipWaveMouseUp();
  void SnipWaveTickChange();
  bool OnMarker(int x, int y) const;
  void PlaceHint(int x, int y);

  // Help:
  void Home1Click();
  void Contactus1Click();
  void lblContactUsClick();
  void About1Click();
  void KeysClick();

  // Fine marking (MainZoom.cpp): the zoom view, the exact segment, listening at the edits.
  void ConnectZoom();
  // The track bar's double click; false: the event goes on.
  bool ZoomEventFilter(QObject* watched, QEvent* e);
  // Makes the zoom window when missing and hands it the file opened, so that its frame
  // index is read before the view is first shown.
  void PrepareZoom();
  void OpenZoom(int64_t centre, TZoomMarker active);
  void ZoomSegmentChange(int64_t start, int64_t end);
  // The exact segment from the bar's whole seconds, after a change on the bar.
  void SegmentFromBar();
  // The labels and the zoom view show the exact segment.
  void ShowSegment();
  // The exact segment (µs); where the bar no longer stands in the exact time's second
  // (set from outside, without its events), the bar's whole seconds.
  int64_t SegStartTime() const;
  int64_t SegEndTime() const;
  // Plays the 2 s after the segment start, or before its end.
  void ListenAt(bool atEnd);

  // The preview player's stop, without waiting for it.
  void StopPlayer();
  // A text from a file or naming one, shown in a simple message.
  void ShowFileMessage(const std::string& text);

  // A simple message: information box, OK, the program's title.
  void ShowMessage(const std::string& text);
  // The "Infomation" question with OK and Cancel; true on OK.
  bool AskQuestion(const QString& text);

  std::unique_ptr<Ui::TTuneSnipForm> ui;
  std::unique_ptr<TAboutForm> FAboutForm;
  std::string FProgramFolder;
  bool FShown = false;
  // Set when the window closes: the player's and the overview's threads may still
  // report, and their reports are dropped from then on (read on those threads).
  std::atomic<bool> FClosing{false};

  TFFLogger FFLogger;
  TFFDecoder FFDecoder;
  TFFPlayer FFPlayer;
  // A press on the track bar outside the markers paused the preview: the thumb belongs to
  // the pointer until the release, and the hint shows the thumb's time (main thread).
  bool FThumbHeld = false;
  // Where Play asked the sound to start (µs), until a report from there arrives: a report
  // made while the file stood opened at its start is not the sound's (main thread); -1: none.
  int64_t FPlayFrom = -1;
  TCutJob FCutJob;  // its reports come to this thread
  TWaveformJob FWaveform;
  int FWaveformRun = 0;  // which job's envelopes the track bar takes (main thread)
  std::unique_ptr<TKeyMarking> FKeys;
  // The segment to the microsecond; the bar shows the whole seconds it lies in (main thread).
  int64_t FSegStartTime = 0, FSegEndTime = 0;
  // Where a listen stops (µs); -1: at the segment end (main thread).
  int64_t FPlayUntil = -1;
  // The file opened and its length (µs, 0 when unknown), and the file the zoom view reads.
  std::string FSourceFile, FZoomFile;
  int64_t FSourceDuration = 0;
  std::unique_ptr<TZoomWindow> FZoom;
};

}  // namespace sw
