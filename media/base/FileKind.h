#pragma once
// Whether a name leads to something that may be opened as a media file. A named pipe
// blocks its open until the other side comes (and may never send or take a byte), a
// device can stream zeros without end or be damaged by a write: such names are refused
// before any open, with the reason. stat() neither opens nor blocks.
#include <string>

namespace sw {

enum TNotAFile { nfNone, nfNamedPipe, nfDevice, nfSocket };

// nfNone for a regular file, a folder or a name that does not exist (the open says
// why those fail). Writing takes a character device in place (/dev/null), reading does not.
TNotAFile NotAFile(const std::string& name, bool writing);
// "Is a named pipe, not a regular file" and the like; empty for nfNone.
const char* NotAFileWords(TNotAFile kind);

}  // namespace sw
