#include "QuitOnSignals.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace sw {

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};
// The handler only writes the signal's number into the pipe; the event loop reads it.
int Pipe[2] = {-1, -1};
volatile std::sig_atomic_t Caught = 0;
struct sigaction Earlier[3];

void OnStopSignal(int sig) {
  if (Caught) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  Caught = 1;
  const char number = static_cast<char>(sig);
  [[maybe_unused]] const ssize_t written = ::write(Pipe[1], &number, 1);
}

}  // namespace

TQuitOnSignals::TQuitOnSignals(std::function<void()> onStop) : FOnStop(std::move(onStop)) {
  if (::pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  FNotifier = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, [this] {
    char number;
    while (::read(Pipe[0], &number, 1) == 1) {
    }
    FNotifier->setEnabled(false);
    if (FOnStop) FOnStop();
  });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) ::sigaction(StopSignals[i], &action, &Earlier[i]);
}

TQuitOnSignals::~TQuitOnSignals() {
  if (Pipe[0] < 0) return;
  for (int i = 0; i < 3; ++i) ::sigaction(StopSignals[i], &Earlier[i], nullptr);
  delete FNotifier;
  ::close(Pipe[0]);
  ::close(Pipe[1]);
  Pipe[0] = Pipe[1] = -1;
}

}  // namespace sw
