#include "StopSignals.h"

#include <csignal>
#include <initializer_list>

#include "media/base/StopReads.h"
#include "media/base/TemporaryFiles.h"

namespace sw::cli {

namespace {

volatile std::sig_atomic_t Requested = 0;

void OnStopSignal(int sig) {
  if (Requested) {
    RemoveTemporaryFiles();  // the stop under way would have removed them
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  Requested = sig;
  StopAllReads();  // an input read without end gives up at its next read
}

}  // namespace

void CatchStopSignals() {
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, OnStopSignal);
}

bool StopRequested() { return Requested != 0; }

int StopSignal() { return Requested; }

}  // namespace sw::cli
