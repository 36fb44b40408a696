#include "FileKind.h"

#include <sys/stat.h>

namespace sw {

TNotAFile NotAFile(const std::string& name, bool writing) {
  struct stat st {};
  if (name.empty() || ::stat(name.c_str(), &st) != 0) return nfNone;
  if (S_ISFIFO(st.st_mode)) return nfNamedPipe;
  if (S_ISSOCK(st.st_mode)) return nfSocket;
  if (S_ISBLK(st.st_mode) || (S_ISCHR(st.st_mode) && !writing)) return nfDevice;
  return nfNone;
}

const char* NotAFileWords(TNotAFile kind) {
  switch (kind) {
    case nfNamedPipe: return "Is a named pipe, not a regular file";
    case nfDevice: return "Is a device, not a regular file";
    case nfSocket: return "Is a socket, not a regular file";
    case nfNone: break;
  }
  return "";
}

}  // namespace sw
