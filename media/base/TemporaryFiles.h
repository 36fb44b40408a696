#pragma once
// The temporary files of the outputs under way, kept where a signal handler can reach
// them: a process that a second stop signal ends at once removes them first.
#include <string>

namespace sw {

// Remembers the name until it is forgotten. A few dozen are kept at once; a name that
// finds no room is left to its owner alone.
void RememberTemporaryFile(const std::string& name);
void ForgetTemporaryFile(const std::string& name);
// Removes every remembered file. Async-signal-safe: atomic reads and unlink only.
void RemoveTemporaryFiles();

}  // namespace sw
