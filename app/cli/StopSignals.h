#pragma once
// Stop requests from the terminal: Ctrl-C, SIGTERM and SIGHUP.

namespace sw::cli {

// The handlers stay in place to the end of the process: a stop that arrives after the
// work was committed must not turn a finished run into a killed one. A second stop
// signal ends the process at once, for a run that does not stop by itself, after it
// removed the temporary files of the outputs under way.
void CatchStopSignals();
bool StopRequested();
// The signal that asked for the stop, 0 before one came.
int StopSignal();

}  // namespace sw::cli
