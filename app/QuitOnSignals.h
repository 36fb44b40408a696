#pragma once
// Stop signals for the window program: SIGINT, SIGTERM and SIGHUP (a logout, a kill)
// end it as File > Exit does, from the event loop, so that a running cut is stopped
// without leaving a file in the making and the preview is closed.
#include <QObject>

#include <functional>

class QSocketNotifier;

namespace sw {

class TQuitOnSignals : public QObject {
 public:
  // onStop runs once, on the thread of the event loop, at the first stop signal; a
  // second signal ends the process at once.
  explicit TQuitOnSignals(std::function<void()> onStop);
  ~TQuitOnSignals() override;  // the signals' earlier handlers are back

 private:
  std::function<void()> FOnStop;
  QSocketNotifier* FNotifier = nullptr;
};

}  // namespace sw
