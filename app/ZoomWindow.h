#pragma once
// The zoom view's own window beside the main one: the view, a line with the segment's
// exact times, and the reading of the sound it shows on a worker thread.
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <string>

#include "media/waveform/SpanJob.h"
#include "widgets/zoom/ZoomView.h"

class QLabel;

namespace sw {

class TZoomWindow : public QWidget {
 public:
  explicit TZoomWindow(QWidget* owner);
  ~TZoomWindow() override;

  // The file the view reads, and its length (µs); the sound of the file before is dropped.
  void SetFile(const std::string& fileName, int64_t duration);
  // Shows the window with the view centred on a time, that marker chosen, and the focus.
  void ShowAt(int64_t centre, TZoomMarker active);
  // The segment as the main window has it (µs).
  void SetSegment(int64_t start, int64_t end);

  TZoomView& View() { return *FView; }

 protected:
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void ShowTimes();

  TZoomView* FView;
  QLabel* FTimes;
  TSpanJob FJob;
  // Which file's sound the view takes: set on the main thread, read on the job's.
  std::atomic<int> FRun{0};
};

}  // namespace sw
