#pragma once
// A request, for the whole process, that every read of a media input give up. A file that
// is read without end (a huge file of zeros, in which the library hunts for a frame
// through every byte) then ends at its next read instead of at its last byte, so that a
// stop signal ends a command at once. Nothing takes the request back: it is for a
// process that is ending.
namespace sw {

// Async-signal-safe: one store of a lock-free atomic.
void StopAllReads();
bool AllReadsStopped();

}  // namespace sw
